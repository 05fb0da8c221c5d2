// The POSIX backend through the CommApi calls, where the Win32 meaning is the point:
// handles, events, overlapped completion, time-outs, purging, settings read back.
#include "serial/commapi.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/posix/ptyport.h"

using namespace comm;

namespace {

using Clock = std::chrono::steady_clock;
constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

struct OpenPort {
    PtyPort pty;
    CommApi& api = platformCommApi();
    HANDLE h = api.CreateFileA(PtyPort::name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE ev = api.CreateEventA(nullptr, 1, 0, nullptr);
    OVERLAPPED ov{};
    OpenPort() { ov.hEvent = ev; }
    ~OpenPort() {
        if (h != INVALID_HANDLE_VALUE) api.CloseHandle(h);
        api.CloseHandle(ev);
    }
    void timeouts(DWORD interval, DWORD mult, DWORD constant) {
        COMMTIMEOUTS t{interval, mult, constant, 0, 0};
        ASSERT_TRUE(api.SetCommTimeouts(h, &t));
    }
};

}  // namespace

TEST(PosixCommApi, HandlesAreCheckedNotTrusted) {
    CommApi& api = platformCommApi();
    const HANDLE bogus[] = {nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x1234),
                            reinterpret_cast<HANDLE>(&api)};
    for (HANDLE h : bogus) {
        DCB dcb{};
        DWORD mask = 0;
        EXPECT_FALSE(api.GetCommState(h, &dcb));
        EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(api.PurgeComm(h, PURGE_RXABORT));
        EXPECT_FALSE(api.WaitCommEvent(h, &mask, nullptr));
        EXPECT_FALSE(api.SetEvent(h));
        EXPECT_EQ(api.WaitForSingleObject(h, 10), WAIT_FAILED);
        EXPECT_FALSE(api.CloseHandle(h));
        EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
    }

    OpenPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    // An event is not a port, a port is not an event.
    EXPECT_FALSE(api.SetupComm(p.ev, 1024, 1024));
    EXPECT_FALSE(api.SetEvent(p.h));
    // A closed handle is stale for good.
    HANDLE old = p.h;
    EXPECT_TRUE(api.CloseHandle(old));
    p.h = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(api.SetupComm(old, 1024, 1024));
    EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(api.CloseHandle(old));
}

TEST(PosixCommApi, OpenFailuresSayWhy) {
    PtyPort pty;
    CommApi& api = platformCommApi();
    auto open = [&](const std::string& name) {
        return api.CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    };
    EXPECT_EQ(open("COM9"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api.GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE first = open(PtyPort::name);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(pty.pty.slavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api.GetLastError(), ERROR_ACCESS_DENIED);
    // Another process is refused as well (root included: the lock, not the tty mode).
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE h = open(PtyPort::name);
        _exit(h == INVALID_HANDLE_VALUE && api.GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(api.CloseHandle(first));
}

TEST(PosixCommApi, EventsWaitBoundedAndWakeAcrossThreads) {
    CommApi& api = platformCommApi();
    HANDLE e = api.CreateEventA(nullptr, 1, 0, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(api.WaitForSingleObject(e, 50), WAIT_TIMEOUT);
    EXPECT_GE(secondsSince(start), 0.04);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        api.SetEvent(e);
    });
    EXPECT_EQ(api.WaitForSingleObject(e, 5000), WAIT_OBJECT_0);
    t.join();
    EXPECT_EQ(api.WaitForSingleObject(e, 0), WAIT_OBJECT_0);  // manual reset: stays set
    EXPECT_TRUE(api.ResetEvent(e));
    EXPECT_EQ(api.WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(api.CloseHandle(e));

    // Auto-reset events played back and forth: a set that a sleeping waiter misses
    // shows as a wait that lasts its whole bound. Each set lets exactly one wait through.
    HANDLE ping = api.CreateEventA(nullptr, 0, 0, nullptr);
    HANDLE pong = api.CreateEventA(nullptr, 0, 0, nullptr);
    std::atomic<int> missed{0};
    auto woken = [&](HANDLE h) {
        const auto began = Clock::now();
        const bool ok = api.WaitForSingleObject(h, 1000) == WAIT_OBJECT_0 &&
                        Clock::now() - began < std::chrono::milliseconds(1000);
        if (!ok) ++missed;
        return ok;
    };
    std::thread other([&] {
        for (int i = 0; i < 2000 && woken(ping); ++i) api.SetEvent(pong);
    });
    for (int i = 0; i < 2000; ++i) {
        api.SetEvent(ping);
        if (!woken(pong)) break;
    }
    other.join();
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(api.WaitForSingleObject(ping, 0), WAIT_TIMEOUT);
    EXPECT_EQ(api.WaitForSingleObject(pong, 0), WAIT_TIMEOUT);

    // A handle this thread has just used, closed by another thread, is stale here too.
    EXPECT_TRUE(api.SetEvent(ping));
    std::thread([&] { EXPECT_TRUE(api.CloseHandle(ping)); }).join();
    EXPECT_FALSE(api.SetEvent(ping));
    EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(api.CloseHandle(pong));
}

TEST(PosixCommApi, OverlappedReadPendsCompletesAndIsAborted) {
    OpenPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    CommApi& api = p.api;
    p.timeouts(0, 0, 0);  // no time-out: wait for all bytes

    char buf[4] = {'-', '-', '-', '-'};
    DWORD done = 99;
    ASSERT_FALSE(api.ReadFile(p.h, buf, 4, &done, &p.ov));
    ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(api.GetOverlappedResult(p.h, &p.ov, &done, 0));
    EXPECT_EQ(api.GetLastError(), ERROR_IO_INCOMPLETE);
    p.pty.pty.write("ab");
    EXPECT_EQ(api.WaitForSingleObject(p.ev, 200), WAIT_TIMEOUT);
    p.pty.pty.write("cd");
    ASSERT_EQ(api.WaitForSingleObject(p.ev, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(api.GetOverlappedResult(p.h, &p.ov, &done, 0));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(std::string(buf, 4), "abcd");

    // Purged: aborted, signalled, and the buffer is never written afterwards.
    std::memset(buf, '-', 4);
    ASSERT_FALSE(api.ReadFile(p.h, buf, 4, &done, &p.ov));
    ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(api.PurgeComm(p.h, PURGE_RXABORT));
    EXPECT_EQ(api.WaitForSingleObject(p.ev, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(api.GetOverlappedResult(p.h, &p.ov, &done, 0));
    EXPECT_EQ(api.GetLastError(), ERROR_OPERATION_ABORTED);
    p.pty.pty.write("wxyz");
    DWORD errors = 0;
    COMSTAT stat{};
    ASSERT_TRUE(eventually([&] {
        api.ClearCommError(p.h, &errors, &stat);
        return stat.cbInQue == 4;
    }));
    EXPECT_EQ(std::string(buf, 4), "----");

    // Enough bytes waiting: completes at once; RXCLEAR empties the queue.
    ASSERT_TRUE(api.ReadFile(p.h, buf, 2, &done, &p.ov));
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(std::string(buf, 2), "wx");
    EXPECT_TRUE(api.PurgeComm(p.h, PURGE_RXCLEAR));
    api.ClearCommError(p.h, &errors, &stat);
    EXPECT_EQ(stat.cbInQue, 0u);
}

// A write the held line keeps back is withdrawn by the purge, from the backend's queue and
// the kernel's: when the line moves again none of it goes out, and the next write goes whole.
TEST(PosixCommApi, APurgedWriteOnAHeldLineNeverGoesOut) {
    OpenPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    CommApi& api = p.api;
    p.timeouts(0, 0, 0);  // no write time-out: only the purge ends it
    p.pty.pty.holdOutput(true);
    DWORD done = 0;
    ASSERT_FALSE(api.WriteFile(p.h, "H101\r\n", 6, &done, &p.ov));
    ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(api.WaitForSingleObject(p.ev, 200), WAIT_TIMEOUT);
    DWORD errors = 0;
    COMSTAT stat{};
    api.ClearCommError(p.h, &errors, &stat);
    EXPECT_EQ(stat.cbOutQue, 6u);

    ASSERT_TRUE(api.PurgeComm(p.h, PURGE_TXABORT | PURGE_TXCLEAR));
    ASSERT_EQ(api.WaitForSingleObject(p.ev, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(api.GetOverlappedResult(p.h, &p.ov, &done, 0));
    EXPECT_EQ(api.GetLastError(), ERROR_OPERATION_ABORTED);
    api.ClearCommError(p.h, &errors, &stat);
    EXPECT_EQ(stat.cbOutQue, 0u);

    p.pty.pty.holdOutput(false);
    EXPECT_EQ(p.pty.pty.drain(), "");
    if (!api.WriteFile(p.h, "J4101\r\n", 7, &done, &p.ov)) {
        ASSERT_EQ(api.GetLastError(), ERROR_IO_PENDING);
        ASSERT_EQ(api.WaitForSingleObject(p.ev, 5000), WAIT_OBJECT_0);
    }
    EXPECT_EQ(p.pty.pty.read(7, std::chrono::seconds(5)), "J4101\r\n");
}

TEST(PosixCommApi, ReadTimeoutsEndReadsShort) {
    OpenPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    CommApi& api = p.api;
    char buf[8] = {};
    DWORD done = 0;

    // MAXDWORD interval with zero totals: return at once with what is there, even nothing.
    p.timeouts(MAXDWORD, 0, 0);
    EXPECT_TRUE(api.ReadFile(p.h, buf, 8, &done, &p.ov));
    EXPECT_EQ(done, 0u);
    p.pty.pty.write("hi");
    DWORD errors = 0;
    COMSTAT stat{};
    ASSERT_TRUE(eventually([&] {
        api.ClearCommError(p.h, &errors, &stat);
        return stat.cbInQue == 2;
    }));
    EXPECT_TRUE(api.ReadFile(p.h, buf, 8, &done, &p.ov));
    EXPECT_EQ(done, 2u);

    // Total time-out: multiplier per byte plus constant, completing short but successfully.
    p.timeouts(0, 10, 100);  // 8 bytes: 180 ms
    auto start = Clock::now();
    ASSERT_FALSE(api.ReadFile(p.h, buf, 8, &done, &p.ov));
    p.pty.pty.write("abc");
    ASSERT_EQ(api.WaitForSingleObject(p.ev, 5000), WAIT_OBJECT_0);
    EXPECT_GE(secondsSince(start), 0.15);
    EXPECT_TRUE(api.GetOverlappedResult(p.h, &p.ov, &done, 0));
    EXPECT_EQ(done, 3u);

    // Interval time-out: a pause after the first bytes ends the read; none before them.
    p.timeouts(100, 0, 0);
    ASSERT_FALSE(api.ReadFile(p.h, buf, 8, &done, &p.ov));
    EXPECT_EQ(api.WaitForSingleObject(p.ev, 300), WAIT_TIMEOUT);
    p.pty.pty.write("12");
    ASSERT_EQ(api.WaitForSingleObject(p.ev, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(api.GetOverlappedResult(p.h, &p.ov, &done, 1));
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(std::string(buf, 2), "12");
}

TEST(PosixCommApi, SettingsAreReadBack) {
    OpenPort p;
    ASSERT_NE(p.h, INVALID_HANDLE_VALUE);
    CommApi& api = p.api;
    DCB dcb{};
    ASSERT_TRUE(api.GetCommState(p.h, &dcb));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_TRUE(dcb.Flags & DCB_fBinary);

    dcb.BaudRate = 31250;  // through the arbitrary-rate interface
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.Flags = DCB_fBinary | DCB_fOutX | DCB_fInX;
    dcb.XonChar = 0x01;
    dcb.XoffChar = 0x02;
    dcb.EvtChar = '\n';
    ASSERT_TRUE(api.SetCommState(p.h, &dcb));
    DCB back{};
    ASSERT_TRUE(api.GetCommState(p.h, &back));
    EXPECT_EQ(back.BaudRate, 31250u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_EQ(back.Flags & (DCB_fOutX | DCB_fInX), DCB_fOutX | DCB_fInX);
    EXPECT_EQ(back.XonChar, 0x01);
    EXPECT_EQ(back.XoffChar, 0x02);
    EXPECT_EQ(back.EvtChar, '\n');

    // Refused, and the port keeps what it had.
    DCB bad = back;
    bad.XoffChar = bad.XonChar;  // flow control with one character for both
    EXPECT_FALSE(api.SetCommState(p.h, &bad));
    EXPECT_EQ(api.GetLastError(), ERROR_INVALID_PARAMETER);
    bad = back;
    bad.Parity = MARKPARITY;  // a pseudo-terminal has no parity bit
    EXPECT_FALSE(api.SetCommState(p.h, &bad));
    bad = back;
    bad.BaudRate = 0;
    EXPECT_FALSE(api.SetCommState(p.h, &bad));
    DCB after{};
    ASSERT_TRUE(api.GetCommState(p.h, &after));
    EXPECT_EQ(after.BaudRate, 31250u);
    EXPECT_EQ(after.Parity, NOPARITY);
}
