// WaitCommEvent on the POSIX backend: Windows' edge semantics on a pseudo-terminal.
#include <gtest/gtest.h>
#include <time.h>

#include <future>
#include <thread>

#include "serial/commapi.h"
#include "tests/support/posix/ptyport.h"

using namespace comm;

namespace {

struct EventPort {
    PtyPort pty;
    CommApi& api = platformCommApi();
    HANDLE h = api.CreateFileA(PtyPort::name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ~EventPort() { api.CloseHandle(h); }

    // Starts a wait on another thread; the future holds {result, mask}.
    std::future<std::pair<BOOL, DWORD>> waitAsync() {
        return std::async(std::launch::async, [this] {
            DWORD mask = 0xDEAD;
            BOOL ok = api.WaitCommEvent(h, &mask, nullptr);
            return std::make_pair(ok, mask);
        });
    }
};

constexpr auto quiet = std::chrono::milliseconds(200);
constexpr auto bound = std::chrono::seconds(5);

}  // namespace

TEST(PosixCommEvents, RxCharOncePerArrival) {
    EventPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(p.api.SetCommMask(p.h, EV_RXCHAR));

    auto w = p.waitAsync();
    EXPECT_EQ(w.wait_for(quiet), std::future_status::timeout);
    p.pty.pty.write("a");
    ASSERT_EQ(w.wait_for(bound), std::future_status::ready);
    EXPECT_EQ(w.get(), std::make_pair(BOOL(1), EV_RXCHAR));

    // The byte still waits, but it has been reported: the next wait blocks.
    w = p.waitAsync();
    EXPECT_EQ(w.wait_for(quiet), std::future_status::timeout);
    p.pty.pty.write("b");
    ASSERT_EQ(w.wait_for(bound), std::future_status::ready);
    EXPECT_EQ(w.get().second, EV_RXCHAR);

    // An arrival while nobody waits is kept for the next wait.
    p.pty.pty.write("c");
    DWORD errors = 0;
    COMSTAT stat{};
    ASSERT_TRUE(eventually([&] {
        p.api.ClearCommError(p.h, &errors, &stat);
        return stat.cbInQue == 3;
    }));
    DWORD mask = 0;
    EXPECT_TRUE(p.api.WaitCommEvent(p.h, &mask, nullptr));
    EXPECT_EQ(mask, EV_RXCHAR);
}

TEST(PosixCommEvents, MaskChangeEndsAPendingWait) {
    EventPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(p.api.SetCommMask(p.h, EV_RXCHAR | EV_CTS | EV_DSR | EV_RING | EV_RLSD));
    auto w = p.waitAsync();
    EXPECT_EQ(w.wait_for(quiet), std::future_status::timeout);
    ASSERT_TRUE(p.api.SetCommMask(p.h, 0));
    ASSERT_EQ(w.wait_for(bound), std::future_status::ready);
    EXPECT_EQ(w.get(), std::make_pair(BOOL(1), DWORD(0)));

    // A wait begun on an empty mask returns at once: a stop just before it cannot hang.
    DWORD mask = 0xDEAD;
    EXPECT_TRUE(p.api.WaitCommEvent(p.h, &mask, nullptr));
    EXPECT_EQ(mask, 0u);

    // Closing the port ends a wait too (with failure).
    ASSERT_TRUE(p.api.SetCommMask(p.h, EV_RXCHAR));
    w = p.waitAsync();
    EXPECT_EQ(w.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    ASSERT_TRUE(p.api.CloseHandle(p.h));
    ASSERT_EQ(w.wait_for(bound), std::future_status::ready);
    EXPECT_FALSE(w.get().first);
    p.h = INVALID_HANDLE_VALUE;
}

TEST(PosixCommEvents, FlagCharacterAndTransmitterEmpty) {
    EventPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    DCB dcb{};
    ASSERT_TRUE(p.api.GetCommState(p.h, &dcb));
    dcb.EvtChar = '\r';
    ASSERT_TRUE(p.api.SetCommState(p.h, &dcb));
    ASSERT_TRUE(p.api.SetCommMask(p.h, EV_RXFLAG | EV_TXEMPTY));

    // Bytes without the flag character raise nothing selected.
    p.pty.pty.write("abc");
    auto w = p.waitAsync();
    EXPECT_EQ(w.wait_for(quiet), std::future_status::timeout);
    p.pty.pty.write("d\r");
    ASSERT_EQ(w.wait_for(bound), std::future_status::ready);
    EXPECT_EQ(w.get(), std::make_pair(BOOL(1), EV_RXFLAG));

    HANDLE ev = p.api.CreateEventA(nullptr, 1, 0, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = ev;
    DWORD done = 0;
    EXPECT_TRUE(p.api.WriteFile(p.h, "out", 3, &done, &ov));
    DWORD mask = 0;
    EXPECT_TRUE(p.api.WaitCommEvent(p.h, &mask, nullptr));
    EXPECT_EQ(mask, EV_TXEMPTY);
    EXPECT_EQ(p.pty.pty.read(3, bound), "out");
    p.api.CloseHandle(ev);
}

TEST(PosixCommEvents, HangUpEndsAWait) {
    EventPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(p.api.SetCommMask(p.h, EV_RXCHAR));
    auto w = p.waitAsync();
    EXPECT_EQ(w.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    p.pty.pty.hangUp();
    ASSERT_EQ(w.wait_for(bound), std::future_status::ready);
    EXPECT_FALSE(w.get().first);
    DWORD mask = 0;
    EXPECT_FALSE(p.api.WaitCommEvent(p.h, &mask, nullptr));  // fails at once from now on
}

TEST(PosixCommEvents, AnIdlePortCostsNoCpu) {
    EventPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(p.api.SetCommMask(p.h, EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_ERR));
    auto cpu = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec + ts.tv_nsec / 1e9;
    };
    auto w = p.waitAsync();
    const double before = cpu();
    EXPECT_EQ(w.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    EXPECT_LT(cpu() - before, 0.1);  // a busy loop would burn the whole half second
    p.api.SetCommMask(p.h, 0);
    ASSERT_EQ(w.wait_for(bound), std::future_status::ready);
}
