// The Win32 calls where Windows' drivers and Wine's answer otherwise: what a port keeps
// of settings it cannot show, a read whose time is up, a wait begun on a cleared mask.
#include <gtest/gtest.h>

#include "serial/commapi.h"
#include "tests/serial/online.h"
#include "tests/support/serialline.h"
#include "tests/support/testenv.h"

TEST(ComponentOnWin32, SettingsTheLineCannotShowAreReadBackAsTheDriverKeptThem) {
    OnLine p;
    p.c.bps = 4800;
    p.c.charbit = 7;
    p.c.paritymode = "偶数";
    p.c.stopbit = "2";
    ASSERT_TRUE(p.c.open());
    comm::DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(p.c.api().GetCommState(p.c.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 4800u);
    if (testenv::underWine()) {
        // Wine sets a pseudo-terminal through tcsetattr, which keeps 8 data bits, no
        // parity and one stop bit whatever is asked; reading back shows what it has.
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, comm::NOPARITY);
    } else {
        EXPECT_EQ(dcb.ByteSize, 7);
        EXPECT_EQ(dcb.Parity, comm::EVENPARITY);
        EXPECT_EQ(dcb.StopBits, comm::TWOSTOPBITS);
    }
    EXPECT_TRUE(p.c.close());
}

TEST(Win32CommApi, ReadTimeOutAndAWaitBegunOnAClearedMask) {
    // The two places where Wine's driver answers otherwise than Windows' and the
    // component relies on neither answer.
    testenv::SerialLine line;
    comm::CommApi& api = comm::platformCommApi();
    comm::HANDLE h = api.CreateFileA(
        line.name().c_str(), comm::GENERIC_READ | comm::GENERIC_WRITE, 0, nullptr,
        comm::OPEN_EXISTING, comm::FILE_FLAG_OVERLAPPED | comm::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    comm::COMMTIMEOUTS t{};
    t.ReadTotalTimeoutConstant = 200;
    ASSERT_TRUE(api.SetCommTimeouts(h, &t));
    api.PurgeComm(h, comm::PURGE_RXCLEAR | comm::PURGE_TXCLEAR);
    comm::OVERLAPPED ov{};
    ov.hEvent = api.CreateEventA(nullptr, 1, 0, nullptr);

    std::uint8_t buf[4];
    comm::DWORD n = 99;
    if (!api.ReadFile(h, buf, 4, &n, &ov)) {
        ASSERT_EQ(api.GetLastError(), comm::ERROR_IO_PENDING);
        ASSERT_EQ(api.WaitForSingleObject(ov.hEvent, 3000), comm::WAIT_OBJECT_0);
        const comm::BOOL done = api.GetOverlappedResult(h, &ov, &n, 0);
        if (testenv::underWine()) {
            // Windows completes a read whose time is up with TRUE and the count it has;
            // Wine fails it with ERROR_TIMEOUT.
            EXPECT_FALSE(done);
            EXPECT_EQ(api.GetLastError(), 1460u);
        } else {
            EXPECT_TRUE(done);
        }
    }
    EXPECT_EQ(n, 0u);

    // A wait begun after the mask was cleared: Wine keeps it pending until the mask is
    // set again, which is how the watcher's stop ends it.
    api.SetCommMask(h, 0);
    api.ResetEvent(ov.hEvent);
    comm::DWORD mask = 0;
    if (!api.WaitCommEvent(h, &mask, &ov)) {
        const comm::DWORD error = api.GetLastError();
        if (testenv::underWine()) {
            ASSERT_EQ(error, comm::ERROR_IO_PENDING);
            EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 200), comm::WAIT_TIMEOUT);
            api.SetCommMask(h, 0);
            EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 3000), comm::WAIT_OBJECT_0);
            EXPECT_FALSE(api.GetOverlappedResult(h, &ov, &n, 0));
            EXPECT_EQ(api.GetLastError(), comm::ERROR_OPERATION_ABORTED);
        } else if (error == comm::ERROR_IO_PENDING) {
            EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 3000), comm::WAIT_OBJECT_0);
        }
    }
    EXPECT_EQ(mask, 0u);
    api.CloseHandle(ov.hEvent);
    EXPECT_TRUE(api.CloseHandle(h));
}
