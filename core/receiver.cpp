#include "core/receiver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/decimal.h"

namespace kivo {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The power of ten of the first significant digit (digits not all zero). Only the
// value's magnitude tells an underflow from an overflow: ".0001e4000" is tiny and
// "1000e-3998" is huge, whatever the exponent's sign.
long long leadingPower(const std::string& intDigits, const std::string& fracDigits,
                       const std::string& exponent) {
    long long power = static_cast<long long>(intDigits.size()) - 1;
    std::size_t first = intDigits.find_first_not_of('0');
    if (first != std::string::npos) {
        power -= static_cast<long long>(first);
    } else {
        std::size_t frac = fracDigits.find_first_not_of('0');
        if (frac == std::string::npos) return -1;  // zero is never out of range
        power -= static_cast<long long>(intDigits.size() + frac);
    }
    // The exponent saturates: far beyond any range, its exact value does not matter.
    long long e = 0;
    for (char c : exponent)
        if (isDigit(c)) e = std::min(e * 10 + (c - '0'), 1'000'000'000LL);
    return power + (exponent.starts_with('-') ? -e : e);
}

}  // namespace

std::optional<long double> parseFrequency(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size()) return std::nullopt;

    // Rebuild a plain number for readDecimal, which ignores the locale the toolkit
    // sets from the user's environment (a decimal comma would stop strtold at ".").
    std::string number;
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') ++i;
    if (i == text.size()) return std::nullopt;  // a lone sign

    std::string intDigits, fracDigits;
    while (i < text.size() && isDigit(text[i])) intDigits += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) fracDigits += text[i++];
    }
    std::string exponent;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent += text[i++];
        std::size_t digits = 0;
        while (i < text.size() && isDigit(text[i])) {
            exponent += text[i++];
            ++digits;
        }
        if (digits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;

    // An empty mantissa (".", "E5", ".E5") is zero.
    if (intDigits.empty() && fracDigits.empty()) return 0.0L;
    number = (intDigits.empty() ? "0" : intDigits) + "." + (fracDigits.empty() ? "0" : fracDigits);
    if (!exponent.empty()) number += "e" + exponent;
    bool outOfRange = false;
    std::optional<long double> value = readDecimal(number, outOfRange);
    if (!value) return std::nullopt;
    if (outOfRange) value = leadingPower(intDigits, fracDigits, exponent) < 0 ? 0.0L : HUGE_VALL;
    return negative ? -*value : *value;
}

std::string formatFrequency(long double khz) {
    if (!std::isfinite(khz)) return "0000000";
    // Round on the value's 18 significant decimal digits (what extended precision
    // holds), halves away from zero, so that 0.0005 MHz is 1 kHz, not 0.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", std::fabs(khz));
    std::string mantissa;  // 18 digits d.ddd... without the point
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (isDigit(*p)) mantissa += *p;
    int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    int intCount = exponent + 1;  // digits before the decimal point

    std::string digits;
    bool roundUp = false;
    if (intCount <= 0) {
        roundUp = intCount == 0 && mantissa[0] >= '5';
    } else {
        for (int k = 0; k < intCount; ++k)
            digits += k < static_cast<int>(mantissa.size()) ? mantissa[k] : '0';
        roundUp = intCount < static_cast<int>(mantissa.size()) && mantissa[intCount] >= '5';
    }
    if (digits.empty()) digits = "0";
    if (roundUp) {
        int k = static_cast<int>(digits.size()) - 1;
        while (k >= 0 && digits[k] == '9') digits[k--] = '0';
        if (k < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[k];
    }
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return "0000000";
    digits.erase(0, first);
    if (digits.size() < 7) digits.insert(0, 7 - digits.size(), '0');
    return (khz < 0 ? "-" : "") + digits;
}

std::optional<std::string> tuneCommand(std::string_view frequencyText, bool am) {
    std::optional<long double> value = parseFrequency(frequencyText);
    if (!value) return std::nullopt;
    long double khz = am ? *value : *value * 1000.0L;
    if (!std::isfinite(khz)) return std::nullopt;  // an exponent beyond the range
    return "K0" + formatFrequency(khz) + std::string(am ? kAmSuffix : kFmSuffix);
}

std::string volumeCommand(int position) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "J40%02X", static_cast<unsigned>(std::clamp(position, 0, 255)));
    return buf;
}

}  // namespace kivo
