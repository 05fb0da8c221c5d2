// The channel file: CP932 text, one channel line per line.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// Cuts file contents into lines: CR LF, lone CR and lone LF end a line (LF CR is two
// ends), the last line counts without an end, a final end adds no empty line, a NUL
// byte ends the text.
std::vector<std::string> splitFileLines(std::string_view contents);

// Reads the file; FileOpenError when it cannot be opened or read.
std::vector<std::string> loadChannelFile(const std::string& path);

// Writes every line followed by CR LF. The lines go to a temporary file beside the
// target, which is flushed to disk and then renamed over it, so the old file stays
// whole on any failure (FileCreateError) or crash. `beforeReplace` runs after the
// temporary file is complete and before the rename (tests stop there).
void saveChannelFile(const std::string& path, const std::vector<std::string>& lines,
                     const std::function<void()>& beforeReplace = {});

}  // namespace kivo
