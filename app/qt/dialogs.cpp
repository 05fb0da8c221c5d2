#include "app/qt/dialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <vector>

#include "app/qt/apptitle.h"
#include "app/qt/uitext.h"

namespace {

// The boxes have no parent: a box without one centres itself on the screen, which is
// also right while the main window hides behind the compact strip.

// The boxes waiting for an answer, innermost last.
std::vector<QPointer<QMessageBox>> openBoxes;

void runModally(QMessageBox& box) {
    openBoxes.emplace_back(&box);
    box.exec();
    openBoxes.pop_back();
}

class StandardDialogs final : public Dialogs {
  public:
    void showError(const QString& text) override { runModally(*makeErrorBox(text)); }
    bool confirmOverwrite(const QString& text) override {
        auto box = makeConfirmBox(text);
        runModally(*box);
        return box->clickedButton() == box->defaultButton();
    }
    void showMessage(const QString& text) override { runModally(*makeMessageBox(text)); }
};

Dialogs* installed = nullptr;

}  // namespace

Dialogs& dialogs() {
    static StandardDialogs standard;
    return installed ? *installed : standard;
}

void setDialogs(Dialogs* replacement) {
    installed = replacement;
}

void dismissOpenBoxes() {
    for (const QPointer<QMessageBox>& box : openBoxes)
        if (box) box->reject();
}

std::unique_ptr<QMessageBox> makeErrorBox(const QString& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, applicationTitle(), text,
                                             QMessageBox::Ok);
    return box;
}

std::unique_ptr<QMessageBox> makeConfirmBox(const QString& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question,
                                             uiText(kivo::Msg::ConfirmCaption), text);
    // One role for both keeps them in the order added, whatever the platform's button layout.
    QPushButton* yes = box->addButton(uiText(kivo::Msg::ConfirmYes), QMessageBox::ActionRole);
    QPushButton* no = box->addButton(uiText(kivo::Msg::ConfirmNo), QMessageBox::ActionRole);
    box->setDefaultButton(yes);
    box->setEscapeButton(no);
    return box;
}

std::unique_ptr<QMessageBox> makeMessageBox(const QString& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, applicationTitle(), text,
                                             QMessageBox::Ok);
    return box;
}
