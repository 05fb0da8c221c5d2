#include "core/cp932.h"

#include <iconv.h>

#include <cerrno>

namespace kivo {

namespace {

// One conversion descriptor per direction and thread, opened at its first use and kept:
// opening one costs more than converting a channel line.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // Back to the initial state, whatever a previous conversion left.
    void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

    // Converts as much as it can; returns the errno that stopped it (0 when all went).
    int run(const char*& in, std::size_t& inLeft, std::string& out) {
        while (inLeft > 0) {
            char buf[256];
            char* outPtr = buf;
            std::size_t outLeft = sizeof buf;
            std::size_t r = iconv(cd_, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
            out.append(buf, static_cast<std::size_t>(outPtr - buf));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return errno;
        }
        return 0;
    }

  private:
    iconv_t cd_;
};

Converter& toUtf8() {
    thread_local Converter conv("UTF-8", "CP932");
    conv.reset();
    return conv;
}

Converter& fromUtf8() {
    thread_local Converter conv("CP932", "UTF-8");
    conv.reset();
    return conv;
}

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

// ASCII reads the same in CP932 and UTF-8, byte for byte: most channel lines need no
// converter at all.
std::string cp932ToUtf8(std::string_view bytes) {
    if (isAscii(bytes)) return std::string(bytes);
    std::string out;
    Converter& conv = toUtf8();
    if (!conv.ok()) {
        // Without the converter only ASCII can be shown faithfully.
        for (unsigned char c : bytes)
            out += c < 0x80 ? std::string(1, static_cast<char>(c)) : kReplacement;
        return out;
    }
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        if (conv.run(in, left, out) == 0) break;
        // A byte that starts no valid character (or a character cut off at the end):
        // show it as U+FFFD and go on with the next byte.
        out += kReplacement;
        ++in;
        --left;
        conv.reset();
    }
    return out;
}

std::optional<std::string> utf8ToCp932(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    Converter& conv = fromUtf8();
    if (!conv.ok()) return std::nullopt;
    std::string out;
    const char* in = text.data();
    std::size_t left = text.size();
    if (conv.run(in, left, out) != 0) return std::nullopt;
    return out;
}

}  // namespace kivo
