// TForm1, the main window: port chooser, power, frequency and band, volume, channel
// editor and list, the serial port component and the periodic timer. Handlers read the
// widgets and call the receiver core; the core sees the widgets as a ReceiverWindow.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/qt/channelmodels.h"
#include "app/qt/controls.h"
#include "app/qt/listbox.h"
#include "app/qt/portnotices.h"
#include "core/channels.h"
#include "core/receivercontrol.h"
#include "core/receiverwindow.h"
#include "serial/posix/ports/holders.h"
#include "serial/rs232c.h"

class TForm2;

class TForm1 : public QWidget, public kivo::ReceiverWindow {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up work: caption, the channel file KIVO.ini in `channelFolder` (beside the
    // program, or the user's config folder for the installed one), port scan, and the
    // channel named on the command line (UTF-8), if any.
    void FormCreate(const QString& channelFolder, const std::optional<QString>& argument);
    // The port scan's look for other holders, started ahead (while the window is built);
    // without one, FormCreate takes one look for the whole scan itself. When the look is
    // not done by the time the window is, the window shows first, greyed, and the scan and
    // a channel named on the command line follow once it is.
    void usePortScan(std::shared_ptr<const comm::posix::HolderScan> scan) {
        portScan_ = std::move(scan);
    }

    // A request to end from outside the window (a signal, a later start): commands stop,
    // a box waiting for an answer is dismissed, and the window closes, running the
    // closing sequence, as soon as no handler is running.
    void requestClose();
    // The program is ending under the event loop (exit() called beneath it): the closing
    // sequence runs now unless it has, and no event is let through any more.
    void closeAtExit();
    // True once the window has closed, or is to close as soon as no handler runs.
    bool closing() const { return closing_ || control_.stopRequested(); }

    // The compact window the S mode button switches to (not owned).
    void setCompactWindow(TForm2* form2) { form2_ = form2; }
    TForm2* compactWindow() const { return form2_; }
    void setSmode(bool on) { smode_ = on; }

    // Handlers.
    void ComboBox1Change();
    void Button2Click();
    void Edit1Change();
    void ScrollBar1Change();
    void ListBox1DblClick();
    void Button1Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Timer1Timer();
    void FormClose();

    // ReceiverWindow on the widgets.
    std::string powerCaption() const override;
    void setPowerCaption(const std::string& caption) override;
    std::string portText() const override;
    void setPortText(const std::string& text) override;
    bool portEnabled() const override;
    void setPortEnabled(bool enabled) override;
    std::string frequencyText() const override;
    void setFrequencyText(const std::string& text) override;
    bool amChecked() const override;
    bool fmChecked() const override;
    void checkAm() override;
    void checkFm() override;
    std::string nameText() const override;
    void setNameText(const std::string& text) override;
    int volumePosition() const override;
    void setVolumePosition(int position) override;
    void setVolumeLabel(const std::string& text) override;
    bool timerEnabled() const override;
    void setTimerEnabled(bool enabled) override;
    bool smode() const override { return smode_; }
    int compactVolumePosition() const override;
    void setCompactVolumePosition(int position) override;
    kivo::ChannelList& channels() override { return channelList_; }
    // In the port chooser's tooltip and colour, and on the strip's power button.
    void setPowerNotice(const std::string& text) override;
    const QString& powerNotice() const { return powerNotice_; }
    void showMessage(const std::string& text) override;
    bool confirm(const std::string& text) override;

    // Controls, with the window's names.
    QLabel* Label7;
    QPushButton* Button8;
    QLabel* Label6;
    QComboBox* ComboBox1;
    QLabel* Label1;
    QPushButton* Button2 = nullptr;
    QLabel* Label5;
    QLineEdit* Edit1;
    QGroupBox* GroupBox1;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QLabel* Label4;
    QLabel* Label2;
    QScrollBar* ScrollBar1;
    QLabel* Label3;
    QLineEdit* Edit2;
    QPushButton* Button1;
    QPushButton* Button4;
    QPushButton* Button3;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button7;
    ChannelListBox* ListBox1;
    Trs232c rs232c1;
    QTimer Timer1;

    kivo::ReceiverControl& control() { return control_; }

  signals:
    // The window has closed and its closing sequence has run: the program ends.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void scanPortsAndStart(const std::optional<QString>& argument);
    void createControls();
    void describeControls();
    void bindHandlers();
    void bindKeys();
    void showBandInName();
    void showPowerColours();
    void followChannelList();
    void showSelection();
    void userSelectedLine();

    kivo::ChannelList channelList_;
    ChannelListModel* listModel_ = nullptr;
    bool showingList_ = false;  // the list box follows a change made by code
    kivo::ReceiverControl control_;
    QtPortNotices portNotices_;
    std::shared_ptr<const comm::posix::HolderScan> portScan_;
    TForm2* form2_ = nullptr;
    QString powerNotice_;
    bool smode_ = false;
    bool closing_ = false;
};
