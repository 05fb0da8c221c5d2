#include "core/receivercontrol.h"

#include <exception>
#include <optional>
#include <string_view>
#include <utility>

#include "core/channels.h"
#include "core/cp932.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/receiver.h"
#include "core/sending.h"

namespace kivo {

namespace {

// A field as the channel file stores it: CP932, and on one line. A line break or a NUL
// (both reach the edits from the clipboard) would split the line on reading or end the
// file there, losing every later line. The name is judged as Add stores it, trimmed, so
// a line break pasted at its end is simply trimmed away.
std::optional<std::string> storedField(const std::string& text, bool trimmed = false) {
    auto stored = utf8ToCp932(text);
    if (!stored) return std::nullopt;
    std::string_view kept = *stored;
    std::string trimmedText;
    if (trimmed) kept = trimmedText = trimBlanks(kept);
    if (kept.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return std::nullopt;
    return stored;
}

}  // namespace

std::vector<std::string> scannedPortNames() {
    std::vector<std::string> names;
    for (int n = 1; n <= 9; ++n) names.push_back("COM" + std::to_string(n));
    return names;
}

std::vector<std::string> scanPorts(Trs232c& port) {
    std::vector<std::string> found;
    for (const std::string& name : scannedPortNames()) {
        port.portname = name;
        if (port.open()) {
            found.push_back(port.portname);
            port.close();
        }
    }
    return found;
}

ReceiverControl::ReceiverControl(Trs232c& port, ReceiverWindow& window)
    : port_(port), window_(window) {}

std::string saveQuestion() {
    return message(Msg::SaveQuestion);
}
std::string startupLoadMessage() {
    return message(Msg::StartupLoadMessage);
}
std::string restoredMessage() {
    return message(Msg::RestoredMessage);
}

bool ReceiverControl::isOn() const {
    return window_.powerCaption() != kPowerOff;
}

void ReceiverControl::send(std::string_view command) {
    if (stopping_) return;
    const bool sent = line_.send(port_, command);
    // A line gone is waited for; the rest of the sequence goes nowhere, silently.
    if (noticeLoss() || sent || !port_.isOpen()) return;
    ++givenUp_;
    if (onLineHeld) onLineHeld();
}

void ReceiverControl::ComboBox1Change() {
    port_.portname = window_.portText();
    window_.setPowerNotice("");
}

void ReceiverControl::Edit1Change() {
    if (tuning_ || !isOn()) return;
    if (auto command = tuneCommand(window_.frequencyText(), window_.amChecked())) send(*command);
}

void ReceiverControl::tuneTo(bool am, const std::string& text) {
    {
        struct Quiet {
            bool& tuning;
            bool was = std::exchange(tuning, true);
            ~Quiet() { tuning = was; }
        } quiet{tuning_};
        if (am)
            window_.checkAm();
        else
            window_.checkFm();
        window_.setFrequencyText(text);
    }
    Edit1Change();
}

void ReceiverControl::ScrollBar1Change() {
    int position = window_.volumePosition();
    window_.setVolumeLabel(std::to_string(position));
    if (!isOn()) return;
    send(volumeCommand(position));
}

void ReceiverControl::Timer1Timer() {
    send(kPeriodicCommand);
    // Replies are not interpreted. A read that fails ends the discarding, so a
    // port that keeps reporting input it cannot deliver does not hold us here.
    char discarded;
    while (port_.rxcount() > 0)
        if (!port_.rxbyte(discarded)) break;
    noticeLoss();
}

void ReceiverControl::Button2Click() {
    if (!isOn()) {
        if (!window_.portText().empty()) switchOn();
    } else {
        switchOff();
    }
}

void ReceiverControl::ListBox1DblClick() {
    ChannelList& list = window_.channels();
    int index = list.selectedIndex();
    if (index < 0 || index >= list.count()) return;
    std::vector<std::string> fields = Split(list.line(index));

    window_.setNameText(cp932ToUtf8(fieldAt(fields, 0)));
    if (fieldAt(fields, 1) == "AM")
        window_.checkAm();
    else
        window_.checkFm();
    window_.setFrequencyText(cp932ToUtf8(fieldAt(fields, 2)));
    Edit1Change();

    if (window_.smode()) {
        window_.setVolumePosition(window_.compactVolumePosition());
        ScrollBar1Change();
    } else if (auto volume = parseInteger(fieldAt(fields, 3))) {
        window_.setVolumePosition(*volume < 0 ? 0 : (*volume > 255 ? 255 : *volume));
        ScrollBar1Change();
    }
}

bool ReceiverControl::Button1Click() {
    std::string name = window_.nameText();
    std::string frequency = window_.frequencyText();
    if (frequency.empty() || name.empty()) return false;
    // Every text must fit the channel file whole, or nothing is added.
    auto storedName = storedField(name, true);
    if (!storedName) {
        window_.showMessage(unstorableNameMessage());
        return false;
    }
    auto storedFrequency = storedField(frequency);
    if (!storedFrequency) {
        window_.showMessage(unstorableFrequencyMessage());
        return false;
    }
    auto storedPort = storedField(window_.portText());
    if (!storedPort) {
        window_.showMessage(unstorablePortMessage());
        return false;
    }
    window_.channels().append(buildChannelLine(*storedName, window_.amChecked(), *storedFrequency,
                                               window_.volumePosition(), *storedPort));
    return true;
}

void ReceiverControl::Button3Click() {
    window_.channels().deleteSelected();
}

void ReceiverControl::Button4Click() {
    if (window_.channels().reload(channelFilePath)) window_.showMessage(restoredMessage());
}

void ReceiverControl::Button5Click() {
    if (window_.confirm(saveQuestion())) window_.channels().save(channelFilePath);
}

void ReceiverControl::Button6Click() {
    window_.channels().moveUp();
}

void ReceiverControl::Button7Click() {
    window_.channels().moveDown();
}

bool ReceiverControl::openPort(bool boxed) {
    if (port_.open()) {
        window_.setPowerNotice("");
        return true;
    }
    const std::string why = openErrorMessage(port_.portname, port_.api().lastOpenFailure());
    window_.setPowerNotice(why);
    if (boxed) window_.showMessage(why);
    return false;
}

// The power button's sequence once the port is open, up to the channel selection.
void ReceiverControl::powerUp() {
    window_.setPowerCaption(kPowerOn);
    window_.setPortEnabled(false);
    window_.setTimerEnabled(true);
    sendSwitchOn();
}

// The power button's switch-on commands. A loss of the line on the way (which closes the
// port) ends them.
void ReceiverControl::sendSwitchOn() {
    WaitLoop(port_);
    for (std::string_view command :
         {kOpeningCommand, kPowerOnCommand, kVolumeZeroCommand, kPeriodicCommand}) {
        send(command);
        if (!port_.isOpen()) return;
    }
}

bool ReceiverControl::switchOn() {
    // Showing "ON" over a port that did not open would lose every command unseen.
    if (!openPort()) return false;
    watchLine();
    powerUp();
    ListBox1DblClick();
    return true;
}

ReceiverControl::RemoteSwitchOn ReceiverControl::switchOnForRemote() {
    if (!openPort(false)) return RemoteSwitchOn::PortNotOpened;
    watchLine();
    powerUp();
    try {
        ListBox1DblClick();
    } catch (const KivoError& e) {
        window_.setPowerNotice(errorDialogText(e.what()));
        return RemoteSwitchOn::ChannelUnusable;
    }
    return RemoteSwitchOn::On;
}

bool ReceiverControl::switchOnAtStartup(int index) {
    bool opened = openPort();
    if (opened) {
        watchLine();
        WaitLoop(port_);
        send(kPowerOnCommand);
        window_.setPowerCaption(kPowerOn);
        window_.setPortEnabled(false);
        window_.setTimerEnabled(true);
        send(kVolumeZeroCommand);
        send(kPeriodicCommand);
    }
    // Selected either way, so that the power button tunes it once the port is there.
    window_.channels().setSelectedIndex(index);
    ListBox1DblClick();
    return opened;
}

void ReceiverControl::switchOff() {
    window_.setPowerCaption(kPowerOff);
    window_.setPortEnabled(true);
    window_.setTimerEnabled(false);
    FormClose();  // the same power-off and release as the closing sequence
}

void ReceiverControl::FormClose() {
    stopWatchingLine();  // a wait for a lost line ends with it
    if (!line_.send(port_, kPowerOffCommand) && port_.isOpen()) ++givenUp_;
    line_.close(port_);
    WaitLoop(port_);
}

bool ReceiverControl::loadAtStartup() {
    try {
        if (window_.channels().load(channelFilePath)) window_.showMessage(restoredMessage());
        return true;
    } catch (const std::exception&) {
        window_.showMessage(startupLoadMessage());
        FormClose();
        return false;
    }
}

bool ReceiverControl::startWithChannel(const std::string& argument) {
    if (stopping_) return false;  // asked to end while starting: the receiver stays off
    auto key = utf8ToCp932(argument);
    if (!key) return false;
    auto found = window_.channels().findStartupChannel(*key);
    if (!found || found->port.empty()) return false;
    std::string portname = cp932ToUtf8(found->port);
    window_.setPortText(portname);
    port_.portname = portname;
    switchOnAtStartup(found->index);
    return true;
}

}  // namespace kivo
