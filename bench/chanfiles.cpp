#include "bench/chanfiles.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bench {

namespace {

// The sample's lines with a number in the name, CP932 as the file holds them.
void appendLine(std::string& out, std::size_t i) {
    static const char* const bands[] = {",AM,594,80,COM1", ",AM,954,100,COM1", ",FM,80.7,120,COM1",
                                        ",FM,82.5,96,COM1"};
    static const char* const names[] = {"Radio", "\x83\x6a\x83\x85\x81\x5b\x83\x58", "Music_FM",
                                        "\x83\x5c\x83\x74\x83\x67\x89\xb9\x8a\x79"};
    out += names[i % 4];
    out += std::to_string(i);
    out += bands[i % 4];
    out += "\r\n";
}

}  // namespace

std::string sampleChannelFile() {
    std::ifstream in(KIVO_SAMPLE_INI, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (!in) throw std::runtime_error("cannot read " KIVO_SAMPLE_INI);
    return all.str();
}

std::string manyChannelLines(std::size_t lines) {
    std::string out;
    for (std::size_t i = 0; i < lines; ++i) appendLine(out, i);
    return out;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::size_t writeLinesOfSize(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::size_t written = 0;
    std::string chunk;
    for (std::size_t i = 0; written < bytes; ++i) {
        appendLine(chunk, i);
        if (chunk.size() >= 1 << 20) {
            out << chunk;
            written += chunk.size();
            chunk.clear();
        }
    }
    out << chunk;
    written += chunk.size();
    if (!out) throw std::runtime_error("cannot write " + path);
    return written;
}

}  // namespace bench
