// CP932 through the system's own code page 932 tables.
#include "core/cp932.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>

namespace kivo {

namespace {

constexpr UINT kCp932 = 932;
constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Characters the code page has under another code point: stored as the channel file
// has always held them (U+00A5 yen sign as 0x5C, U+301C wave dash as 0x8160, ...).
struct Alias {
    wchar_t ch;
    const char* bytes;
};
constexpr std::array<Alias, 9> kAliases = {{
    {L'\u00A5', "\x5C"},
    {L'\u203E', "\x7E"},
    {L'\u301C', "\x81\x60"},
    {L'\u2016', "\x81\x61"},
    {L'\u2212', "\x81\x7C"},
    {L'\u00A2', "\x81\x91"},
    {L'\u00A3', "\x81\x92"},
    {L'\u00AC', "\x81\xCA"},
    {L'\u2014', "\x81\x5C"},
}};

const char* aliasOf(wchar_t ch) {
    for (const Alias& a : kAliases)
        if (a.ch == ch) return a.bytes;
    return nullptr;
}

void appendUtf8(std::string& out, const wchar_t* wide, int count) {
    if (count <= 0) return;
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, wide, count, out.data() + at, n, nullptr, nullptr);
}

// One character of `bytes` at `i`: its length, or 0 when no character starts there.
// The single bytes 0x80, 0xA0 and 0xFD..0xFF are none, though the system's table gives
// them placeholders.
int decodeOne(std::string_view bytes, std::size_t i, wchar_t& ch) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == 0x80 || b == 0xA0 || b >= 0xFD) return 0;
    const int len = IsDBCSLeadByteEx(kCp932, b) ? 2 : 1;
    if (i + static_cast<std::size_t>(len) > bytes.size()) return 0;
    wchar_t wide[2];
    int n = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data() + i, len, wide, 2);
    if (n != 1) return 0;
    ch = wide[0];
    return len;
}

}  // namespace

std::string cp932ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::wstring run;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            run += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        wchar_t ch = 0;
        if (int len = decodeOne(bytes, i, ch)) {
            run += ch;
            i += static_cast<std::size_t>(len);
            continue;
        }
        // A byte that starts no valid character (or a character cut off at the end):
        // U+FFFD, and decoding goes on with the next byte.
        appendUtf8(out, run.data(), static_cast<int>(run.size()));
        run.clear();
        out += kReplacement;
        ++i;
    }
    appendUtf8(out, run.data(), static_cast<int>(run.size()));
    return out;
}

std::optional<std::string> utf8ToCp932(std::string_view text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return std::nullopt;  // not UTF-8
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);

    std::string out;
    // Converts wide[from, to) without best-fit substitutes: a character the code page
    // lacks refuses the whole text.
    auto convert = [&](std::size_t from, std::size_t to) {
        if (from == to) return true;
        const wchar_t* p = wide.data() + from;
        const int count = static_cast<int>(to - from);
        BOOL usedDefault = FALSE;
        int m = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, p, count, nullptr, 0, nullptr,
                                    &usedDefault);
        if (m <= 0 || usedDefault) return false;
        std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(m));
        WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, p, count, out.data() + at, m, nullptr,
                            nullptr);
        return true;
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char* alias = aliasOf(wide[i]);
        if (!alias) continue;
        if (!convert(start, i)) return std::nullopt;
        out += alias;
        start = i + 1;
    }
    if (!convert(start, wide.size())) return std::nullopt;
    return out;
}

}  // namespace kivo
