#include "core/sending.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace kivo;
using Clock = std::chrono::steady_clock;

TEST(WaitLoop, ClosedPortCostsOnlyThePause) {
    Trs232c port;
    auto start = Clock::now();
    rsout(port, "dropped");
    WaitLoop(port);
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(10));
    EXPECT_LT(took, std::chrono::seconds(2));
}
