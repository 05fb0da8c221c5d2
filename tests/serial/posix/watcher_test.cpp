// The line event watcher and its notifications, on real pseudo-terminals. Handlers run
// on the test thread, which owns the components and pumps their notifications.
#include <gtest/gtest.h>
#include <time.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "serial/comthd.h"
#include "serial/rs232c.h"
#include "tests/support/posix/ptyport.h"

namespace {

using Clock = std::chrono::steady_clock;
using Calls = std::vector<std::string>;

// Records each handler call by name.
void record(TNotifyEvent& event, Calls& calls, const std::string& name) {
    event = [&calls, name](Trs232c&) { calls.push_back(name); };
}

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

struct Watched {
    PtyPort port;
    Trs232c c;
    Calls calls;
    Watched() {
        c.portname = PtyPort::name;
        c.rxtimeout = 1000;
        c.txtimeout = 1000;
    }
    // One byte, one arrival: waits until the watcher has reported it as received.
    void arrive(char byte = 'x') {
        const long before = count(calls, "RXCHAR");
        port.pty.write(std::string(1, byte));
        ASSERT_TRUE(pumpUntil(c, [&] { return count(calls, "RXCHAR") > before; }));
        pumpQuiet(c, std::chrono::milliseconds(30));
    }
};

}  // namespace

TEST(Watcher, OneRxcharNotificationPerArrival) {
    Watched w;
    record(w.c.OnRXCHAR, w.calls, "RXCHAR");
    ASSERT_TRUE(w.c.open());
    for (int i = 0; i < 3; ++i) w.arrive();
    pumpQuiet(w.c);
    EXPECT_EQ(w.calls, Calls(3, "RXCHAR"));  // not again while the bytes wait
    EXPECT_EQ(w.c.rxcount(), 3);
    // Several bytes at once are one arrival at least, and not one per byte.
    w.port.pty.write("abcdefgh");
    ASSERT_TRUE(pumpUntil(w.c, [&] { return w.c.rxcount() == 11; }));
    pumpQuiet(w.c);
    EXPECT_GE(count(w.calls, "RXCHAR"), 4);
    EXPECT_LT(count(w.calls, "RXCHAR"), 11);
}

TEST(Watcher, PacketIsALevelOfTheInputQueue) {
    {
        SCOPED_TRACE("packetsize 10");
        Watched w;
        w.c.packetsize = 10;
        record(w.c.OnPACKET, w.calls, "PACKET");
        record(w.c.OnRXCHAR, w.calls, "RXCHAR");
        ASSERT_TRUE(w.c.open());
        for (int i = 0; i < 9; ++i) w.arrive();
        EXPECT_EQ(count(w.calls, "PACKET"), 0);
        w.calls.clear();
        w.arrive();
        w.arrive();
        EXPECT_EQ(w.calls, (Calls{"PACKET", "RXCHAR", "PACKET", "RXCHAR"}));
        std::uint8_t buf[11];
        ASSERT_TRUE(w.c.rxdata(buf, 11));  // drained
        w.calls.clear();
        w.arrive();
        EXPECT_EQ(w.calls, Calls{"RXCHAR"});
    }
    {
        SCOPED_TRACE("packetsize 0: never, though the watcher runs");
        Watched w;
        w.c.packetsize = 0;
        record(w.c.OnPACKET, w.calls, "PACKET");
        ASSERT_TRUE(w.c.open());
        // Assigned after open, and still heard: it shares EV_RXCHAR with OnPACKET.
        record(w.c.OnRXCHAR, w.calls, "RXCHAR");
        w.arrive();
        w.port.pty.write(std::string(20, 'y'));
        ASSERT_TRUE(pumpUntil(w.c, [&] { return w.c.rxcount() == 21; }));
        pumpQuiet(w.c);
        EXPECT_EQ(count(w.calls, "PACKET"), 0);
        EXPECT_GE(count(w.calls, "RXCHAR"), 2);
    }
    {
        SCOPED_TRACE("negative packetsize: every arrival");
        Watched w;
        w.c.packetsize = -1;
        record(w.c.OnPACKET, w.calls, "PACKET");
        record(w.c.OnRXCHAR, w.calls, "RXCHAR");
        ASSERT_TRUE(w.c.open());
        w.arrive();
        w.arrive();
        EXPECT_EQ(w.calls, (Calls{"PACKET", "RXCHAR", "PACKET", "RXCHAR"}));
    }
}

TEST(Watcher, FlagCharacterAndTransmitterEmpty) {
    Watched w;
    w.c.EvtChar = '\r';
    record(w.c.OnRXFLAG, w.calls, "RXFLAG");
    record(w.c.OnTXEMPTY, w.calls, "TXEMPTY");
    ASSERT_TRUE(w.c.open());
    w.port.pty.write("abc");
    ASSERT_TRUE(pumpUntil(w.c, [&] { return w.c.rxcount() == 3; }));
    pumpQuiet(w.c);
    EXPECT_TRUE(w.calls.empty());
    w.port.pty.write("\r");
    ASSERT_TRUE(pumpUntil(w.c, [&] { return count(w.calls, "RXFLAG") == 1; }));

    ASSERT_TRUE(w.c.txdata({'h', 'i'}, 2));
    ASSERT_TRUE(pumpUntil(w.c, [&] { return count(w.calls, "TXEMPTY") == 1; }));
    EXPECT_EQ(w.port.pty.read(2, std::chrono::seconds(2)), "hi");
    pumpQuiet(w.c);
    EXPECT_EQ(count(w.calls, "RXFLAG"), 1);
}

TEST(Watcher, OnlyEventsWatchedAtOpenAreHeard) {
    Watched w;
    w.c.EvtChar = '\r';
    record(w.c.OnRXCHAR, w.calls, "RXCHAR");
    ASSERT_TRUE(w.c.open());
    record(w.c.OnRXFLAG, w.calls, "RXFLAG");
    record(w.c.OnCTS, w.calls, "CTS");
    w.arrive('\r');
    pumpQuiet(w.c);
    EXPECT_EQ(w.calls, Calls{"RXCHAR"});

    // Opened again, the new assignments count.
    ASSERT_TRUE(w.c.close());
    ASSERT_TRUE(w.c.open());
    w.calls.clear();
    w.arrive('\r');
    pumpQuiet(w.c);
    EXPECT_EQ(w.calls, (Calls{"RXCHAR", "RXFLAG"}));
    EXPECT_EQ(count(w.calls, "CTS"), 0);  // a pseudo-terminal has no modem lines
}

TEST(Watcher, PosteventsKeepsTheTableOrder) {
    PtyPort port;
    Trs232c c;
    c.portname = PtyPort::name;
    ASSERT_TRUE(c.open());  // no handler yet: no watcher of its own
    Calls calls;
    record(c.OnBREAK, calls, "BREAK");
    record(c.OnCTS, calls, "CTS");
    record(c.OnDSR, calls, "DSR");
    record(c.OnERR, calls, "ERR");
    record(c.OnRING, calls, "RING");
    record(c.OnRLSD, calls, "RLSD");
    record(c.OnPACKET, calls, "PACKET");
    record(c.OnRXCHAR, calls, "RXCHAR");
    record(c.OnRXFLAG, calls, "RXFLAG");
    record(c.OnTXEMPTY, calls, "TXEMPTY");
    c.packetsize = 1;
    port.pty.write("z");
    ASSERT_TRUE(pumpUntil(c, [&] { return c.rxcount() == 1; }));

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

    // Other messages go to the default processing (here: the queue's, answering 0).
    TMessage m{0x0400, 7, 9, 55};
    c.wndproc(m);
    EXPECT_EQ(m.Result, 0);
}

TEST(Watcher, CloseWhileWaitingReturnsAndLateNoticesFindThePortClosed) {
    Watched w;
    std::vector<bool> reads;
    w.c.OnRXCHAR = [&](Trs232c& sender) {
        std::uint8_t b = 0;
        reads.push_back(sender.rxdata(&b, 1));
    };
    ASSERT_TRUE(w.c.open());
    auto& queue = dynamic_cast<QueueNotifyWindow&>(w.c.notifyWindow());
    w.port.pty.write("q");
    ASSERT_TRUE(eventually([&] { return queue.queued() == 1; }));
    const auto start = Clock::now();
    ASSERT_TRUE(w.c.close());
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(w.c.pump(), 1u);
    EXPECT_EQ(reads, std::vector<bool>{false});

    // A component closed right after open (the watcher may not have waited yet).
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(w.c.open());
        ASSERT_TRUE(w.c.close());
    }
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
    w.c.OnRXCHAR = [&](Trs232c&) {
        w.calls.push_back("RXCHAR");
        if (w.calls.size() == 1) throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(w.c.open());
    w.arrive();
    w.arrive();
    setRs232cErrorHandler(nullptr);
    EXPECT_EQ(errors, std::vector<std::string>{"handler failed"});
    EXPECT_EQ(w.calls.size(), 2u);
    EXPECT_EQ(w.c.rxcount(), 2);
}

TEST(Watcher, AHungUpPortIsRetriedCalmlyAndStillCloses) {
    Watched w;
    record(w.c.OnRXCHAR, w.calls, "RXCHAR");
    ASSERT_TRUE(w.c.open());
    w.port.pty.hangUp();
    auto cpu = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec + ts.tv_nsec / 1e9;
    };
    const double before = cpu();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_LT(cpu() - before, 0.1);  // the failing wait is not retried in a hot loop
    const auto start = Clock::now();
    EXPECT_TRUE(w.c.close());
    EXPECT_LT(secondsSince(start), 2.0);
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
    record(c.OnTXEMPTY, calls, "TXEMPTY");
    c.notifyWindow().post(WM_RSTXEMPTY, 0, 0);
    std::size_t ranElsewhere = 99;
    std::thread([&] { ranElsewhere = c.pump(); }).join();
    EXPECT_EQ(ranElsewhere, 0u);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(c.pump(), 1u);
    EXPECT_EQ(calls, Calls{"TXEMPTY"});
    Trs232c plain;  // made after the factory was reset: the default queue again
    EXPECT_EQ(dynamic_cast<Answering*>(&plain.notifyWindow()), nullptr);
}

TEST(Watcher, HandlersReassignedWhileTheWatcherRuns) {
    // Another thread swaps handlers and packetsize at will while the watcher reads them at
    // each arrival and the owner runs the notifications: every notification runs a whole
    // handler (this one is meant for ThreadSanitizer as much as for the plain build).
    Watched w;
    std::atomic<int> ran{0};
    auto handler = [&](Trs232c& sender) {
        EXPECT_EQ(&sender, &w.c);
        ++ran;
    };
    w.c.OnPACKET = handler;
    w.c.packetsize = 1;
    ASSERT_TRUE(w.c.open());
    std::atomic<bool> stop{false};
    std::thread far([&] {
        while (!stop) {
            w.port.pty.write("ab");
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
        if (const int n = w.c.rxcount(); n > 0) w.c.rxdata(buf, std::min(n, 64));
    }
    stop = true;
    far.join();
    other.join();
    EXPECT_TRUE(w.c.close());
    w.c.pump();
    EXPECT_GT(ran.load(), 0);
}
