#include "sim/receiver_state.h"

#include <charconv>
#include <cstdio>

namespace sim {
namespace {

constexpr std::string_view kAmSuffix = "000020100";
constexpr std::string_view kFmSuffix = "000060400";
constexpr std::size_t kSuffixLength = 9;
constexpr std::size_t kMinFrequencyDigits = 7;

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // the program writes upper-case digits only
}

CommandResult refused(std::string why) {
    return {false, "not understood: " + std::move(why)};
}

CommandResult tune(ReceiverState& state, std::string_view body) {
    // body: [-]digits followed by the nine-character band suffix
    if (body.size() <= kSuffixLength) return refused("tune command too short");
    std::string_view suffix = body.substr(body.size() - kSuffixLength);
    std::string_view number = body.substr(0, body.size() - kSuffixLength);
    Band band;
    if (suffix == kAmSuffix)
        band = Band::AM;
    else if (suffix == kFmSuffix)
        band = Band::FM;
    else
        return refused("unknown band suffix \"" + escapeBytes(suffix) + "\"");
    bool negative = !number.empty() && number.front() == '-';
    std::string_view digits = negative ? number.substr(1) : number;
    if (!allDigits(digits) || digits.size() < kMinFrequencyDigits)
        return refused("frequency must be at least seven digits");
    long long kHz = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), kHz);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return refused("frequency out of range");
    if (negative) kHz = -kHz;
    state.band = band;
    state.frequencyKhz = kHz;
    return {true,
            std::string("tune ") + (band == Band::AM ? "AM " : "FM ") + frequencyText(band, kHz)};
}

}  // namespace

CommandResult applyCommand(ReceiverState& state, std::string_view line) {
    if (line == "G300") {
        state.opened = true;
        return {true, "opening"};
    }
    if (line == "H101") {
        state.power = true;
        return {true, "power on"};
    }
    if (line == "H100") {
        state.power = false;
        state.opened = false;
        return {true, "power off"};
    }
    if (line == "J4101") {
        ++state.periodicCount;
        return {true, "periodic"};
    }
    if (line.size() == 5 && line.substr(0, 3) == "J40") {
        int hi = hexValue(line[3]), lo = hexValue(line[4]);
        if (hi < 0 || lo < 0) return refused("volume needs two upper-case hex digits");
        state.volume = hi * 16 + lo;
        return {true, "volume " + std::to_string(state.volume)};
    }
    if (line.substr(0, 2) == "K0") return tune(state, line.substr(2));
    if (line.empty()) return refused("empty line");
    return refused("unknown command");
}

std::string frequencyText(Band band, long long kHz) {
    if (band == Band::AM) return std::to_string(kHz) + " kHz";
    // MHz with three decimals, exact (no floating point for large values).
    unsigned long long magnitude = kHz < 0 ? 0ULL - static_cast<unsigned long long>(kHz)
                                           : static_cast<unsigned long long>(kHz);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%llu.%03llu MHz", kHz < 0 ? "-" : "", magnitude / 1000,
                  magnitude % 1000);
    return buf;
}

std::string summary(const ReceiverState& state) {
    std::string out = state.power ? "ON" : "OFF";
    switch (state.band) {
        case Band::None:
            out += "  --";
            break;
        case Band::AM:
            out += "  AM  " + frequencyText(Band::AM, state.frequencyKhz);
            break;
        case Band::FM:
            out += "  FM  " + frequencyText(Band::FM, state.frequencyKhz);
            break;
    }
    out += "  vol " + (state.volume < 0 ? std::string("--") : std::to_string(state.volume));
    return out;
}

std::string escapeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace sim
