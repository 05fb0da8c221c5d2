// A pseudo-terminal registered as a COM name in a private ports folder: the test plays
// the far end on the master, the code under test opens "COM5".
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "tests/support/testenv.h"

struct PtyPort {
    testenv::TempDir dir;
    testenv::ScopedEnv ports{"KIVO_PORTS", dir.path()};
    testenv::Pty pty;
    static constexpr const char* name = "COM5";
    PtyPort() { pty.linkAs(dir.path(), name); }
};

// Polls `done` every few milliseconds until it holds or `limit` passes.
inline bool eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
