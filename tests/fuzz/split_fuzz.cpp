// Split against a step-by-step transcription of the rules: blanks (0x01..0x20) skipped,
// quoted items with doubled quotes, an unclosed quote taking the rest less its last byte,
// a comma at the very end giving one more empty item. The text ends at a NUL byte, as a
// C string does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/channels.h"

namespace {

std::vector<std::string> reference(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    auto blank = [&](std::size_t i) {
        return i < text.size() && static_cast<unsigned char>(text[i]) <= 0x20;
    };
    std::vector<std::string> items;
    std::size_t i = 0;
    while (blank(i)) ++i;      // step 1
    while (i < text.size()) {  // step 2
        std::string item;
        if (text[i] == '"') {  // step 3, quoted
            const std::size_t open = i++;
            for (;;) {
                if (i == text.size()) {
                    std::string_view rest = text.substr(open + 1);
                    if (!rest.empty()) rest.remove_suffix(1);
                    items.emplace_back(rest);
                    return items;
                }
                if (text[i] != '"') {
                    item += text[i++];
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    item += '"';
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
        } else {  // step 3, plain
            while (i < text.size() && text[i] != ',' && !blank(i)) item += text[i++];
        }
        items.push_back(item);  // step 4
        while (blank(i)) ++i;   // step 5
        if (i < text.size() && text[i] == ',') {
            if (i + 1 == text.size()) items.emplace_back();
            ++i;
            while (blank(i)) ++i;
        }
    }
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (kivo::Split(text) != reference(text)) std::abort();
    return 0;
}
