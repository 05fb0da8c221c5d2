// Sending on a line whose output is held (flow stopped on a real pseudo-terminal): each
// command costs one short txtimeout, none reaches the receiver torn, and a request to end
// stops a sequence while the closing still tries its power-off.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "memorywindow.h"
#include "receivercontrol.h"
#include "sending.h"
#include "testenv.h"

using namespace kivo;
using namespace std::chrono_literals;

namespace {

constexpr auto kTxTimeout = 300ms;

class HeldLine : public ::testing::Test {
  protected:
    HeldLine() {
        pty.linkAs(ports, "COM3");
        port.portname = "COM3";
        port.txtimeout = static_cast<int>(kTxTimeout.count());
        window.control = &control;
        window.port = "COM3";
    }
    ~HeldLine() override { port.close(); }

    std::string line() { return pty.drain(100ms); }

    testenv::TempDir dir;
    std::string ports = dir.file("ports");
    testenv::ScopedEnv env{"KIVO_PORTS", ports};
    testenv::Pty pty;
    Trs232c port;
    MemoryWindow window;
    ReceiverControl control{port, window};
};

}  // namespace

// The line moves again in the middle of a command's wait: what the receiver then gets is
// made of whole commands only (before, the bytes after the given-up one followed: "101"
// CR LF, then the next command).
TEST_F(HeldLine, AGivenUpCommandLeavesNothingOfItselfOnTheLine) {
    ASSERT_TRUE(port.open());
    pty.holdOutput(true);
    std::thread release([this] {
        std::this_thread::sleep_for(kTxTimeout * 3 / 2);
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
TEST_F(HeldLine, ARequestToEndStopsTheSequenceButNotTheClosing) {
    window.list.setLines({"Radio1,AM,594,80,COM3"});
    window.list.setSelectedIndex(0);
    control.ComboBox1Change();
    int heldCommands = 0;
    control.onLineHeld = [&] {
        if (++heldCommands == 2) control.requestStop();  // taken during "H101"
    };
    pty.holdOutput(true);
    control.Button2Click();
    EXPECT_EQ(heldCommands, 2);  // "G300" and "H101" only
    EXPECT_EQ(window.frequency, "594");

    pty.holdOutput(false);
    control.FormClose();
    EXPECT_EQ(line(), "H100\r\n");
    EXPECT_FALSE(port.isOpen());
}
