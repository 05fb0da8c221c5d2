// The receiver's command set and the conversions that build the two parameterised
// commands (tune and volume). Commands here are without their CR LF; sendCommand
// (sending.h) adds it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo {

inline constexpr std::string_view kOpeningCommand = "G300";
inline constexpr std::string_view kPowerOnCommand = "H101";
inline constexpr std::string_view kPowerOffCommand = "H100";
inline constexpr std::string_view kVolumeZeroCommand = "J4000";
inline constexpr std::string_view kPeriodicCommand = "J4101";
inline constexpr std::string_view kLineEnd = "\r\n";

inline constexpr std::string_view kAmSuffix = "000020100";  // kHz as typed
inline constexpr std::string_view kFmSuffix = "000060400";  // MHz typed, sent as kHz

// Strict number conversion of the frequency field, independent of the locale: leading
// 0x20 blanks, optional sign, digits with an optional "." (either side or both may be
// empty), optional exponent with at least one digit; nothing after. nullopt on failure.
std::optional<long double> parseFrequency(std::string_view text);

// The "0000000" picture: nearest integer, halves away from zero, at least seven digits,
// "-" before a negative value unless it rounds to 0.
std::string formatFrequency(long double khz);

// "K0" + digits + band suffix for the frequency text; nullopt when it is not a number.
// AM takes the number as kHz, FM as MHz (times 1000).
std::optional<std::string> tuneCommand(std::string_view frequencyText, bool am);

// "J40" + two upper-case hex digits of the slider position (0..255).
std::string volumeCommand(int position);

}  // namespace kivo
