// What the simulated receiver knows, and how one command line changes it.
#pragma once

#include <string>
#include <string_view>

namespace sim {

enum class Band { None, AM, FM };

struct ReceiverState {
    bool power = false;
    bool opened = false;  // "G300" seen since the last power off
    Band band = Band::None;
    long long frequencyKhz = 0;  // meaningful once band is not None
    int volume = -1;             // 0..255; -1 until a volume command arrives
    unsigned long periodicCount = 0;

    bool operator==(const ReceiverState&) const = default;
};

// The outcome of one command line: whether the receiver understood it, and in a few
// words what it did (or why it was refused), for the log.
struct CommandResult {
    bool understood = false;
    std::string meaning;
};

// Applies one command line (without its CR LF). A line that is not understood leaves the
// state as it was.
CommandResult applyCommand(ReceiverState& state, std::string_view line);

// "ON  FM  80.700 MHz  vol 120"; AM in kHz; "--" for what is not known yet.
std::string summary(const ReceiverState& state);

// "80.700 MHz" or "954 kHz".
std::string frequencyText(Band band, long long kHz);

// Printable form of received bytes: control and non-ASCII bytes as \xNN.
std::string escapeBytes(std::string_view bytes);

}  // namespace sim
