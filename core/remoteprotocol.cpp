#include "core/remoteprotocol.h"

#include <cmath>
#include <optional>

#include "core/receiver.h"

namespace kivo {

namespace {

std::optional<double> number(std::string_view word) {
    return remoteNumber(word);
}

std::string line(std::string_view text) {
    return std::string(text) + "\n";
}

// The frequency the window shows, in Hz; none when the field holds no number (neither
// band checked tunes as FM).
std::optional<long double> shownHz(const ReceiverWindow& window) {
    auto value = parseFrequency(window.frequencyText());
    if (!value) return std::nullopt;
    return *value * (window.amChecked() ? 1000.0L : 1000000.0L);
}

}  // namespace

std::string remoteStatus(int code) {
    return "RPRT " + std::to_string(code) + "\n";
}

std::string remoteFrequencyText(unsigned long long hz) {
    return remoteFrequencyText(hz, hz < kRemoteFmFromHz);
}

std::string remoteFrequencyText(unsigned long long hz, bool am) {
    const unsigned long long unit = am ? 1000 : 1000000;
    std::string text = std::to_string(hz / unit);
    if (unsigned long long rest = hz % unit) {
        std::string fraction = std::to_string(rest + unit).substr(1);  // zero-padded
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text;
}

void RemoteProtocol::reportError() {
    if (onHandlerError) onHandlerError(std::current_exception());
}

std::string RemoteProtocol::getFrequency() const {
    long double hz = shownHz(control_.window()).value_or(0);
    // Out of the integer range (or not finite) reads as no number.
    if (!(std::fabs(hz) < 9e18L)) hz = 0;
    return line(std::to_string(std::llround(hz)));
}

int RemoteProtocol::setFrequency(std::string_view word) {
    auto value = number(word);
    if (!value || *value < 0 || *value > kRemoteMaxHz) return kRemoteInvalid;
    if (control_.lineLost()) return kRemoteIoError;  // the window waits with the receiver
    const auto hz = static_cast<unsigned long long>(std::llround(*value));
    // One tune, also when the window already shows it: the receiver may not be there
    // (switched on with no channel selected, or tuned by hand since).
    control_.tuneTo(hz < kRemoteFmFromHz, remoteFrequencyText(hz));
    return kRemoteOk;
}

std::string RemoteProtocol::getMode() const {
    // Neither band checked tunes as FM.
    return control_.window().amChecked() ? line("AM") + line("9000") : line("WFM") + line("200000");
}

int RemoteProtocol::setMode(std::string_view mode) {
    bool am;
    if (mode == "AM")
        am = true;
    else if (mode == "FM" || mode == "WFM")
        am = false;
    else
        return kRemoteInvalid;
    if (control_.lineLost()) return kRemoteIoError;
    ReceiverWindow& window = control_.window();
    if (am ? window.amChecked() : window.fmChecked()) return kRemoteOk;  // as its button
    // The frequency stays: written in the new band's unit where it is one a client could
    // set, else the text is kept.
    std::string text = window.frequencyText();
    if (auto hz = shownHz(window); hz && *hz >= 0 && *hz <= kRemoteMaxHz)
        text = remoteFrequencyText(static_cast<unsigned long long>(std::llround(*hz)), am);
    control_.tuneTo(am, text);
    return kRemoteOk;
}

int RemoteProtocol::visibleVolume() const {
    ReceiverWindow& window = control_.window();
    return window.smode() ? window.compactVolumePosition() : window.volumePosition();
}

int RemoteProtocol::setVolume(double fraction) {
    if (control_.lineLost()) return kRemoteIoError;
    ReceiverWindow& window = control_.window();
    const int position = static_cast<int>(std::lround(fraction * 255));
    const int before = window.volumePosition();
    // In S mode the strip's slider is the one the user sees; it drives the main one.
    if (window.smode())
        window.setCompactVolumePosition(position);
    else
        window.setVolumePosition(position);
    // The slider did not move, so no handler ran: make the receiver play at what it shows.
    if (window.volumePosition() == before) control_.ScrollBar1Change();
    return kRemoteOk;
}

int RemoteProtocol::setPower(bool on) {
    // Switching off ends a wait for a lost line; switching on cannot reach the receiver.
    if (on && control_.lineLost()) return kRemoteIoError;
    if (control_.isOn() == on) return kRemoteOk;
    if (!on) {
        control_.switchOff();
        return kRemoteOk;
    }
    if (control_.window().portText().empty()) return kRemoteUnavailable;
    switch (control_.switchOnForRemote()) {
        case ReceiverControl::RemoteSwitchOn::On:
            return kRemoteOk;
        case ReceiverControl::RemoteSwitchOn::PortNotOpened:
            return kRemoteIoError;
        case ReceiverControl::RemoteSwitchOn::ChannelUnusable:
            return kRemoteInvalid;  // on all the same
    }
    return kRemoteInternal;
}

}  // namespace kivo
