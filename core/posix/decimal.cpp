#include "core/decimal.h"

#include <charconv>

namespace kivo {

std::optional<long double> readDecimal(const std::string& number, bool& outOfRange) {
    long double value = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    outOfRange = error == std::errc::result_out_of_range;
    if (!outOfRange && (error != std::errc() || end != number.data() + number.size()))
        return std::nullopt;
    return value;
}

}  // namespace kivo
