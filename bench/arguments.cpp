#include "bench/arguments.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace bench {

std::optional<int> rounds(int argc, char** argv, int programs, const char* usage, int fallback) {
    if (argc < programs + 1) {
        std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
        return std::nullopt;
    }
    return argc > programs + 1 ? std::max(1, std::atoi(argv[programs + 1])) : fallback;
}

}  // namespace bench
