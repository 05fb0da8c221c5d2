// The line event watcher on the real Win32 wait, delivering through the hidden window
// to the thread that runs the message loop.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "serial/rs232c.h"
#include "serial/win32/notifywindow.h"
#include "tests/support/win32/paired.h"
#include "tests/support/win32/winport.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Watched : PairedComponent {
    std::string received;
    int notices = 0;
    std::vector<std::thread::id> threads;
    // A handler that takes what has arrived.
    void readOn(TNotifyEvent& event, int atLeast = 1) {
        event = [this, atLeast](Trs232c& sender) {
            ++notices;
            threads.push_back(std::this_thread::get_id());
            const int n = sender.rxcount();
            if (n < atLeast) return;
            std::uint8_t buf[64];
            if (sender.rxdata(buf, std::min(n, 64))) received.append(buf, buf + std::min(n, 64));
        };
    }
    void settle() {
        const auto end = Clock::now() + std::chrono::milliseconds(150);
        winport::runMessagesUntil([&] { return Clock::now() > end; });
    }
};

}  // namespace

TEST(WatcherOnWin32, ArrivalsReachTheHandlerOnTheLoopsThread) {
    Watched w;
    w.readOn(w.c.OnRXCHAR);
    ASSERT_TRUE(w.c.open());
    ASSERT_NE(dynamic_cast<Win32NotifyWindow*>(&w.c.notifyWindow()), nullptr);
    for (const std::string byte : {"a", "b", "c"}) {
        const std::string before = w.received;
        w.far.write(byte);
        ASSERT_TRUE(winport::runMessagesUntil([&] { return w.received == before + byte; }));
        w.settle();
    }
    EXPECT_EQ(w.received, "abc");
    if (winport::underWine()) {
        // Windows reports EV_RXCHAR once per arrival; Wine's wait returns again as long
        // as a byte waits unread, so a notice may come again before the handler ran.
        EXPECT_GE(w.notices, 3);
    } else {
        EXPECT_EQ(w.notices, 3);
    }
    for (auto t : w.threads) EXPECT_EQ(t, std::this_thread::get_id());
    EXPECT_TRUE(w.c.close());
}

TEST(WatcherOnWin32, PacketComesAtTheThresholdOnly) {
    Watched w;
    w.c.packetsize = 4;
    w.readOn(w.c.OnPACKET, 4);
    ASSERT_TRUE(w.c.open());
    w.far.write("abc");
    w.settle();
    EXPECT_EQ(w.notices, 0);
    EXPECT_EQ(w.c.rxcount(), 3);
    w.far.write("d");
    ASSERT_TRUE(winport::runMessagesUntil([&] { return w.received == "abcd"; }));
    w.settle();
    if (winport::underWine())
        EXPECT_GE(w.notices, 1);  // again while the bytes waited (see above)
    else
        EXPECT_EQ(w.notices, 1);
    EXPECT_TRUE(w.c.close());
}

TEST(WatcherOnWin32, TransmitterEmptyFollowsAWrite) {
    Watched w;
    int empty = 0;
    w.c.OnTXEMPTY = [&](Trs232c&) { ++empty; };
    ASSERT_TRUE(w.c.open());
    ASSERT_TRUE(w.c.txdata({'h', 'i'}, 2));
    ASSERT_TRUE(winport::runMessagesUntil([&] { return empty >= 1; }));
    EXPECT_EQ(w.far.read(2, std::chrono::seconds(2)), "hi");
    EXPECT_TRUE(w.c.close());
}

TEST(WatcherOnWin32, CloseEndsAWaitingWatcherAtOnceAndNoticesStillCome) {
    Watched w;
    std::vector<bool> reads;
    w.c.OnRXCHAR = [&](Trs232c& sender) {
        std::uint8_t b = 0;
        reads.push_back(sender.rxdata(&b, 1));
    };
    ASSERT_TRUE(w.c.open());
    w.far.write("q");
    // The notice is posted, not yet run: the loop has not run.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = Clock::now();
    ASSERT_TRUE(w.c.close());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    ASSERT_TRUE(winport::runMessagesUntil([&] { return !reads.empty(); }));
    EXPECT_FALSE(reads.front());  // the port is closed by now

    // Closed right after open, the watcher may not be waiting yet, or only just.
    start = Clock::now();
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(w.c.open());
        ASSERT_TRUE(w.c.close());
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}
