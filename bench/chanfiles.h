// Channel files for the benchmarks: the sample's four lines, or as many lines in their
// manner (numbered names, Japanese ones among them) as asked for.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

// The sample channel file's bytes.
std::string sampleChannelFile();

// `lines` channel lines, CR LF ended.
std::string manyChannelLines(std::size_t lines);

// Writes `bytes` to `path`; throws on failure.
void writeFile(const std::string& path, const std::string& bytes);

// Writes lines to `path` until it holds at least `bytes` bytes; returns its size.
std::size_t writeLinesOfSize(const std::string& path, std::size_t bytes);

}  // namespace bench
