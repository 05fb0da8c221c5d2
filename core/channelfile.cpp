#include "channelfile.h"

namespace kivo {

std::vector<std::string> splitFileLines(std::string_view contents) {
    std::size_t nul = contents.find('\0');
    if (nul != std::string_view::npos) contents = contents.substr(0, nul);
    std::vector<std::string> lines;
    std::size_t start = 0, i = 0;
    while (i < contents.size()) {
        char c = contents[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(contents.substr(start, i - start));
            // CR LF is one end; LF CR is two.
            i += (c == '\r' && i + 1 < contents.size() && contents[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < contents.size()) lines.emplace_back(contents.substr(start));
    return lines;
}

}  // namespace kivo
