// The channel file: any bytes on disk load as the lines a reference cutter finds (CR LF,
// lone CR and lone LF end a line, LF CR is two ends, the last line counts without an
// end, a final end adds no empty line, a NUL ends the text), and saving those lines then
// loading the file again gives the same lines.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/channelfile.h"
#include "core/channels.h"

namespace {

std::vector<std::string> reference(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;  // a line has begun and not ended
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
        const char c = bytes[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open) lines.push_back(line);
    return lines;
}

// One private folder for the whole run, in memory where the system offers it.
struct Folder {
    Folder() {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        path = (base / "kivo-fuzz-XXXXXX").string();
        if (!mkdtemp(path.data())) std::abort();
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string path;
};

const std::string& folder() {
    static const Folder made;
    return made.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> want = reference(bytes);
    if (kivo::splitFileLines(bytes) != want) std::abort();

    const std::string file = folder() + "/KIVO.ini";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    kivo::ChannelList list;
    list.load(file);
    if (list.lines() != want) std::abort();
    list.save(file);
    kivo::ChannelList again;
    again.load(file);
    if (again.lines() != want) std::abort();
    return 0;
}
