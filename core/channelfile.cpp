#include "core/channelfile.h"

#include <cstring>
#include <filesystem>

#include "core/configfolder.h"

namespace kivo {

namespace fs = std::filesystem;

namespace {

// Paths are UTF-8 whatever the system's own narrow code page is.
fs::path utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

std::string channelFileFolder(const std::string& programDir, const std::string& installedBinDir) {
    std::error_code ec;
    const fs::path here = fs::weakly_canonical(utf8Path(programDir), ec);
    const bool installed = !ec && !installedBinDir.empty() &&
                           here == fs::weakly_canonical(utf8Path(installedBinDir), ec) && !ec;
    std::string folder = installed ? configFolder() : std::string();
    if (folder.empty()) folder = programDir;
    // A folder named without its final separator gets the system's own.
    if (folder.empty() || utf8Path(folder).has_filename())
        folder += static_cast<char>(fs::path::preferred_separator);
    return folder;
}

std::vector<std::string> splitFileLines(std::string_view contents) {
    std::vector<std::string> lines;
    forEachFileLine(contents, [&](std::size_t offset, std::size_t size) {
        lines.emplace_back(contents.substr(offset, size));
    });
    return lines;
}

void saveChannelFile(const std::string& path, const std::vector<std::string>& lines,
                     const std::function<void()>& beforeReplace) {
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        text += "\r\n";
    }
    saveChannelText(path, text, beforeReplace);
}

bool FileText::take(const char* bytes, std::size_t count) {
    const void* nul = toFirstNul_ ? std::memchr(bytes, '\0', count) : nullptr;
    if (nul) count = static_cast<std::size_t>(static_cast<const char*>(nul) - bytes);
    // Room for the whole file at once, but only once a piece without a NUL came: most
    // of a file may lie past one. A little more for the lines Add appends: room that is
    // never written takes no memory.
    if (!nul && text_.capacity() < fileSize_) text_.reserve(fileSize_ + fileSize_ / 8 + 4096);
    text_.append(bytes, count);
    return nul == nullptr;
}

std::string FileText::finish() {
    if (text_.capacity() > 2 * text_.size() + 65536) text_.shrink_to_fit();  // cut at a NUL
    return std::move(text_);
}

}  // namespace kivo
