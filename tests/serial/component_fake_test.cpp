// The component's exact dealings with the platform, and the failure steps a real port
// cannot be made to show, against the scriptable fake.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "serial/rs232c.h"
#include "tests/support/captured_messages.h"
#include "tests/support/fake_commapi.h"

using namespace comm;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ComponentOnFake, ConstructorValues) {
    FakeCommApi api;
    Trs232c c(api);
    EXPECT_EQ(c.charbit, 8);
    EXPECT_EQ(c.stopbit, "1");
    EXPECT_EQ(c.bps, 9600);
    EXPECT_EQ(c.portname, "COM1");
    EXPECT_EQ(c.rxbuffsize, 1024);
    EXPECT_EQ(c.txbuffsize, 1024);
    EXPECT_EQ(c.readinterval, 0);
    EXPECT_EQ(c.txtimeout, 30000);
    EXPECT_EQ(c.rxtimeout, 30000);
    EXPECT_EQ(c.paritymode, "無し");
    EXPECT_EQ(c.flowflag, 1);
    EXPECT_EQ(c.packetsize, 0);
    EXPECT_FALSE(c.debug);
    EXPECT_EQ(c.XonLim, 0);
    EXPECT_EQ(c.XoffLim, 0);
    EXPECT_EQ(c.XonChar, 17);
    EXPECT_EQ(c.XoffChar, 19);
    EXPECT_EQ(c.ErrorChar, 0);
    EXPECT_EQ(c.EofChar, 0);
    EXPECT_EQ(c.EvtChar, 0);
    EXPECT_FALSE(c.OnRXCHAR.assigned());
    EXPECT_THAT(api.calls(), IsEmpty());  // nothing touches the platform before open
}

TEST(ComponentOnFake, OpenAndCloseCallSequence) {
    FakeCommApi api;
    Trs232c c(api);
    c.portname = "COM7";
    int opened = 0, closed = 0;
    c.OnOpen = [&](Trs232c& s) {
        EXPECT_EQ(&s, &c);
        EXPECT_TRUE(s.isOpen());
        ++opened;
    };
    c.OnClose = [&](Trs232c& s) {
        EXPECT_FALSE(s.isOpen());
        // The port is still held while OnClose runs.
        EXPECT_EQ(api.liveHandles().size(), 3u);
        ++closed;
    };

    ASSERT_TRUE(c.open());
    EXPECT_EQ(opened, 1);
    EXPECT_THAT(
        api.calls(),
        ElementsAre("CreateFileA(COM7,0xC0000000,0,null,3,0x40000080,null)",
                    "SetupComm(port,1024,1024)", "GetCommState(port)", "SetCommState(port)",
                    "GetCommTimeouts(port)", "SetCommTimeouts(port)", "SetCommMask(port,0x0)",
                    "PurgeComm(port,15)", "CreateEventA(null,1,0,null)", "ResetEvent(event2)",
                    "CreateEventA(null,1,0,null)", "ResetEvent(event3)"));

    // A second open does nothing at all.
    api.clearCalls();
    EXPECT_FALSE(c.open());
    EXPECT_THAT(api.calls(), IsEmpty());

    EXPECT_TRUE(c.close());
    EXPECT_EQ(closed, 1);
    EXPECT_THAT(api.calls(), ElementsAre("PurgeComm(port,3)", "CloseHandle(event2)",
                                         "CloseHandle(event3)", "CloseHandle(port)"));
    EXPECT_THAT(api.liveHandles(), IsEmpty());

    // Closing a closed component calls nothing, not even OnClose.
    api.clearCalls();
    EXPECT_FALSE(c.close());
    EXPECT_EQ(closed, 1);
    EXPECT_THAT(api.calls(), IsEmpty());
}

TEST(ComponentOnFake, CloseReportsTheFinalCloseHandle) {
    FakeCommApi api;
    Trs232c c(api);
    ASSERT_TRUE(c.open());
    api.fail("CloseHandle");
    EXPECT_FALSE(c.close());
    EXPECT_FALSE(c.isOpen());
}

TEST(ComponentOnFake, SettingsReachTheDeviceControlBlock) {
    FakeCommApi api;
    Trs232c c(api);
    c.bps = 115200;
    c.charbit = 0x107;  // only the low byte goes to the port
    c.stopbit = "2";
    c.paritymode = "ｏｄｄ";
    c.flowflag = static_cast<int>(0xFFFF8301u);  // spare bits are written too
    c.XonLim = 0x12345;
    c.XoffLim = 0;
    c.XonChar = 0;  // 0 keeps what the port has
    c.XoffChar = 0x14;
    c.EvtChar = '\n';
    c.readinterval = 7;
    c.rxtimeout = 250;
    c.txtimeout = 500;
    ASSERT_TRUE(c.open());
    const DCB& d = api.lastSetState;
    EXPECT_EQ(d.BaudRate, 115200u);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.StopBits, TWOSTOPBITS);
    EXPECT_EQ(d.Parity, ODDPARITY);
    EXPECT_EQ(d.Flags, 0xFFFF8301u);
    EXPECT_EQ(d.XonLim, 0x2345);
    EXPECT_EQ(d.XoffLim, api.portState.XoffLim);
    EXPECT_EQ(d.XonChar, api.portState.XonChar);
    EXPECT_EQ(d.XoffChar, 0x14);
    EXPECT_EQ(d.ErrorChar, api.portState.ErrorChar);
    EXPECT_EQ(d.EofChar, api.portState.EofChar);
    EXPECT_EQ(d.EvtChar, '\n');
    EXPECT_EQ(d.DCBlength, api.portState.DCBlength);
    EXPECT_EQ(d.wReserved, api.portState.wReserved);
    EXPECT_EQ(d.wReserved1, api.portState.wReserved1);

    const COMMTIMEOUTS& t = api.lastSetTimeouts;
    EXPECT_EQ(t.ReadIntervalTimeout, 7u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 250u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 500u);

    // Property changes wait for the next open.
    c.bps = 300;
    api.clearCalls();
    EXPECT_THAT(api.callsOf("SetCommState"), IsEmpty());
    c.close();
    ASSERT_TRUE(c.open());
    EXPECT_EQ(api.lastSetState.BaudRate, 300u);

    // flowflag 0 clears every flag, fBinary included.
    c.close();
    c.flowflag = 0;
    ASSERT_TRUE(c.open());
    EXPECT_EQ(api.lastSetState.Flags, 0u);
}

TEST(ComponentOnFake, StopBitAndParityNames) {
    struct Case {
        const char* stop;
        const char* parity;
        BYTE stopBits;
        BYTE parityValue;
    };
    FakeCommApi api;  // the port has 2 stop bits and even parity
    const Case cases[] = {
        {"1", "無し", ONESTOPBIT, NOPARITY},
        {"1.5", "なし", ONE5STOPBITS, NOPARITY},
        {"2", "奇数", TWOSTOPBITS, ODDPARITY},
        {"1", "きすう", ONESTOPBIT, ODDPARITY},
        {"1", "ODD", ONESTOPBIT, ODDPARITY},
        {"1", "odd", ONESTOPBIT, ODDPARITY},
        {"1", "ＯＤＤ", ONESTOPBIT, ODDPARITY},
        {"1", "偶数", ONESTOPBIT, EVENPARITY},
        {"1", "ぐうすう", ONESTOPBIT, EVENPARITY},
        {"1", "ＥＶＥＮ", ONESTOPBIT, EVENPARITY},
        {"1", "ｅｖｅｎ", ONESTOPBIT, EVENPARITY},
        {"1", "マーク", ONESTOPBIT, MARKPARITY},
        {"1", "まーく", ONESTOPBIT, MARKPARITY},
        {"1", "MARK", ONESTOPBIT, MARKPARITY},
        {"1", "ｍａｒｋ", ONESTOPBIT, MARKPARITY},
        {"1", "スペース", ONESTOPBIT, SPACEPARITY},
        {"1", "すぺーす", ONESTOPBIT, SPACEPARITY},
        {"1", "space", ONESTOPBIT, SPACEPARITY},
        {"1", "ＳＰＡＣＥ", ONESTOPBIT, SPACEPARITY},
        // Anything else keeps what the port had.
        {"1.50", "Odd", TWOSTOPBITS, EVENPARITY},
        {"", "Even", TWOSTOPBITS, EVENPARITY},
        {" 1", "none", TWOSTOPBITS, EVENPARITY},
        {"1", "SPACE ", ONESTOPBIT, EVENPARITY},
    };
    for (const Case& k : cases) {
        api.portState.Parity = EVENPARITY;
        api.portState.StopBits = TWOSTOPBITS;
        Trs232c c(api);
        c.stopbit = k.stop;
        c.paritymode = k.parity;
        ASSERT_TRUE(c.open());
        EXPECT_EQ(api.lastSetState.StopBits, k.stopBits) << k.stop;
        EXPECT_EQ(api.lastSetState.Parity, k.parityValue) << k.parity;
    }
}

TEST(ComponentOnFake, EachFailingStepShowsItsMessageOnlyWithDebugAndReleasesThePort) {
    struct Step {
        const char* call;
        const char* message;
    };
    const Step steps[] = {
        {"CreateFileA", "回線オープンエラー"},
        {"SetupComm", "バッファサイズ設定エラー"},
        {"SetCommState", "通信条件設定エラー"},
        {"SetCommTimeouts", "タイムアウト時間設定エラー"},
    };
    for (bool debug : {false, true}) {
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(step.call) + (debug ? " debug" : ""));
            CapturedMessages shown;
            FakeCommApi api;
            api.fail(step.call);
            Trs232c c(api);
            c.debug = debug;
            bool opened = false;
            c.OnOpen = [&](Trs232c&) { opened = true; };
            EXPECT_FALSE(c.open());
            EXPECT_FALSE(c.isOpen());
            EXPECT_FALSE(opened);
            if (debug)
                EXPECT_THAT(shown.texts, ElementsAre(step.message));
            else
                EXPECT_THAT(shown.texts, IsEmpty());
            // Nothing stays held: no events were made, the port went back.
            EXPECT_THAT(api.callsOf("CreateEventA"), IsEmpty());
            EXPECT_THAT(api.liveHandles(), IsEmpty());
            if (std::string(step.call) != "CreateFileA") {
                auto calls = api.calls();
                ASSERT_GE(calls.size(), 2u);
                EXPECT_EQ(calls[calls.size() - 2], "PurgeComm(port,3)");
                EXPECT_EQ(calls.back(), "CloseHandle(port)");
            }
            api.clearCalls();
            EXPECT_FALSE(c.close());
            EXPECT_THAT(api.calls(), IsEmpty());
        }
    }
}

TEST(ComponentOnFake, RefusedCharbitReachesThePortUnchanged) {
    CapturedMessages shown;
    FakeCommApi api;
    api.fail("SetCommState");
    Trs232c c(api);
    c.charbit = 9;
    c.debug = true;
    EXPECT_FALSE(c.open());
    EXPECT_EQ(api.lastSetState.ByteSize, 9);
    EXPECT_THAT(shown.texts, ElementsAre("通信条件設定エラー"));
}

TEST(ComponentOnFake, EventMaskFollowsTheAssignedHandlers) {
    FakeCommApi api;
    {
        Trs232c c(api);
        c.OnOpen = [](Trs232c&) {};
        c.OnClose = [](Trs232c&) {};
        ASSERT_TRUE(c.open());
        EXPECT_THAT(api.callsOf("SetCommMask"), ElementsAre("SetCommMask(port,0x0)"));
    }
    api.clearCalls();
    {
        Trs232c c(api);
        c.OnBREAK = [](Trs232c&) {};
        c.OnCTS = [](Trs232c&) {};
        c.OnDSR = [](Trs232c&) {};
        c.OnERR = [](Trs232c&) {};
        c.OnRING = [](Trs232c&) {};
        c.OnRLSD = [](Trs232c&) {};
        c.OnRXCHAR = [](Trs232c&) {};
        c.OnRXFLAG = [](Trs232c&) {};
        c.OnTXEMPTY = [](Trs232c&) {};
        c.OnBREAK = nullptr;  // cleared again: no break events
        ASSERT_TRUE(c.open());
        EXPECT_EQ(api.callsOf("SetCommMask").front(), "SetCommMask(port,0x1BF)");
    }
}

TEST(ComponentOnFake, TransfersOnAClosedComponent) {
    FakeCommApi api;
    Trs232c c(api);
    std::uint8_t buf[4] = {1, 2, 3, 4};
    char value = 'q';
    EXPECT_FALSE(c.rxdata(buf, 4));
    EXPECT_FALSE(c.txdata({1, 2}, 2));
    EXPECT_FALSE(c.rxbyte(value));
    EXPECT_EQ(value, 'q');
    EXPECT_FALSE(c.txbyte('x'));
    EXPECT_EQ(c.rxcount(), -1);
    EXPECT_EQ(c.txcount(), -1);
    EXPECT_THAT(api.calls(), IsEmpty());
}

TEST(ComponentOnFake, TransferResults) {
    FakeCommApi api;
    Trs232c c(api);
    c.rxtimeout = 123;
    c.txtimeout = 456;
    ASSERT_TRUE(c.open());
    api.clearCalls();

    // Completed at once: true whatever count the platform reports.
    api.writes.push_back({.immediate = true, .moved = 1, .data = ""});
    EXPECT_TRUE(c.txdata({'a', 'b', 'c'}, 3));
    EXPECT_THAT(api.calls(), ElementsAre("ResetEvent(event3)", "WriteFile(port,3,event3)"));

    // Pending, then completed in full or short.
    api.writes.push_back({.immediate = false, .moved = 3, .data = ""});
    EXPECT_TRUE(c.txdata({'a', 'b', 'c'}, 3));
    api.writes.push_back({.immediate = false, .moved = 2, .data = ""});
    EXPECT_FALSE(c.txdata({'a', 'b', 'c'}, 3));

    // Failed outright, or GetOverlappedResult failing.
    api.writes.push_back({.immediate = false, .error = ERROR_GEN_FAILURE, .data = ""});
    EXPECT_FALSE(c.txdata({'a'}, 1));
    api.writes.push_back({.immediate = false, .moved = 1, .resultOk = false, .data = ""});
    EXPECT_FALSE(c.txdata({'a'}, 1));

    // The waits use the current time-outs.
    api.clearCalls();
    api.reads.push_back({.immediate = false, .moved = 4, .data = "wxyz"});
    std::uint8_t buf[4] = {};
    EXPECT_TRUE(c.rxdata(buf, 4));
    EXPECT_EQ(std::string(buf, buf + 4), "wxyz");
    EXPECT_THAT(api.calls(), ElementsAre("ResetEvent(event2)", "ReadFile(port,4,event2)",
                                         "WaitForSingleObject(event2,123)",
                                         "GetOverlappedResult(port,event2,0)"));

    // A read of 4 that ends with 2: false, with the 2 in the caller's buffer.
    std::uint8_t shortBuf[4] = {'-', '-', '-', '-'};
    api.reads.push_back({.immediate = false, .moved = 2, .data = "ab"});
    EXPECT_FALSE(c.rxdata(shortBuf, 4));
    EXPECT_EQ(std::string(shortBuf, shortBuf + 4), "ab--");

    // rxbyte keeps the caller's variable when nothing came. The read the wait gave up on
    // is ended at once, so nothing it takes later is lost.
    char v = 'k';
    api.clearCalls();
    api.reads.push_back({.immediate = false, .moved = 0, .wait = WAIT_TIMEOUT, .data = ""});
    EXPECT_FALSE(c.rxbyte(v));
    EXPECT_EQ(v, 'k');
    EXPECT_THAT(api.calls(),
                ElementsAre("ResetEvent(event2)", "ReadFile(port,1,event2)",
                            "WaitForSingleObject(event2,123)", "GetOverlappedResult(port,event2,0)",
                            "PurgeComm(port,2)", "WaitForSingleObject(event2,1000)",
                            "GetOverlappedResult(port,event2,0)"));
    api.clearCalls();
    api.reads.push_back({.immediate = true, .moved = 1, .data = "Z"});
    EXPECT_TRUE(c.rxbyte(v));
    EXPECT_EQ(v, 'Z');
    EXPECT_THAT(api.calls(), ElementsAre("ResetEvent(event2)", "ReadFile(port,1,event2)"));

    api.stat.cbInQue = 5;
    api.stat.cbOutQue = 9;
    EXPECT_EQ(c.rxcount(), 5);
    EXPECT_EQ(c.txcount(), 9);
}

TEST(ComponentOnFake, GivenUpWriteKeepsItsOwnCopy) {
    FakeCommApi api;
    Trs232c c(api);
    c.txtimeout = 10;
    ASSERT_TRUE(c.open());
    api.writes.push_back({.immediate = false, .moved = 0, .wait = WAIT_TIMEOUT, .data = ""});
    std::vector<std::uint8_t> bytes{'h', 'i'};
    EXPECT_FALSE(c.txdata(bytes, 2));
    bytes.assign(2, 0);  // the caller's array is the caller's again
    api.clearCalls();
    EXPECT_TRUE(c.close());  // close aborts the pending write
    EXPECT_EQ(api.calls().front(), "PurgeComm(port,3)");
}

TEST(ComponentOnFake, HandlerExceptionsDuringOpenAndClose) {
    FakeCommApi api;
    {
        Trs232c c(api);
        c.OnOpen = [](Trs232c&) { throw std::runtime_error("open handler"); };
        EXPECT_THROW(c.open(), std::runtime_error);
        EXPECT_TRUE(c.isOpen());  // already open when the handler ran

        c.OnClose = [](Trs232c&) { throw std::runtime_error("close handler"); };
        EXPECT_THROW(c.close(), std::runtime_error);
        EXPECT_FALSE(c.isOpen());
        EXPECT_EQ(api.liveHandles().size(), 3u);  // stopped before the handles went back
    }
    // Destroying it afterwards neither throws nor leaks the port.
    EXPECT_THAT(api.liveHandles(), IsEmpty());

    {
        Trs232c c(api);
        c.OnClose = [](Trs232c&) { throw std::runtime_error("close handler"); };
        ASSERT_TRUE(c.open());
    }  // the destructor's close raises: it must not terminate the program
    EXPECT_THAT(api.liveHandles(), IsEmpty());
}

// A transfer or a queue count failing with what a removed device's driver reports marks the
// line lost, the results staying what they were; a time-out, an abort or a refused call does
// not, and the next open starts afresh.
TEST(ComponentOnFake, ErrorsOfAGoneDeviceMarkTheLineLost) {
    const std::pair<DWORD, bool> errors[] = {
        {ERROR_ACCESS_DENIED, true},      {ERROR_BAD_COMMAND, true},
        {ERROR_GEN_FAILURE, true},        {ERROR_NO_SUCH_DEVICE, true},
        {ERROR_IO_DEVICE, true},          {ERROR_DEVICE_NOT_CONNECTED, true},
        {ERROR_DEVICE_REMOVED, true},     {ERROR_OPERATION_ABORTED, false},
        {ERROR_INVALID_PARAMETER, false}, {ERROR_INVALID_HANDLE, false},
    };
    for (const auto& [error, gone] : errors) {
        for (const char* way : {"write", "read's result", "queue count"}) {
            SCOPED_TRACE(std::string(way) + " failing with " + std::to_string(error));
            FakeCommApi api;
            Trs232c c(api);
            c.rxtimeout = 10;
            ASSERT_TRUE(c.open());
            EXPECT_FALSE(c.lineLost());
            if (way == std::string("write")) {
                api.writes.push_back({.immediate = false, .error = error, .data = ""});
                EXPECT_FALSE(c.txbyte('x'));
            } else if (way == std::string("read's result")) {
                api.reads.push_back(
                    {.immediate = false, .resultOk = false, .data = "", .resultError = error});
                char v = 0;
                EXPECT_FALSE(c.rxbyte(v));
            } else {
                api.fail("ClearCommError", error);
                EXPECT_EQ(c.txcount(), 0);
            }
            EXPECT_EQ(c.lineLost(), gone);
            EXPECT_TRUE(c.close());
            ASSERT_TRUE(c.open());
            EXPECT_FALSE(c.lineLost());
        }
    }
    // A wait given up on a held line is not a loss.
    FakeCommApi api;
    Trs232c c(api);
    c.txtimeout = 10;
    ASSERT_TRUE(c.open());
    api.writes.push_back({.immediate = false, .moved = 0, .wait = WAIT_TIMEOUT, .data = ""});
    EXPECT_FALSE(c.txbyte('x'));
    EXPECT_FALSE(c.lineLost());
}
