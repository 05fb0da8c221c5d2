// The line event watcher and its notifications on a serial line whose far end the test
// plays. Handlers run on the test thread, which owns the components and pumps their
// notifications (the platform's own notification window). Wine's wait reports EV_RXCHAR
// again as long as a byte waits unread (Windows: once per arrival), so handlers here take
// what came unless a test is about bytes left waiting, which it checks where the driver
// reports an arrival once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/comthd.h"
#include "tests/serial/online.h"
#include "tests/support/testenv.h"

using testenv::underWine;

namespace {

using Clock = std::chrono::steady_clock;
using Calls = std::vector<std::string>;

// Pumps until `done` holds (bounded).
bool pumpUntil(Trs232c& c, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        c.pump(std::chrono::milliseconds(20));
    }
    return true;
}

// Pumps until nothing has come for `quiet`.
void pumpQuiet(Trs232c& c, std::chrono::milliseconds quiet = std::chrono::milliseconds(150)) {
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (c.pump(quiet) > 0 && Clock::now() < end) {
    }
}

long count(const Calls& calls, const std::string& name) {
    return std::count(calls.begin(), calls.end(), name);
}

struct Watched : OnLine {
    Calls calls;
    std::string received;
    std::vector<std::thread::id> threads;

    // Records each call by name; once `takeFrom` bytes wait (0: never), takes them all.
    void record(TNotifyEvent& event, const std::string& name, int takeFrom = 1) {
        event = [this, name, takeFrom](Trs232c& sender) {
            calls.push_back(name);
            threads.push_back(std::this_thread::get_id());
            if (takeFrom > 0 && sender.rxcount() >= takeFrom) take(sender);
        };
    }
    void take(Trs232c& sender) {
        const int n = sender.rxcount();
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::max(n, 0)));
        if (n > 0 && sender.rxdata(buf.data(), n)) received.append(buf.begin(), buf.end());
    }
    // `bytes` arrive; waits until the handler `name` has run once more.
    void arrive(const std::string& bytes, const std::string& name) {
        const long before = count(calls, name);
        line.write(bytes);
        ASSERT_TRUE(pumpUntil(c, [&] { return count(calls, name) > before; }));
        pumpQuiet(c, std::chrono::milliseconds(30));
    }
};

// The handler's runs: exactly `n` where an arrival is reported once, at least `n` under Wine.
void expectRuns(const Calls& calls, const std::string& name, long n) {
    if (underWine())
        EXPECT_GE(count(calls, name), n);
    else
        EXPECT_EQ(count(calls, name), n);
}

}  // namespace

TEST(Watcher, EachArrivalReachesTheHandlerOnceOnItsOwnersThread) {
    Watched w;
    w.record(w.c.OnRXCHAR, "RXCHAR");
    ASSERT_TRUE(w.c.open());
    for (const std::string byte : {"a", "b", "c"}) w.arrive(byte, "RXCHAR");
    pumpQuiet(w.c);
    EXPECT_EQ(w.received, "abc");
    expectRuns(w.calls, "RXCHAR", 3);
    for (auto t : w.threads) EXPECT_EQ(t, std::this_thread::get_id());

    // Several bytes at once are one arrival at least, and not one per byte.
    w.line.write("abcdefgh");
    ASSERT_TRUE(pumpUntil(w.c, [&] { return w.received.size() == 11; }));
    pumpQuiet(w.c);
    EXPECT_GE(count(w.calls, "RXCHAR"), 4);
    if (!underWine()) {
        EXPECT_LT(count(w.calls, "RXCHAR"), 11);
    }

    // Bytes left waiting are not reported again.
    if (underWine()) return;
    w.record(w.c.OnRXCHAR, "UNREAD", 0);
    for (int i = 0; i < 3; ++i) w.arrive("x", "UNREAD");
    pumpQuiet(w.c);
    EXPECT_EQ(count(w.calls, "UNREAD"), 3);
    EXPECT_EQ(w.c.rxcount(), 3);
}

TEST(Watcher, PacketIsALevelOfTheInputQueue) {
    {
        SCOPED_TRACE("packetsize 4, taken at the level");
        Watched w;
        w.c.packetsize = 4;
        w.record(w.c.OnPACKET, "PACKET", 4);
        ASSERT_TRUE(w.c.open());
        w.line.write("abc");
        ASSERT_TRUE(testenv::eventually([&] { return w.c.rxcount() == 3; }));
        pumpQuiet(w.c);
        EXPECT_TRUE(w.calls.empty());
        w.line.write("d");
        ASSERT_TRUE(pumpUntil(w.c, [&] { return w.received == "abcd"; }));
        pumpQuiet(w.c);
        expectRuns(w.calls, "PACKET", 1);
    }
    {
        SCOPED_TRACE("packetsize 0: never, though the watcher runs");
        Watched w;
        w.c.packetsize = 0;
        w.record(w.c.OnPACKET, "PACKET", 0);
        ASSERT_TRUE(w.c.open());
        // Assigned after open, and still heard: it shares EV_RXCHAR with OnPACKET.
        w.record(w.c.OnRXCHAR, "RXCHAR");
        w.arrive("x", "RXCHAR");
        w.line.write(std::string(20, 'y'));
        ASSERT_TRUE(pumpUntil(w.c, [&] { return w.received.size() == 21; }));
        pumpQuiet(w.c);
        EXPECT_EQ(count(w.calls, "PACKET"), 0);
        EXPECT_GE(count(w.calls, "RXCHAR"), 2);
    }
    {
        SCOPED_TRACE("negative packetsize: every arrival, the packet first");
        Watched w;
        w.c.packetsize = -1;
        w.record(w.c.OnPACKET, "PACKET", 0);
        w.record(w.c.OnRXCHAR, "RXCHAR");
        ASSERT_TRUE(w.c.open());
        w.arrive("x", "RXCHAR");
        w.arrive("x", "RXCHAR");
        for (std::size_t i = 0; i < w.calls.size(); ++i)
            EXPECT_EQ(w.calls[i], i % 2 ? "RXCHAR" : "PACKET") << i;
        expectRuns(w.calls, "PACKET", 2);
    }
    if (underWine()) return;  // what follows leaves bytes waiting
    {
        SCOPED_TRACE("packetsize 10: while 10 wait, every arrival");
        Watched w;
        w.c.packetsize = 10;
        w.record(w.c.OnPACKET, "PACKET", 0);
        w.record(w.c.OnRXCHAR, "RXCHAR", 0);
        ASSERT_TRUE(w.c.open());
        for (int i = 0; i < 9; ++i) w.arrive("x", "RXCHAR");
        EXPECT_EQ(count(w.calls, "PACKET"), 0);
        w.calls.clear();
        w.arrive("x", "RXCHAR");
        w.arrive("x", "RXCHAR");
        EXPECT_EQ(w.calls, (Calls{"PACKET", "RXCHAR", "PACKET", "RXCHAR"}));
        std::uint8_t buf[11];
        ASSERT_TRUE(w.c.rxdata(buf, 11));  // drained
        w.calls.clear();
        w.arrive("x", "RXCHAR");
        EXPECT_EQ(w.calls, Calls{"RXCHAR"});
    }
}

TEST(Watcher, FlagCharacterAndTransmitterEmpty) {
    Watched w;
    w.c.EvtChar = '\r';
    w.record(w.c.OnRXFLAG, "RXFLAG", 0);
    w.record(w.c.OnTXEMPTY, "TXEMPTY", 0);
    ASSERT_TRUE(w.c.open());
    w.line.write("abc");
    ASSERT_TRUE(testenv::eventually([&] { return w.c.rxcount() == 3; }));
    pumpQuiet(w.c);
    EXPECT_TRUE(w.calls.empty());
    w.line.write("\r");
    if (underWine()) {
        // Windows reports the event character; Wine's driver has none.
        ASSERT_TRUE(testenv::eventually([&] { return w.c.rxcount() == 4; }));
        pumpQuiet(w.c);
        EXPECT_EQ(count(w.calls, "RXFLAG"), 0);
    } else {
        ASSERT_TRUE(pumpUntil(w.c, [&] { return count(w.calls, "RXFLAG") == 1; }));
    }

    ASSERT_TRUE(w.c.txdata({'h', 'i'}, 2));
    ASSERT_TRUE(pumpUntil(w.c, [&] { return count(w.calls, "TXEMPTY") >= 1; }));
    EXPECT_EQ(w.line.read(2, std::chrono::seconds(2)), "hi");
    pumpQuiet(w.c);
    EXPECT_EQ(count(w.calls, "RXFLAG"), underWine() ? 0 : 1);
}

TEST(Watcher, OnlyEventsWatchedAtOpenAreHeard) {
    Watched w;
    w.c.EvtChar = '\r';
    w.record(w.c.OnRXCHAR, "RXCHAR");
    ASSERT_TRUE(w.c.open());
    w.record(w.c.OnRXFLAG, "RXFLAG");
    w.record(w.c.OnCTS, "CTS");
    w.arrive("\r", "RXCHAR");
    pumpQuiet(w.c);
    expectRuns(w.calls, "RXCHAR", 1);
    EXPECT_EQ(count(w.calls, "RXFLAG"), 0);

    // Opened again, the new assignments count (Wine has no event character).
    ASSERT_TRUE(w.c.close());
    ASSERT_TRUE(w.c.open());
    w.calls.clear();
    w.arrive("\r", "RXCHAR");
    pumpQuiet(w.c);
    expectRuns(w.calls, "RXCHAR", 1);
    EXPECT_EQ(count(w.calls, "RXFLAG"), underWine() ? 0 : 1);
    EXPECT_EQ(count(w.calls, "CTS"), 0);  // the line's modem lines do not change
}

TEST(Watcher, PosteventsKeepsTheTableOrder) {
    OnLine p;
    Trs232c& c = p.c;
    ASSERT_TRUE(c.open());  // no handler yet: no watcher of its own
    Calls calls;
    auto record = [&calls](TNotifyEvent& event, const std::string& name) {
        event = [&calls, name](Trs232c&) { calls.push_back(name); };
    };
    record(c.OnBREAK, "BREAK");
    record(c.OnCTS, "CTS");
    record(c.OnDSR, "DSR");
    record(c.OnERR, "ERR");
    record(c.OnRING, "RING");
    record(c.OnRLSD, "RLSD");
    record(c.OnPACKET, "PACKET");
    record(c.OnRXCHAR, "RXCHAR");
    record(c.OnRXFLAG, "RXFLAG");
    record(c.OnTXEMPTY, "TXEMPTY");
    c.packetsize = 1;
    p.line.write("z");
    ASSERT_TRUE(testenv::eventually([&] { return c.rxcount() == 1; }));

    tcommthread t(true);  // never started: postevents is driven by hand
    t.owner = &c;
    t.hcomm = c.handle();
    using namespace comm;
    t.events = EV_TXEMPTY | EV_RXFLAG | EV_RXCHAR | EV_RLSD | EV_RING | EV_ERR | EV_DSR | EV_CTS |
               EV_BREAK;
    t.postevents(c);
    EXPECT_EQ(c.pump(), 10u);
    EXPECT_EQ(calls, (Calls{"BREAK", "CTS", "DSR", "ERR", "RING", "RLSD", "PACKET", "RXCHAR",
                            "RXFLAG", "TXEMPTY"}));

    // Only the bits returned, only handlers assigned; a handler removed after the
    // notice was posted is simply not run.
    calls.clear();
    c.OnRXFLAG = nullptr;
    t.events = EV_TXEMPTY | EV_RXFLAG | EV_BREAK;
    t.postevents(c);
    c.OnBREAK = nullptr;
    EXPECT_EQ(c.pump(), 2u);  // BREAK and TXEMPTY delivered
    EXPECT_EQ(calls, Calls{"TXEMPTY"});

    // Other messages go to the default processing, which answers 0 here.
    TMessage m{0x0400, 7, 9, 55};
    c.wndproc(m);
    EXPECT_EQ(m.Result, 0);
}

TEST(Watcher, CloseWhileWaitingReturnsAndLateNoticesFindThePortClosed) {
    // A queue whose contents the test can see, on every platform.
    QueueNotifyWindow* queue = nullptr;
    setNotifyWindowFactory([&queue](NotifyWindow::Procedure p) {
        auto window = std::make_unique<QueueNotifyWindow>(std::move(p));
        queue = window.get();
        return window;
    });
    OnLine p;
    setNotifyWindowFactory(nullptr);
    ASSERT_NE(queue, nullptr);
    std::vector<bool> reads;
    p.c.OnRXCHAR = [&](Trs232c& sender) {
        std::uint8_t b = 0;
        reads.push_back(sender.rxdata(&b, 1));
    };
    ASSERT_TRUE(p.c.open());
    p.line.write("q");
    ASSERT_TRUE(testenv::eventually([&] { return queue->queued() >= 1; }));
    auto start = Clock::now();
    ASSERT_TRUE(p.c.close());
    EXPECT_LT(testenv::secondsSince(start), 2.0);
    EXPECT_GE(p.c.pump(), 1u);
    ASSERT_FALSE(reads.empty());
    EXPECT_FALSE(reads.front());  // the port is closed by now
    if (!underWine()) {
        EXPECT_EQ(reads.size(), 1u);
    }

    // Closed right after open, the watcher may not be waiting yet, or only just.
    start = Clock::now();
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(p.c.open());
        ASSERT_TRUE(p.c.close());
    }
    EXPECT_LT(testenv::secondsSince(start), 10.0);
}

TEST(Watcher, HandlerErrorsReachTheCentralHandlerAndTheWatcherGoesOn) {
    Watched w;
    std::vector<std::string> errors;
    setRs232cErrorHandler([&](Trs232c& sender, std::exception_ptr e) {
        EXPECT_EQ(&sender, &w.c);
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            errors.push_back(ex.what());
        }
    });
    w.c.OnRXCHAR = [&](Trs232c& sender) {
        w.calls.push_back("RXCHAR");
        if (w.calls.size() == 1) throw std::runtime_error("handler failed");
        w.take(sender);
    };
    ASSERT_TRUE(w.c.open());
    w.arrive("x", "RXCHAR");
    w.arrive("y", "RXCHAR");
    setRs232cErrorHandler(nullptr);
    EXPECT_EQ(errors, std::vector<std::string>{"handler failed"});
    expectRuns(w.calls, "RXCHAR", 2);
    EXPECT_EQ(w.received, "xy");  // the first byte waited for the next run
}

TEST(NotifyWindow, FactoryIsReplaceableAndPumpRunsOnTheOwnerOnly) {
    struct Answering : QueueNotifyWindow {
        using QueueNotifyWindow::QueueNotifyWindow;
        std::intptr_t defaultProcedure(TMessage& m) override {
            return static_cast<std::intptr_t>(m.WParam) * 100 + m.LParam;
        }
    };
    setNotifyWindowFactory(
        [](NotifyWindow::Procedure p) { return std::make_unique<Answering>(std::move(p)); });
    Trs232c c;
    setNotifyWindowFactory(nullptr);
    TMessage m{0x0400, 7, 9, 0};
    c.wndproc(m);
    EXPECT_EQ(m.Result, 709);

    Calls calls;
    c.OnTXEMPTY = [&calls](Trs232c&) { calls.push_back("TXEMPTY"); };
    c.notifyWindow().post(WM_RSTXEMPTY, 0, 0);
    std::size_t ranElsewhere = 99;
    std::thread([&] { ranElsewhere = c.pump(); }).join();
    EXPECT_EQ(ranElsewhere, 0u);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(c.pump(), 1u);
    EXPECT_EQ(calls, Calls{"TXEMPTY"});
    Trs232c plain;  // made after the factory was reset: the platform's default again
    EXPECT_EQ(dynamic_cast<Answering*>(&plain.notifyWindow()), nullptr);
}

TEST(Watcher, HandlersReassignedWhileTheWatcherRuns) {
    // Another thread swaps handlers and packetsize at will while the watcher reads them at
    // each arrival and the owner runs the notifications: every notification runs a whole
    // handler (this one is meant for ThreadSanitizer as much as for the plain build).
    OnLine w;
    std::atomic<int> ran{0};
    auto handler = [&](Trs232c& sender) {
        EXPECT_EQ(&sender, &w.c);
        ++ran;
    };
    w.c.OnPACKET = handler;
    w.c.packetsize = 1;
    ASSERT_TRUE(w.c.open());
    std::atomic<bool> stop{false};
    // The far end keeps a few hundred bytes at most on the way: a writer faster than the
    // reader would fill the line until its writes block.
    std::atomic<int> sent{0}, taken{0};
    std::thread far([&] {
        while (!stop) {
            if (sent - taken < 256) {
                w.line.write("ab");
                sent += 2;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    std::thread other([&] {
        for (int i = 0; !stop; ++i) {
            if (i % 2)
                w.c.OnRXCHAR = handler;
            else
                w.c.OnRXCHAR = nullptr;
            w.c.OnPACKET = handler;
            w.c.packetsize = i % 3;
        }
    });
    const auto end = Clock::now() + std::chrono::milliseconds(400);
    while (Clock::now() < end) {
        w.c.pump(std::chrono::milliseconds(1));
        std::uint8_t buf[64];
        if (const int n = std::min(w.c.rxcount(), 64); n > 0 && w.c.rxdata(buf, n)) taken += n;
    }
    stop = true;
    far.join();
    other.join();
    EXPECT_TRUE(w.c.close());
    w.c.pump();
    EXPECT_GT(ran.load(), 0);
}
