#include "core/remoteprotocol.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "core/receiver.h"

namespace kivo {

namespace {

// What clients read from "\dump_state": protocol 1, one VFO, the AM and the broadcast FM
// band, 1 kHz steps, the two fixed passbands and the AF level.
constexpr std::string_view kDumpState =
    "1\n"
    "2\n"
    "0\n"
    "150000.000000 30000000.000000 0x1 -1 -1 0x1 0x0\n"
    "76000000.000000 108000000.000000 0x40 -1 -1 0x1 0x0\n"
    "0 0 0 0 0 0 0\n"
    "0 0 0 0 0 0 0\n"
    "0x1 1000\n"
    "0x40 1000\n"
    "0 0\n"
    "0x1 9000\n"
    "0x40 200000\n"
    "0 0\n"
    "0\n"
    "0\n"
    "0\n"
    "0\n"
    "\n"
    "\n"
    "0x0\n"
    "0x0\n"
    "0x8\n"
    "0x8\n"
    "0x0\n"
    "0x0\n"
    "vfo_ops=0x0\n"
    "ptt_type=0x0\n"
    "targetable_vfo=0x0\n"
    "has_set_vfo=0\n"
    "has_get_vfo=0\n"
    "timeout=0\n"
    "done\n";

enum class Command {
    GetFreq,
    SetFreq,
    GetMode,
    SetMode,
    GetLevel,
    SetLevel,
    GetPowerstat,
    SetPowerstat,
    ChkVfo,
    DumpState,
    GetLockMode,
    GetVfo,
    SetVfo,
    GetSplitVfo,
    Quit,
};

struct CommandName {
    std::string_view name;  // a short letter, or a long name with its backslash
    Command command;
};

constexpr CommandName kCommands[] = {
    {"f", Command::GetFreq},
    {"\\get_freq", Command::GetFreq},
    {"F", Command::SetFreq},
    {"\\set_freq", Command::SetFreq},
    {"m", Command::GetMode},
    {"\\get_mode", Command::GetMode},
    {"M", Command::SetMode},
    {"\\set_mode", Command::SetMode},
    {"l", Command::GetLevel},
    {"\\get_level", Command::GetLevel},
    {"L", Command::SetLevel},
    {"\\set_level", Command::SetLevel},
    {"\\get_powerstat", Command::GetPowerstat},
    {"\\set_powerstat", Command::SetPowerstat},
    {"\\chk_vfo", Command::ChkVfo},
    {"\\dump_state", Command::DumpState},
    {"\\get_lock_mode", Command::GetLockMode},
    {"v", Command::GetVfo},
    {"\\get_vfo", Command::GetVfo},
    {"V", Command::SetVfo},
    {"\\set_vfo", Command::SetVfo},
    {"s", Command::GetSplitVfo},
    {"\\get_split_vfo", Command::GetSplitVfo},
    {"q", Command::Quit},
    {"Q", Command::Quit},
};

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

// A whole word as a finite decimal number, whatever the locale.
std::optional<double> number(std::string_view word) {
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
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

RemoteProtocol::Reply RemoteProtocol::handleLine(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::vector<std::string_view> w = words(text);
    if (w.empty()) return {};

    const CommandName* found = nullptr;
    for (const CommandName& c : kCommands)
        if (c.name == w[0]) found = &c;
    if (!found) return {remoteStatus(kRemoteUnavailable)};
    auto arg = [&w](std::size_t i) { return i < w.size() ? w[i] : std::string_view(); };

    try {
        switch (found->command) {
            case Command::GetFreq:
                return {getFrequency()};
            case Command::SetFreq:
                return {remoteStatus(setFrequency(arg(1)))};
            case Command::GetMode:
                return {getMode()};
            case Command::SetMode:
                // The passband that follows is accepted and ignored: each band has its own.
                return {remoteStatus(setMode(arg(1)))};
            case Command::GetLevel: {
                if (arg(1) != "AF") return {remoteStatus(kRemoteInvalid)};
                char buffer[32];
                auto result = std::to_chars(buffer, buffer + sizeof buffer, visibleVolume() / 255.0,
                                            std::chars_format::fixed, 6);
                return {line(std::string_view(buffer, result.ptr - buffer))};
            }
            case Command::SetLevel: {
                auto fraction = number(arg(2));
                if (arg(1) != "AF" || !fraction || *fraction < 0 || *fraction > 1)
                    return {remoteStatus(kRemoteInvalid)};
                return {remoteStatus(setVolume(*fraction))};
            }
            case Command::GetPowerstat:
                return {line(control_.isOn() ? "1" : "0")};
            case Command::SetPowerstat:
                if (arg(1) == "1") return {remoteStatus(setPower(true))};
                if (arg(1) == "0") return {remoteStatus(setPower(false))};
                return {remoteStatus(kRemoteInvalid)};
            case Command::ChkVfo:
                return {line("0")};
            case Command::DumpState:
                return {std::string(kDumpState)};
            case Command::GetLockMode:
                return {line("0") + remoteStatus(kRemoteOk)};
            case Command::GetVfo:
                return {line("VFOA")};
            case Command::SetVfo: {
                std::string_view vfo = arg(1);
                bool ours = vfo == "VFOA" || vfo == "VFO" || vfo == "currVFO";
                return {remoteStatus(ours ? kRemoteOk : kRemoteInvalid)};
            }
            case Command::GetSplitVfo:
                return {line("0") + line("VFOA")};
            case Command::Quit:
                return {remoteStatus(kRemoteOk), true};
        }
    } catch (...) {
        reportError();
    }
    return {remoteStatus(kRemoteInternal)};
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
