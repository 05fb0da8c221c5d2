#include "core/apptitle.h"

#include <filesystem>

namespace kivo {

namespace {

std::string& storedProgramTitle() {
    static std::string title = "KIVO";
    return title;
}

std::string& storedApplicationTitle() {
    static std::string title = "Kivo";
    return title;
}

// The bytes of the first UTF-8 character of a non-empty text.
std::size_t firstCharacterSize(std::string_view text) {
    std::size_t size = 1;
    while (size < text.size() && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) ++size;
    return size;
}

}  // namespace

std::string fileNameOf(std::string_view path) {
    std::string separators = "/";
    if (std::filesystem::path::preferred_separator != '/')
        separators += static_cast<char>(std::filesystem::path::preferred_separator);
    const std::size_t slash = path.find_last_of(separators);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string programTitleOf(std::string_view programPath) {
    std::string name = fileNameOf(programPath);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string applicationTitleOf(std::string_view programPath, const LowerCase& lowerCase) {
    std::string name = fileNameOf(programPath);
    name = name.substr(0, name.find('.'));
    if (name.empty()) return name;
    const std::size_t first = firstCharacterSize(name);
    return name.substr(0, first) + lowerCase(std::string_view(name).substr(first));
}

void setProgramTitles(std::string_view programPath, const LowerCase& lowerCase) {
    storedProgramTitle() = programTitleOf(programPath);
    storedApplicationTitle() = applicationTitleOf(programPath, lowerCase);
}

const std::string& programTitle() {
    return storedProgramTitle();
}
const std::string& applicationTitle() {
    return storedApplicationTitle();
}

}  // namespace kivo
