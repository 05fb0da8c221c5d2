// The main window's receiver operations and sequences, against the window state of
// ReceiverWindow and the serial component. Handlers keep the window's names. Errors of
// the channel list (KivoError) pass through to the caller's central error handler.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/portnotices.h"
#include "core/receiverwindow.h"
#include "core/sending.h"
#include "serial/rs232c.h"

namespace kivo {

inline constexpr const char* kPowerOn = "ON";
inline constexpr const char* kPowerOff = "OFF";
// The messages of the sequences below, in the user's language.
std::string saveQuestion();        // Save's confirmation
std::string startupLoadMessage();  // the channel file did not load at start
// A Save was cut short and the file's text before it has been put back.
std::string restoredMessage();

// The names the port scan at start-up tries: "COM1".."COM9".
std::vector<std::string> scannedPortNames();
// Port scan at start-up: those of them that open (each is closed again); the
// component's portname is left at "COM9".
std::vector<std::string> scanPorts(Trs232c& port);

class ReceiverControl {
  public:
    ReceiverControl(Trs232c& port, ReceiverWindow& window);

    Trs232c& port() { return port_; }
    ReceiverWindow& window() { return window_; }

    // The channel file used by Reload and Save.
    std::string channelFilePath;

    // Runs after a command that did not go out while the port is open (the line is held,
    // each command costs a txtimeout): the window may let a request to end through here.
    std::function<void()> onLineHeld;

    // The program is to end (a signal, a later start, the window closing): from now on no
    // command is sent but the closing sequence's.
    void requestStop() { stopping_ = true; }
    bool stopRequested() const { return stopping_; }

    bool isOn() const;  // Label1 reads anything but "OFF"

    // Commands that did not go out while the port was open, so far: a caller compares
    // the count before and after an action to learn whether all of it reached the line.
    int givenUpCommands() const { return givenUp_; }

    // The line to the receiver: a device that goes (unplugged, switched off at its own
    // switch) while the receiver is on is waited for, "ON" staying the user's choice, and
    // when its port is there again it is opened with the same settings and the receiver
    // brought back to what the window shows. The front end's notices tell when the port's
    // name changes; without them a loss is still shown, and nothing comes back by itself.
    void usePortNotices(PortNotices* notices) { notices_ = notices; }
    // On, with the line lost: waiting for the port, or bringing the receiver back.
    bool lineLost() const {
        return lineState_ == LineState::Lost || lineState_ == LineState::Restoring;
    }
    // Losses of the line so far (compared before and after an action, as givenUpCommands).
    int lineLosses() const { return losses_; }
    // At most one restore in this time, however often the port comes and goes.
    static constexpr std::chrono::milliseconds kRestorePause{1000};
    // The front end's notice: what the port's name leads to may have changed. While on it
    // looks whether the line is still there; while it is lost, it brings the receiver
    // back if the port opens (at once, or when the pause since the last restore is over).
    void portChanged();

    // The component's portname := the chooser's text (UTF-8), unchecked. The power
    // notice spoke of the port chosen before: it goes.
    void ComboBox1Change();
    // Tune: while on, send the tune command for Edit1 and the band.
    void Edit1Change();
    // The band and Edit1 as one change: set without tuning on the way, then one tune
    // (while on) for what they show.
    void tuneTo(bool am, const std::string& text);
    // Volume: show the position in Label2; while on, send the volume command.
    void ScrollBar1Change();
    // Periodic tick: send "J4101", then discard whatever has arrived.
    void Timer1Timer();
    // Power button: switch on (only with a non-empty chooser text) or off.
    void Button2Click();
    // Channel selection of the selected line (ListIndexError for a short line).
    void ListBox1DblClick();

    // Add (Button1Click): false and nothing added when a field cannot be stored
    // (a character CP932 lacks, a line break or a NUL; a message box says which); the
    // window's texts are converted to CP932.
    bool Button1Click();
    void Button3Click();  // delete the selected line
    void Button4Click();  // reload from channelFilePath (FileOpenError); restoredMessage() as Load
    void Button5Click();  // confirm, then save to channelFilePath (FileCreateError)
    void Button6Click();  // move up
    void Button7Click();  // move down

    // Switch-on from the power button. When the port cannot be opened, a message box
    // says so and nothing changes: off, chooser enabled, timer stopped, nothing sent.
    // Returns whether the receiver is on afterwards. Every switch-on leaves the power
    // notice empty once the port opens, or saying why it did not.
    bool switchOn();
    // The power button's switch-on for a remote command, which no one may have to
    // answer: it opens no box, what went wrong is in the power notice. A selected line
    // too short to use leaves the receiver on.
    enum class RemoteSwitchOn { On, PortNotOpened, ChannelUnusable };
    RemoteSwitchOn switchOnForRemote();
    // Switch-on at start-up for the channel at `index`, port already chosen; a failed
    // open is handled like switchOn's (the channel is still selected, nothing is sent).
    bool switchOnAtStartup(int index);
    void switchOff();
    // The closing sequence: "H100", close, WaitLoop (nothing reaches a closed port). It
    // sends even after requestStop: the receiver is to be switched off whatever came first.
    void FormClose();

    // Start-up load of channelFilePath. On failure: the message startupLoadMessage(), the
    // closing sequence once, and the list as it was. When a Save cut short had to be
    // undone first, the message restoredMessage(). Returns whether it loaded.
    bool loadAtStartup();

    // Start-up with a channel named on the command line (UTF-8): find its line, take
    // its port for the chooser and the component, switch on and select it. False when
    // no line or no port is found (nothing happens then).
    bool startWithChannel(const std::string& argument);

  private:
    enum class LineState { Off, Up, Lost, Restoring };

    void send(std::string_view command);
    bool openPort(bool boxed = true);
    void powerUp();
    void sendSwitchOn();

    // The line's loss and return (reconnect.cpp).
    void watchLine();
    void followPort();
    void stopWatchingLine();
    bool noticeLoss();
    void loseLine();
    void restoreWhenDue();
    void restore();

    Trs232c& port_;
    ReceiverWindow& window_;
    ReceiverLine line_;
    bool stopping_ = false;
    bool tuning_ = false;  // inside tuneTo: the controls' own tunes wait for its one
    int givenUp_ = 0;
    PortNotices* notices_ = nullptr;
    LineState lineState_ = LineState::Off;
    int losses_ = 0;
    std::optional<std::chrono::steady_clock::time_point> lastRestore_;
};

}  // namespace kivo
