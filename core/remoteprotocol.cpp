#include "remoteprotocol.h"

#include <cmath>
#include <optional>

#include "receiver.h"

namespace kivo {

namespace {

std::optional<double> number(std::string_view word) {
    return remoteNumber(word);
}

std::string line(std::string_view text) {
    return std::string(text) + "\n";
}

}  // namespace

std::string remoteStatus(int code) {
    return "RPRT " + std::to_string(code) + "\n";
}

std::string remoteFrequencyText(unsigned long long hz) {
    const bool am = hz < kRemoteFmFromHz;
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
    ReceiverWindow& window = control_.window();
    long double hz = 0;
    if (auto value = parseFrequency(window.frequencyText()))
        hz = *value * (window.amChecked() ? 1000.0L : 1000000.0L);
    // Out of the integer range (or not finite) reads as no number.
    if (!(std::fabs(hz) < 9e18L)) hz = 0;
    return line(std::to_string(std::llround(hz)));
}

int RemoteProtocol::setFrequency(std::string_view word) {
    auto value = number(word);
    if (!value || *value < 0 || *value > kRemoteMaxHz) return kRemoteInvalid;
    const auto hz = static_cast<unsigned long long>(std::llround(*value));
    const bool am = hz < kRemoteFmFromHz;
    const std::string text = remoteFrequencyText(hz);

    ReceiverWindow& window = control_.window();
    const bool bandChanges = am ? !window.amChecked() : !window.fmChecked();
    const bool textChanges = window.frequencyText() != text;
    if (am)
        window.checkAm();
    else
        window.checkFm();
    window.setFrequencyText(text);
    // Nothing changed, so no handler ran: the receiver may not be at what the window shows
    // (switched on with no channel selected, or tuned by hand since), so tune it now.
    if (!bandChanges && !textChanges) control_.Edit1Change();
    return kRemoteOk;
}

std::string RemoteProtocol::getMode() const {
    // Neither band checked tunes as FM.
    return control_.window().amChecked() ? line("AM") + line("9000") : line("WFM") + line("200000");
}

int RemoteProtocol::setMode(std::string_view mode) {
    if (mode == "AM")
        control_.window().checkAm();
    else if (mode == "FM" || mode == "WFM")
        control_.window().checkFm();
    else
        return kRemoteInvalid;
    return kRemoteOk;
}

int RemoteProtocol::visibleVolume() const {
    ReceiverWindow& window = control_.window();
    return window.smode() ? window.compactVolumePosition() : window.volumePosition();
}

int RemoteProtocol::setVolume(double fraction) {
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
    if (control_.isOn() == on) return kRemoteOk;
    if (on && control_.window().portText().empty()) return kRemoteUnavailable;
    try {
        control_.Button2Click();
    } catch (...) {
        // Switched on, but the selected channel's line could not be used.
        reportError();
    }
    if (control_.isOn() == on) return kRemoteOk;
    return kRemoteIoError;  // the port did not open; the window said why
}

}  // namespace kivo
