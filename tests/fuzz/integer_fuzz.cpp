// The strict integer of the volume field against a reference written from the rules:
// leading 0x20 blanks, then a signed decimal number within 32 bits, or, without a sign, a
// hexadecimal number after "$", "x", "X", "0x" or "0X" of at most 32 bits read as two's
// complement; nothing after.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "core/channels.h"

namespace {

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Digits without their leading zeros, each checked by `valid`; nullopt when there are
// none or one is not valid.
template <class Valid>
std::optional<std::string_view> significant(std::string_view digits, Valid valid) {
    if (digits.empty()) return std::nullopt;
    for (char c : digits)
        if (!valid(c)) return std::nullopt;
    std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

std::optional<std::int32_t> reference(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
        if (!s.starts_with(prefix)) continue;
        auto digits = significant(s.substr(prefix.size()), [](char c) { return hex(c) >= 0; });
        if (!digits || digits->size() > 8) return std::nullopt;
        std::uint32_t value = 0;
        for (char c : *digits) value = value * 16 + static_cast<std::uint32_t>(hex(c));
        return static_cast<std::int32_t>(value);
    }
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    auto digits = significant(s, [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || digits->size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (char c : *digits) value = value * 10 + (c - '0');
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (kivo::parseInteger(text) != reference(text)) std::abort();
    return 0;
}
