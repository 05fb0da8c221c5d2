// The remote-control commands as clients write them: short letters and long names, the
// words each takes, the keys of its values in an extended answer, and how one command is
// taken from a line that may hold several ("f m v", "+f +m +v", "F 7000000 f").
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace kivo {

enum class RemoteCommand {
    GetFreq,
    SetFreq,
    GetMode,
    SetMode,
    GetLevel,
    SetLevel,
    GetPowerstat,
    SetPowerstat,
    ChkVfo,
    SetVfoOpt,
    DumpState,
    DumpCaps,
    GetInfo,
    GetVfoInfo,
    GetLockMode,
    GetVfo,
    SetVfo,
    GetSplitVfo,
    GetPtt,
    Quit,
    Refused,  // known, so that its arguments are skipped, but nothing a receiver has
};

struct RemoteCommandInfo {
    std::string_view letter;  // empty: only the long name
    std::string_view name;    // the long name, written after a backslash
    RemoteCommand command;
    int words = 0;  // arguments after the VFO name
    // Keys of the values in an extended answer; an empty key prints the value alone.
    std::array<std::string_view, 5> keys{};
    bool statusAlways = false;  // "RPRT 0" ends its plain answer too
};

inline constexpr std::size_t kMaxRemoteArgs = 3;

// One command as a client wrote it. The views point into the line.
struct RemoteRequest {
    // 0: the plain answer; otherwise the character joining the extended answer's fields
    // ('\n' for the '+' prefix, or ';', '|', ',').
    char separator = 0;
    const RemoteCommandInfo* info = nullptr;  // null: a command KIVO does not know
    std::string_view vfo;                     // a VFO name before the arguments, or empty
    std::array<std::string_view, kMaxRemoteArgs> args{};
    std::size_t argCount = 0;
    bool missing = false;  // the line ended before the command's arguments did

    std::string_view arg(std::size_t i) const {
        return i < argCount ? args[i] : std::string_view();
    }
};

// Takes the first command from `rest` (a line without its line end) and moves `rest` past
// it and the blanks after it; nullopt when only blanks are left. The words after a command
// KIVO does not know cannot be told from its arguments: the rest of the line goes with it.
std::optional<RemoteRequest> takeRemoteCommand(std::string_view& rest);

// A line's text without its line end: a CR before the LF is dropped.
std::string_view remoteLineText(std::string_view line);

// A name clients use for a VFO; one that means KIVO's only VFO.
bool isRemoteVfoName(std::string_view word);
bool isOurRemoteVfo(std::string_view word);

// A whole word as a finite decimal number, whatever the locale.
std::optional<double> remoteNumber(std::string_view word);

}  // namespace kivo
