#include "core/remotecommands.h"

#include <charconv>
#include <cmath>

namespace kivo {

namespace {

using C = RemoteCommand;

constexpr RemoteCommandInfo kCommands[] = {
    {"f", "get_freq", C::GetFreq, 0, {"Frequency"}},
    {"F", "set_freq", C::SetFreq, 1},
    {"m", "get_mode", C::GetMode, 0, {"Mode", "Passband"}},
    // The passband after the mode is optional (a number when given); "M ?" asks the modes.
    {"M", "set_mode", C::SetMode, 1},
    {"l", "get_level", C::GetLevel, 1},
    {"L", "set_level", C::SetLevel, 2},
    {"", "get_powerstat", C::GetPowerstat, 0, {"Power Status"}},
    {"", "set_powerstat", C::SetPowerstat, 1},
    {"", "chk_vfo", C::ChkVfo, 0, {"ChkVFO"}},
    {"", "set_vfo_opt", C::SetVfoOpt, 1},
    {"", "dump_state", C::DumpState},
    {"", "dump_caps", C::DumpCaps, 0, {}, true},
    {"_", "get_info", C::GetInfo, 0, {"Info"}},
    {"", "get_vfo_info", C::GetVfoInfo, 0, {"Freq", "Mode", "Width", "Split", "SatMode"}},
    {"", "get_lock_mode", C::GetLockMode, 0, {"Locked"}, true},
    {"v", "get_vfo", C::GetVfo, 0, {"VFO"}},
    {"V", "set_vfo", C::SetVfo, 1},
    {"s", "get_split_vfo", C::GetSplitVfo, 0, {"Split", "TX VFO"}},
    {"t", "get_ptt", C::GetPtt, 0, {"PTT"}},
    {"q", "quit", C::Quit},
    {"Q", "quit", C::Quit},
    // A transmitter's, a second VFO's and the memories' commands.
    {"T", "set_ptt", C::Refused, 1},
    {"S", "set_split_vfo", C::Refused, 2},
    {"I", "set_split_freq", C::Refused, 1},
    {"i", "get_split_freq", C::Refused},
    {"X", "set_split_mode", C::Refused, 2},
    {"x", "get_split_mode", C::Refused},
    {"K", "set_split_freq_mode", C::Refused, 3},
    {"k", "get_split_freq_mode", C::Refused},
    {"G", "vfo_op", C::Refused, 1},
    {"E", "set_mem", C::Refused, 1},
    {"e", "get_mem", C::Refused},
    {"H", "set_channel", C::Refused, 1},
    {"h", "get_channel", C::Refused, 1},
};

constexpr std::string_view kVfoNames[] = {
    "VFOA", "currVFO", "VFO",   "Main",  "MainA", "VFOB", "VFOC", "MEM",  "Sub",
    "TX",   "RX",      "MainB", "MainC", "SubA",  "SubB", "SubC", "None",
};
constexpr std::size_t kOurVfoNames = 5;  // the first ones: all mean the one VFO

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

void skipBlanks(std::string_view& rest) {
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
}

// The next word, `rest` moved past it and the blanks after it.
std::string_view takeWord(std::string_view& rest) {
    std::size_t end = 0;
    while (end < rest.size() && !isBlank(rest[end])) ++end;
    std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    skipBlanks(rest);
    return word;
}

std::string_view peekWord(std::string_view rest) {
    return takeWord(rest);
}

const RemoteCommandInfo* find(std::string_view word) {
    const bool longName = !word.empty() && word.front() == '\\';
    if (longName) word.remove_prefix(1);
    for (const RemoteCommandInfo& c : kCommands)
        if (longName ? c.name == word : !c.letter.empty() && c.letter == word) return &c;
    return nullptr;
}

}  // namespace

std::string_view remoteLineText(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool isRemoteVfoName(std::string_view word) {
    for (std::string_view name : kVfoNames)
        if (name == word) return true;
    return false;
}

bool isOurRemoteVfo(std::string_view word) {
    for (std::size_t i = 0; i < kOurVfoNames; ++i)
        if (kVfoNames[i] == word) return true;
    return false;
}

std::optional<double> remoteNumber(std::string_view word) {
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<RemoteRequest> takeRemoteCommand(std::string_view& rest) {
    skipBlanks(rest);
    if (rest.empty()) return std::nullopt;
    RemoteRequest request;
    std::string_view word = takeWord(rest);
    if (std::string_view("+;|,").find(word.front()) != std::string_view::npos) {
        request.separator = word.front() == '+' ? '\n' : word.front();
        word.remove_prefix(1);
    }
    request.info = find(word);
    if (!request.info) {
        rest = {};
        return request;
    }
    // A VFO name right after the command is its VFO, in VFO mode or not (some clients
    // name it before they switch); set_vfo's own argument is a VFO name.
    if (request.info->command != RemoteCommand::SetVfo && isRemoteVfoName(peekWord(rest)))
        request.vfo = takeWord(rest);
    for (int i = 0; i < request.info->words; ++i) {
        if (rest.empty()) {
            request.missing = true;
            break;
        }
        request.args[request.argCount++] = takeWord(rest);
    }
    if (request.info->command == RemoteCommand::SetMode && request.argCount == 1 &&
        request.args[0] != "?" && !rest.empty() && remoteNumber(peekWord(rest)))
        request.args[request.argCount++] = takeWord(rest);
    return request;
}

}  // namespace kivo
