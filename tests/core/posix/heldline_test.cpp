// The receiver operations where a pseudo-terminal shows what only it can: a port another
// program holds, and a line whose output is held as the far end's flow control would.
#include <gtest/gtest.h>

#include <thread>

#include "core/remoteprotocol.h"
#include "core/remotesession.h"
#include "core/sending.h"
#include "tests/core/posix/ptywindow.h"
#include "tests/support/commands.h"
#include "tests/support/posix/heldterminal.h"
#include "tests/support/posix/pty.h"

using namespace kivo;

namespace {

class OnAPty : public PtyWindowTest {
  protected:
    void switchOn() {
        control.Button2Click();
        ASSERT_EQ(window.power, "ON");
        ASSERT_EQ(line(), testenv::kSwitchOn);
    }
};

}  // namespace

// Another program holds COM3: the open says who, the receiver stays off, nothing is sent.
TEST_F(OnAPty, APortAnotherProgramHoldsSaysWhoAndStaysOff) {
    testenv::HeldTerminal other(pty);
    line();  // its echo of what was typed ahead
    control.Button2Click();
    EXPECT_EQ(window.messages,
              std::vector<std::string>{"回線オープンエラー\nCOM3\n" + pty.slavePath() +
                                       " は他のプログラムが使用中です: sleep (pid " +
                                       std::to_string(other.pid()) + ")"});
    EXPECT_EQ(window.power, "OFF");
    EXPECT_TRUE(window.portOn);
    EXPECT_FALSE(window.timer);
    EXPECT_EQ(line(), "");
}

// The port scan skips a port another program holds (COM7) and leaves it exactly as it was.
TEST_F(OnAPty, ThePortScanLeavesAHeldPortAlone) {
    testenv::Pty second, held;
    second.linkAs(ports, "COM5");
    held.linkAs(ports, "COM7");
    testenv::HeldTerminal other(held);
    const auto before = other.state();
    EXPECT_EQ(scanPorts(port), (std::vector<std::string>{"COM3", "COM5"}));
    EXPECT_EQ(port.portname, "COM9");
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(other.state(), before);
}

// On a line whose output is held (flow stopped) each command costs one short txtimeout.
constexpr int kHeldTxTimeout = 300;

// The line moves again in the middle of a command's wait: what the receiver then gets is
// made of whole commands only (before, the bytes after the given-up one followed: "101"
// CR LF, then the next command).
TEST_F(OnAPty, HeldLineAGivenUpCommandLeavesNothingOfItselfOnTheLine) {
    port.txtimeout = kHeldTxTimeout;
    ASSERT_TRUE(port.open());
    pty.holdOutput(true);
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kHeldTxTimeout * 3 / 2));
        pty.holdOutput(false);
    });
    sendCommand(port, "H101");
    release.join();
    EXPECT_TRUE(sendCommand(port, "J4101"));
    const std::string got = line();
    // Had the line moved before the first byte was given up, H101 went whole.
    EXPECT_TRUE(got == "J4101\r\n" || got == "H101\r\nJ4101\r\n") << testing::PrintToString(got);
}

// A request to end that the window takes while a command waits on the held line: the
// rest of the switch-on (and the selected channel's tune and volume) is not tried, and
// the closing sequence still sends its "H100".
TEST_F(OnAPty, HeldLineARequestToEndStopsTheSequenceButNotTheClosing) {
    port.txtimeout = kHeldTxTimeout;
    window.list.setLines({"Radio1,AM,594,80,COM3"});
    window.list.setSelectedIndex(0);
    int heldCommands = 0;
    control.onLineHeld = [&] {
        if (++heldCommands == 2) control.requestStop();  // taken during "H101"
    };
    port.OnOpen = [this](Trs232c&) { pty.holdOutput(true); };  // before "G300"
    control.Button2Click();
    EXPECT_EQ(heldCommands, 2);  // "G300" and "H101" only
    EXPECT_EQ(window.frequency, "594");

    pty.holdOutput(false);
    control.FormClose();
    EXPECT_EQ(line(), "H100\r\n");
    EXPECT_FALSE(port.isOpen());
}

// The line stops after part of a remote client's tune went out (the far end's XOFF timed
// to the byte): the client hears of a time-out, and once the line moves the receiver's
// broken line is ended (CR LF) before the next command, so no two commands share a line.
// Before, the client was told RPRT 0 and the next command completed the broken line:
// "K0000J4080". Either the driver's time-out ends the held byte's write or the wait for it
// gives up first and the purge ends it.
TEST_F(OnAPty, HeldLineACommandCutMidWayIsEndedBeforeTheNext) {
    struct Case {
        const char* name;
        const char* heldAfter;  // what of the tune goes out before the line stops
        bool nextWhileHeld;     // the volume comes before the line moves (and is given up)
        const char* onTheLine;  // everything after switching on, the closing's H100 included
    } cases[] = {
        {"cut, then the volume", "K0000", false, "K0000\r\nJ4080\r\nH100\r\n"},
        {"cut, the volume while still held", "K0000", true, "K0000\r\nH100\r\n"},
        {"cut before the LF", "K00000954000020100\r", false,
         "K00000954000020100\r\r\nJ4080\r\nH100\r\n"},
        {"held at the first byte: no line to end", "", false, "J4080\r\nH100\r\n"},
    };
    RemoteProtocol protocol(control);
    RemoteSession session(protocol);
    for (bool driverFirst : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (driverFirst ? ", driver first" : ", wait first"));
            port.txtimeout = driverFirst ? kHeldTxTimeout : 10 * kHeldTxTimeout;  // the driver's
            switchOn();
            port.txtimeout = driverFirst ? 10 * kHeldTxTimeout : kHeldTxTimeout;  // the wait's
            api.holdAfter(c.heldAfter);
            EXPECT_EQ(session.feed("F 954000\n"), "RPRT -5\n");
            if (c.nextWhileHeld) {
                EXPECT_EQ(session.feed("L AF 0.5\n"), "RPRT -5\n");
            }
            pty.holdOutput(false);
            if (!c.nextWhileHeld) {
                EXPECT_EQ(session.feed("L AF 0.5\n"), "RPRT 0\n");
            }
            control.Button2Click();  // off
            EXPECT_EQ(line(), c.onTheLine);
            EXPECT_FALSE(port.isOpen());
        }
    }
}
