// TForm1, the main window: port chooser, power, frequency and band, volume, channel
// editor and list, the serial port component and the periodic timer, as native controls.
// Handlers read the controls and call the receiver core; the core sees the controls as a
// ReceiverWindow. The window is made hidden; show() shows it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/win32/controls.h"
#include "app/win32/portnotices.h"
#include "app/win32/system.h"
#include "core/channels.h"
#include "core/receivercontrol.h"
#include "core/receiverwindow.h"
#include "serial/rs232c.h"

class TForm2;

class TForm1 : public kivo::ReceiverWindow {
  public:
    // Control ids, for WM_COMMAND and GetDlgItem.
    enum Id : int {
        kLabel7 = 100,
        kButton8,
        kLabel6,
        kComboBox1,
        kLabel1,
        kButton2,
        kLabel5,
        kEdit1,
        kGroupBox1,
        kRadioButton1,
        kRadioButton2,
        kLabel4,
        kLabel2,
        kScrollBar1,
        kLabel3,
        kEdit2,
        kButton1,
        kButton4,
        kButton3,
        kButton5,
        kButton6,
        kButton7,
        kListBox1,
    };
    static constexpr UINT_PTR kTimer1 = 1;
    static constexpr UINT_PTR kRestoreTimer = 2;  // the pause before a lost line is tried again
    static constexpr wchar_t kClassName[] = L"TForm1";

    TForm1();
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND handle() const { return hwnd_; }
    void show();

    // Start-up work: caption, the channel file KIVO.ini in `channelFolder` (ending in a
    // separator), port scan, and the channel named on the command line (UTF-8), if any.
    void FormCreate(const std::string& channelFolder, const std::optional<std::string>& argument);

    // Runs once the window has closed and its closing sequence has run.
    std::function<void()> onClosed;

    // A request to end from outside the window: commands stop, a box waiting for an
    // answer is dismissed, and the window closes, running the closing sequence, as soon as
    // no handler runs. WM_CLOSE does this.
    void requestClose();
    // True once the window has closed, or is to close as soon as no handler runs.
    bool closing() const { return closed_ || control_.stopRequested(); }

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

    // ReceiverWindow on the controls.
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
    const std::string& powerNotice() const { return notice_.text(); }
    void showMessage(const std::string& text) override;
    bool confirm(const std::string& text) override;

    // Controls, with the window's names.
    HWND Label7, Button8, Label6, ComboBox1, Label1, Button2, Label5, Edit1, GroupBox1,
        RadioButton1, RadioButton2, Label4, Label2, ScrollBar1, Label3, Edit2, Button1, Button4,
        Button3, Button5, Button6, Button7, ListBox1;
    Trs232c rs232c1;
    WindowTimer Timer1;

    kivo::ReceiverControl& control() { return control_; }
    // What a reader says of the power buttons: whether the receiver is on.
    std::function<std::string()> powerDescription() const;

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void command(int id, int code);
    void createControls();
    void describeControls();
    void bindKeys();
    void followChannelList();
    void showLines(const kivo::ChannelList::Change& change);
    void showSelection();
    void userSelectedLine();
    void bandClicked(HWND button);
    void closeNow();
    void closeAtSessionEnd();

    HWND hwnd_ = nullptr;
    Layout layout_;
    int dpi_ = 96;
    kivo::ChannelList channelList_;
    kivo::ReceiverControl control_;
    Win32PortNotices portNotices_;
    Notice notice_;
    TForm2* form2_ = nullptr;
    bool smode_ = false;
    bool closed_ = false;
    bool settingFrequency_ = false;  // Edit1's text set by code: its EN_CHANGE is ours
    bool shown_ = false;
    // The band as last checked, so that a click on the checked band is told apart.
    bool amBand_ = false;
    bool fmBand_ = false;
};
