// The CP932 conversions. Decoding never fails and always yields valid UTF-8, ASCII
// unchanged; encoding refuses exactly what is not valid UTF-8 (and what CP932 lacks);
// text that went through a round trip comes back the same, bytes alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/cp932.h"

namespace {

// Well-formed UTF-8 as Unicode defines it: shortest forms, no surrogates, up to U+10FFFF.
bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n;
        std::uint32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 1, cp = b & 0x1Fu;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 2, cp = b & 0x0Fu;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 3, cp = b & 0x07u;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return false;
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = cp << 6 | (c & 0x3Fu);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

bool ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The input as CP932 bytes.
    const std::string text = kivo::cp932ToUtf8(input);
    if (!validUtf8(text)) std::abort();
    if (ascii(input) && text != input) std::abort();
    if (text.find("\xEF\xBF\xBD") == std::string::npos) {  // every byte was a character
        const std::optional<std::string> back = kivo::utf8ToCp932(text);
        if (!back || kivo::cp932ToUtf8(*back) != text) std::abort();
    }

    // The input as UTF-8 text.
    const std::optional<std::string> bytes = kivo::utf8ToCp932(input);
    if (!validUtf8(input) && bytes) std::abort();
    if (ascii(input) && bytes != input) std::abort();
    if (bytes && kivo::utf8ToCp932(kivo::cp932ToUtf8(*bytes)) != bytes) std::abort();
    return 0;
}
