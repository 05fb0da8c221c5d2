// A pseudo-terminal registered as a COM name in a private ports folder: the test plays
// the far end on the master, the code under test opens "COM5".
#pragma once

#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

struct PtyPort {
    testenv::TempDir dir;
    testenv::ScopedEnv ports{"KIVO_PORTS", dir.path()};
    testenv::Pty pty;
    static constexpr const char* name = "COM5";
    PtyPort() { pty.linkAs(dir.path(), name); }
};

using testenv::eventually;
using testenv::secondsSince;
