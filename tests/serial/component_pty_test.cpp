// Trs232c on the POSIX backend against real pseudo-terminals.
#include <dirent.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/rs232c.h"
#include "tests/serial/ptyport.h"
#include "tests/support/captured_messages.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

}  // namespace

TEST(ComponentOnPty, BytesBothWaysAndTheCounts) {
    PtyPort port;
    Trs232c c;
    c.portname = PtyPort::name;
    c.rxtimeout = 2000;
    c.txtimeout = 2000;
    ASSERT_TRUE(c.open());

    EXPECT_TRUE(c.txdata(bytes("K0594A\r\n"), 8));
    EXPECT_TRUE(c.txbyte('Z'));
    EXPECT_EQ(port.pty.read(9, std::chrono::seconds(2)), "K0594A\r\nZ");
    EXPECT_TRUE(eventually([&] { return c.txcount() == 0; }));

    port.pty.write(std::string("OK\r\n\xff", 5));
    ASSERT_TRUE(eventually([&] { return c.rxcount() == 5; }));
    char first = 0;
    EXPECT_TRUE(c.rxbyte(first));
    EXPECT_EQ(first, 'O');
    std::uint8_t rest[4] = {};
    EXPECT_TRUE(c.rxdata(rest, 4));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rest), 4), std::string("K\r\n\xff", 4));
    EXPECT_EQ(c.rxcount(), 0);

    // Counts the arrays cannot hold are refused, and nothing goes out.
    EXPECT_FALSE(c.txdata(bytes("ab"), 3));
    EXPECT_FALSE(c.txdata(bytes("ab"), -1));
    port.pty.write("r");
    ASSERT_TRUE(eventually([&] { return c.rxcount() == 1; }));
    EXPECT_FALSE(c.rxdata(rest, -1));
    EXPECT_EQ(c.rxcount(), 1);
    EXPECT_TRUE(c.rxdata(rest, 1));
    EXPECT_EQ(port.pty.drain(std::chrono::milliseconds(50)), "");

    // A read that waits for its bytes completes when they come.
    std::thread far([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.pty.write("abc");
    });
    std::uint8_t three[3] = {};
    EXPECT_TRUE(c.rxdata(three, 3));
    far.join();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(three), 3), "abc");
    EXPECT_TRUE(c.close());
}

TEST(ComponentOnPty, AShortReadFailsButKeepsWhatItRead) {
    // The wait bound is read at each call, the driver's time-out at open: so either one
    // can be made to end the read first.
    struct Case {
        const char* what;
        int atOpen, atRead;
    };
    for (const Case& k : {Case{"the driver ends it short", 200, 5000},
                          Case{"the wait gives up first", 5000, 200}}) {
        SCOPED_TRACE(k.what);
        PtyPort port;
        Trs232c c;
        c.portname = PtyPort::name;
        c.rxtimeout = k.atOpen;
        ASSERT_TRUE(c.open());
        c.rxtimeout = k.atRead;
        port.pty.write("xy");
        ASSERT_TRUE(eventually([&] { return c.rxcount() == 2; }));
        std::uint8_t buf[4] = {'-', '-', '-', '-'};
        auto start = Clock::now();
        EXPECT_FALSE(c.rxdata(buf, 4));
        EXPECT_LT(secondsSince(start), 3.0);
        EXPECT_EQ(std::string(buf, buf + 4), "xy--");
        EXPECT_EQ(c.rxcount(), 0);

        // Nothing at all: false, the variable kept. The next read works on fresh bytes.
        char v = 'q';
        c.rxtimeout = 100;
        EXPECT_FALSE(c.rxbyte(v));
        EXPECT_EQ(v, 'q');
        port.pty.write("z");
        c.rxtimeout = 2000;
        EXPECT_TRUE(c.rxbyte(v));
        EXPECT_EQ(v, 'z');
    }
}

TEST(ComponentOnPty, EveryOperationOnAClosedComponentFails) {
    PtyPort port;
    Trs232c c;
    c.portname = PtyPort::name;
    auto check = [&] {
        std::uint8_t buf[2] = {};
        char v = 'k';
        EXPECT_FALSE(c.rxdata(buf, 2));
        EXPECT_FALSE(c.txdata(bytes("ab"), 2));
        EXPECT_FALSE(c.rxbyte(v));
        EXPECT_EQ(v, 'k');
        EXPECT_FALSE(c.txbyte('a'));
        EXPECT_EQ(c.rxcount(), -1);
        EXPECT_EQ(c.txcount(), -1);
        EXPECT_FALSE(c.close());
    };
    check();  // never opened
    ASSERT_TRUE(c.open());
    EXPECT_FALSE(c.open());  // already open
    ASSERT_TRUE(c.close());
    check();  // closed again
    EXPECT_EQ(port.pty.drain(std::chrono::milliseconds(50)), "");
}

TEST(ComponentOnPty, OpenIsExclusiveUntilClosed) {
    PtyPort port;
    CapturedMessages messages;
    Trs232c a, b;
    a.portname = PtyPort::name;
    b.portname = port.pty.slavePath();  // the same device by its path
    b.debug = true;
    ASSERT_TRUE(a.open());
    EXPECT_FALSE(b.open());
    ASSERT_EQ(messages.texts, std::vector<std::string>{"回線オープンエラー"});
    ASSERT_TRUE(a.close());
    EXPECT_TRUE(b.open());
    EXPECT_FALSE(a.open());
    b.close();
    EXPECT_TRUE(a.open());
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
    // 9 data bits never exist; 7 are asked for but a pseudo-terminal keeps 8.
    for (int bits : {9, 7, 4}) {
        c.charbit = bits;
        EXPECT_FALSE(c.open()) << bits;
        EXPECT_FALSE(c.isOpen());
        // The refused attempt does not hold the port.
        Trs232c other;
        other.portname = PtyPort::name;
        EXPECT_TRUE(other.open()) << bits;
    }
    EXPECT_EQ(messages.texts, std::vector<std::string>(3, "通信条件設定エラー"));

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

namespace {

int entriesOf(const char* folder) {
    int n = 0;
    if (DIR* d = opendir(folder)) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

TEST(ComponentOnPty, RepeatedOpenCloseCyclesLeaveNothingBehind) {
    // Many openings, some with a watcher, some leaving a read or a write pending in the
    // driver, some refused: afterwards no fd and no thread is left, and each close is quick.
    PtyPort port;
    Trs232c c;
    c.portname = PtyPort::name;
    c.OnRXCHAR = [](Trs232c&) {};  // one warm-up opening with every kind of thread
    ASSERT_TRUE(c.open());
    ASSERT_TRUE(c.close());
    c.pump();
    const int fds = entriesOf("/proc/self/fd");
    const int threads = entriesOf("/proc/self/task");

    double slowestClose = 0;
    for (int i = 0; i < 200; ++i) {
        if (i % 2)
            c.OnRXCHAR = [](Trs232c&) {};
        else
            c.OnRXCHAR = nullptr;
        c.rxtimeout = i % 3 == 0 ? 0 : 1000;  // 0: the wait gives up, the read stays pending
        c.txtimeout = 1000;
        ASSERT_TRUE(c.open()) << i;
        if (i % 3 == 0) {
            std::uint8_t buf[4];
            EXPECT_FALSE(c.rxdata(buf, 4));
            EXPECT_TRUE(c.txbyte('w'));
        }
        if (i % 10 == 0) port.pty.write("in");
        const auto start = Clock::now();
        ASSERT_TRUE(c.close()) << i;
        slowestClose = std::max(slowestClose, secondsSince(start));
        c.pump();
    }
    EXPECT_LT(slowestClose, 1.0);

    // Refused openings: held by another component, or settings the port does not take.
    Trs232c holder;
    holder.portname = PtyPort::name;
    ASSERT_TRUE(holder.open());
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(c.open());
    ASSERT_TRUE(holder.close());
    c.charbit = 9;
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(c.open());

    port.pty.drain(std::chrono::milliseconds(20));
    EXPECT_EQ(entriesOf("/proc/self/fd"), fds);
    EXPECT_EQ(entriesOf("/proc/self/task"), threads);
}
