// Reading a plain decimal number in the full precision of a long double, whatever the
// locale: the platform's part of the frequency parser.
#pragma once

#include <optional>
#include <string>

namespace kivo {

// `number` is digits, ".", digits and an optional exponent ("80.7", "1.0e-3"), as the
// frequency parser builds it. nullopt when it is not read whole; `outOfRange` tells a
// value beyond the range or below it (the value then says nothing).
std::optional<long double> readDecimal(const std::string& number, bool& outOfRange);

}  // namespace kivo
