// TForm2, the compact "S mode" strip: power, channel chooser and volume in one line. It
// owns nothing of the receiver: its handlers call the main window's.
#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>

#include "app/qt/channelmodels.h"

class TForm1;

class TForm2 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm2(TForm1& form1, QWidget* parent = nullptr);
    ~TForm2() override;

    // Creation: the caption becomes the program title.
    void FormCreate();

    // Handlers.
    void Button1Click();
    void Button2Click();
    void ScrollBar1Change();
    void ComboBox1Change();
    void FormClose();

    // The power button shows the main window's power state ("|" on, "○" off) and its
    // power notice. Runs no handler.
    void showPowerState();

    // Sets the slider as code does: runs ScrollBar1Change once when the position changes.
    void setVolumePosition(int position);
    // Refills the chooser with the channel names and selects `selected`; its edit text
    // stays when the list is empty or nothing is selected. Runs no handler.
    void showChannelNames(kivo::ChannelNames names, int selected);
    // The chooser's item for what it shows: the current item, else the first item whose
    // text equals the edit text exactly, else -1 (typed text that names no channel).
    int chooserIndex() const;

    QPushButton* Button2;
    QComboBox* ComboBox1;
    QScrollBar* ScrollBar1;
    QPushButton* Button1;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TForm1& form1_;
    ChannelNamesModel* names_;
};
