// libstdc++'s from_chars keeps only a double's precision in a long double here; the
// runtime's strtold keeps it all but reads the locale's decimal point, given it.
#include "core/decimal.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>

namespace kivo {

std::optional<long double> readDecimal(const std::string& number, bool& outOfRange) {
    std::string text = number;
    if (const std::size_t point = text.find('.'); point != std::string::npos)
        text.replace(point, 1, std::localeconv()->decimal_point);
    char* end = nullptr;
    errno = 0;
    const long double value = std::strtold(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    outOfRange = errno == ERANGE;
    return value;
}

}  // namespace kivo
