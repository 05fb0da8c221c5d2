// Paced sending on a pseudo-terminal whose far end never reads.
#include "core/sending.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

using namespace kivo;
using Clock = std::chrono::steady_clock;

TEST(WaitLoop, GivesUpOnOutputThatNeverDrains) {
    testenv::TempDir dir;
    std::string ports = dir.file("ports");
    testenv::ScopedEnv env("KIVO_PORTS", ports);
    testenv::Pty pty;  // its far end never reads
    pty.linkAs(ports, "COM2");
    Trs232c port;
    port.portname = "COM2";
    ASSERT_TRUE(port.open());  // the driver keeps a write for the default 30 s
    port.txtimeout = 300;      // while each wait gives up sooner
    // More than the terminal holds: the write's wait gives up and leaves bytes queued.
    std::vector<std::uint8_t> block(1 << 20, 'x');
    port.txdata(block, static_cast<int>(block.size()));
    ASSERT_GT(port.txcount(), 0);

    auto start = Clock::now();
    WaitLoop(port);
    auto took = Clock::now() - start;
    EXPECT_GT(port.txcount(), 0);  // still stuck, and yet we went on
    EXPECT_LT(took, std::chrono::seconds(10));
    port.close();
}
