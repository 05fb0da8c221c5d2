// A benchmark's command line: the programs it times, then an optional count of rounds.
#pragma once

#include <optional>

namespace bench {

// The rounds asked for (at least 1), `fallback` when none are; nothing, after printing
// "usage: PROGRAM `usage`", when fewer than `programs` programs are named.
std::optional<int> rounds(int argc, char** argv, int programs, const char* usage, int fallback);

}  // namespace bench
