// The frequency text: whether it is a number, and the tune command built from it in both
// bands, against a reference in exact decimal arithmetic: the grammar, FM's factor 1000,
// the "0000000" picture with halves away from zero. The commands are compared where the
// text has at most 18 significant digits (the precision the conversion keeps) and the
// value is inside the number range (below 10^4932); beyond it nothing is sent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/receiver.h"

namespace {

// An exact decimal: (-1)^negative * digits * 10^exponent, digits without leading or
// trailing zeros (empty for zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    long long exponent = 0;
};

bool digit(char c) {
    return c >= '0' && c <= '9';
}

// The grammar of the frequency field, step by step.
std::optional<Decimal> parse(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i == s.size()) return std::nullopt;  // empty
    Decimal d;
    if (s[i] == '+' || s[i] == '-') {
        d.negative = s[i] == '-';
        if (++i == s.size()) return std::nullopt;  // a lone sign
    }
    std::string mantissa;
    long long fraction = 0;
    while (i < s.size() && digit(s[i])) mantissa += s[i++];
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && digit(s[i])) {
            mantissa += s[i++];
            ++fraction;
        }
    }
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        bool minus = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) minus = s[i++] == '-';
        if (i == s.size() || !digit(s[i])) return std::nullopt;
        while (i < s.size() && digit(s[i])) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (s[i] - '0');
            ++i;
        }
        if (minus) exponent = -exponent;
    }
    if (i != s.size()) return std::nullopt;
    std::size_t first = mantissa.find_first_not_of('0');
    if (first == std::string::npos) return d;  // zero
    std::size_t last = mantissa.find_last_not_of('0');
    d.digits = mantissa.substr(first, last - first + 1);
    d.exponent = exponent - fraction + static_cast<long long>(mantissa.size() - 1 - last);
    return d;
}

// The picture "0000000" of the exact value.
std::string picture(const Decimal& d) {
    const long long integerDigits = static_cast<long long>(d.digits.size()) + d.exponent;
    std::string out;
    bool up = false;
    if (integerDigits <= 0) {
        up = integerDigits == 0 && !d.digits.empty() && d.digits[0] >= '5';
    } else {
        for (long long k = 0; k < integerDigits; ++k)
            out += k < static_cast<long long>(d.digits.size()) ? d.digits[k] : '0';
        up = integerDigits < static_cast<long long>(d.digits.size()) &&
             d.digits[integerDigits] >= '5';
    }
    if (out.empty()) out = "0";
    if (up) {
        std::size_t k = out.size();
        while (k > 0 && out[k - 1] == '9') out[--k] = '0';
        if (k == 0)
            out.insert(out.begin(), '1');
        else
            ++out[k - 1];
    }
    out.erase(0, std::min(out.find_first_not_of('0'), out.size()));
    if (out.empty()) return "0000000";
    if (out.size() < 7) out.insert(0, 7 - out.size(), '0');
    return (d.negative ? "-" : "") + out;
}

void check(const Decimal& value, bool am, std::string_view text) {
    Decimal khz = value;
    if (!am && !khz.digits.empty()) khz.exponent += 3;
    const std::optional<std::string> got = kivo::tuneCommand(text, am);
    if (khz.digits.empty()) {
        if (got != "K00000000" + std::string(am ? kivo::kAmSuffix : kivo::kFmSuffix)) std::abort();
        return;
    }
    if (khz.digits.size() > 18) return;  // beyond the conversion's precision
    const long long lead = static_cast<long long>(khz.digits.size()) - 1 + khz.exponent;
    if (lead == 4932) return;  // around the largest value: either way is right
    if (lead > 4932) {
        if (got) std::abort();  // too large for the range: nothing is sent
        return;
    }
    const std::string want =
        "K0" + picture(khz) + std::string(am ? kivo::kAmSuffix : kivo::kFmSuffix);
    if (got != want) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<Decimal> value = parse(text);
    if (kivo::parseFrequency(text).has_value() != value.has_value()) std::abort();
    if (!value) {
        if (kivo::tuneCommand(text, true) || kivo::tuneCommand(text, false)) std::abort();
        return 0;
    }
    check(*value, true, text);
    check(*value, false, text);
    return 0;
}
