// Trs232c on the POSIX backend where a pseudo-terminal shows what only it can: names
// resolved through the ports folder, settings a terminal refuses, a far end hanging up,
// output that never drains.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "serial/rs232c.h"
#include "tests/support/captured_messages.h"
#include "tests/support/posix/ptyport.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

}  // namespace

TEST(ComponentOnPty, TheSameDeviceByItsPathIsTheSamePort) {
    PtyPort port;
    CapturedMessages messages;
    Trs232c a, b;
    a.portname = PtyPort::name;
    b.portname = port.pty.slavePath();
    b.debug = true;
    ASSERT_TRUE(a.open());
    EXPECT_FALSE(b.open());
    ASSERT_EQ(messages.texts, std::vector<std::string>{"回線オープンエラー"});
    ASSERT_TRUE(a.close());
    EXPECT_TRUE(b.open());
    EXPECT_FALSE(a.open());
}

TEST(ComponentOnPty, ComNamesResolveOnlyThroughThePortsFolder) {
    PtyPort port;  // KIVO_PORTS holds COM5 only
    Trs232c c;
    c.portname = "COM5";
    EXPECT_TRUE(c.open());
    c.close();
    for (const char* name : {"COM1", "COM6", "COM", "com5", "/nonexistent/tty"}) {
        c.portname = name;
        EXPECT_FALSE(c.open()) << name;
    }
    // A file that is not a terminal is no port either.
    c.portname = port.dir.file("plain");
    {
        std::FILE* f = std::fopen(c.portname.c_str(), "w");
        ASSERT_TRUE(f);
        std::fclose(f);
    }
    EXPECT_FALSE(c.open());
}

TEST(ComponentOnPty, RefusedSettingsFailOpenAndLetThePortGo) {
    PtyPort port;
    CapturedMessages messages;
    Trs232c c;
    c.portname = PtyPort::name;
    c.debug = true;
    // 7 are asked for but a pseudo-terminal keeps 8 (9 never exist: see ComponentOnALine).
    for (int bits : {7, 4}) {
        c.charbit = bits;
        EXPECT_FALSE(c.open()) << bits;
        EXPECT_FALSE(c.isOpen());
        // The refused attempt does not hold the port.
        Trs232c other;
        other.portname = PtyPort::name;
        EXPECT_TRUE(other.open()) << bits;
    }
    EXPECT_EQ(messages.texts, std::vector<std::string>(2, "通信条件設定エラー"));

    c.charbit = 8;
    c.paritymode = "偶数";  // a pseudo-terminal has no parity either
    EXPECT_FALSE(c.open());
    c.paritymode = "無し";
    c.stopbit = "1.5";  // only with 5 data bits
    EXPECT_FALSE(c.open());
    c.stopbit = "2";
    c.bps = 12345;  // not a standard rate, but a pseudo-terminal takes any
    EXPECT_TRUE(c.open());
}

TEST(ComponentOnPty, HangUpFailsEverythingPromptly) {
    // The far end goes away while a read waits, and while a write cannot drain.
    for (bool writing : {false, true}) {
        SCOPED_TRACE(writing ? "writing" : "reading");
        PtyPort port;
        Trs232c c;
        c.portname = PtyPort::name;
        c.rxtimeout = 5000;
        c.txtimeout = 5000;
        ASSERT_TRUE(c.open());
        EXPECT_FALSE(c.lineLost());
        std::thread far([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            port.pty.hangUp();
        });
        auto start = Clock::now();
        if (writing) {
            std::vector<std::uint8_t> big(1 << 20, 'x');
            EXPECT_FALSE(c.txdata(big, static_cast<int>(big.size())));
        } else {
            std::uint8_t buf[4] = {};
            EXPECT_FALSE(c.rxdata(buf, 4));
        }
        far.join();
        EXPECT_LT(secondsSince(start), 3.0);

        start = Clock::now();
        EXPECT_FALSE(c.txdata(bytes("hello"), 5));
        EXPECT_FALSE(c.txbyte('x'));
        char v = 'k';
        EXPECT_FALSE(c.rxbyte(v));
        EXPECT_EQ(v, 'k');
        EXPECT_LE(c.rxcount(), 0);
        EXPECT_LE(c.txcount(), 0);
        EXPECT_LT(secondsSince(start), 2.0);
        EXPECT_TRUE(c.lineLost());  // the owner learns why, and waits for the device
        EXPECT_TRUE(c.close());
    }
}

TEST(ComponentOnPty, AHungUpPortIsRetriedCalmlyAndStillCloses) {
    PtyPort port;
    Trs232c c;
    c.portname = PtyPort::name;
    c.OnRXCHAR = [](Trs232c&) {};  // the watcher runs
    ASSERT_TRUE(c.open());
    port.pty.hangUp();
    auto cpu = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec + ts.tv_nsec / 1e9;
    };
    const double before = cpu();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_LT(cpu() - before, 0.1);  // the watcher's failing wait is not retried in a hot loop
    const auto start = Clock::now();
    EXPECT_TRUE(c.close());
    EXPECT_LT(secondsSince(start), 2.0);
}

// An idle port hung up: the next queue count, the owner's look after the line, sees it at
// once, whether or not the backend's worker has met the hang-up yet.
TEST(ComponentOnPty, AQueueCountSeesAHangUpAtOnce) {
    for (int round = 0; round < 20; ++round) {
        PtyPort port;
        Trs232c c;
        c.portname = PtyPort::name;
        ASSERT_TRUE(c.open());
        EXPECT_EQ(c.txcount(), 0);
        EXPECT_FALSE(c.lineLost());
        port.pty.hangUp();
        c.txcount();
        EXPECT_TRUE(c.lineLost()) << round;
    }
}

TEST(ComponentOnPty, AWriteThatCannotDrainFailsWithinItsBound) {
    PtyPort port;  // the master never reads
    Trs232c c;
    c.portname = PtyPort::name;
    c.txtimeout = 300;
    ASSERT_TRUE(c.open());
    std::vector<std::uint8_t> big(1 << 20, 'x');
    auto start = Clock::now();
    EXPECT_FALSE(c.txdata(big, static_cast<int>(big.size())));
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_GE(c.txcount(), 0);
    // The next write settles the old one first and still answers within its bound.
    start = Clock::now();
    EXPECT_FALSE(c.txdata(big, static_cast<int>(big.size())));
    EXPECT_LT(secondsSince(start), 4.0);
    start = Clock::now();
    EXPECT_TRUE(c.close());
    EXPECT_LT(secondsSince(start), 2.0);
}
