// The program's modal boxes behind one small interface, so that tests can answer them.
#pragma once

#include <QString>
#include <memory>

class QMessageBox;

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // The standard error dialog: application title, stop icon, OK.
    virtual void showError(const QString& text) = 0;
    // The Save confirmation: true only when answered Yes.
    virtual bool confirmOverwrite(const QString& text) = 0;
    // The plain message box: application title, no icon, OK.
    virtual void showMessage(const QString& text) = 0;
};

// The boxes in use; the standard ones unless a test installed its own.
Dialogs& dialogs();
// Installs `replacement` (not owned) for the boxes; nullptr brings the standard ones back.
void setDialogs(Dialogs* replacement);

// Dismisses every standard box now waiting for an answer, as its close box would (the Save
// confirmation then answers No): the program is to end.
void dismissOpenBoxes();

// The standard boxes, built but not shown (the standard Dialogs runs them modally).
std::unique_ptr<QMessageBox> makeErrorBox(const QString& text);
std::unique_ptr<QMessageBox> makeConfirmBox(const QString& text);
std::unique_ptr<QMessageBox> makeMessageBox(const QString& text);
