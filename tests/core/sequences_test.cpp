// The receiver operations against an in-memory window and a real port: a pseudo-
// terminal registered as COM3, whose far end the test reads (and whose output it can hold
// as flow control would).
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "core/cp932.h"
#include "core/errors.h"
#include "core/remoteprotocol.h"
#include "core/remotesession.h"
#include "core/sending.h"
#include "tests/core/ptywindow.h"
#include "tests/support/heldterminal.h"

using namespace kivo;

namespace {

const std::string kOnSequence = "G300\r\nH101\r\nJ4000\r\nJ4101\r\n";

class Sequences : public PtyWindowTest {
  protected:
    void switchOn() {
        control.Button2Click();
        ASSERT_EQ(window.power, "ON");
        ASSERT_EQ(line(), kOnSequence);
    }
};

}  // namespace

TEST_F(Sequences, PowerButtonSwitchesOnAndOff) {
    control.Button2Click();
    EXPECT_EQ(line(), kOnSequence);  // nothing selected: no tune, no volume
    EXPECT_EQ(window.power, "ON");
    EXPECT_FALSE(window.portOn);
    EXPECT_TRUE(window.timer);
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(window.messages.empty());

    control.Button2Click();
    EXPECT_EQ(line(), "H100\r\n");
    EXPECT_EQ(window.power, "OFF");
    EXPECT_TRUE(window.portOn);
    EXPECT_FALSE(window.timer);
    EXPECT_FALSE(port.isOpen());

    // Closing with the port closed puts nothing on the line.
    control.FormClose();
    EXPECT_EQ(line(), "");

    window.port = "";
    control.Button2Click();
    EXPECT_EQ(window.power, "OFF");
    EXPECT_FALSE(port.isOpen());
}

TEST_F(Sequences, ClosingWhileOnSendsPowerOff) {
    switchOn();
    control.FormClose();
    EXPECT_EQ(line(), "H100\r\n");
    EXPECT_FALSE(port.isOpen());
}

TEST_F(Sequences, AFailedOpenSaysWhyAndStaysOff) {
    testenv::HeldTerminal other(pty);  // COM3 is another program's now
    line();                            // its echo of what was typed ahead
    const std::string held = pty.slavePath() + " は他のプログラムが使用中です: sleep (pid " +
                             std::to_string(other.pid()) + ")";
    const std::string missing = "デバイス " + ports +
                                "/COM7 がありません（つながっているシリアルデバイスは kivo "
                                "--list-ports で分かります）";
    for (const auto& [name, reason] : {std::pair{"COM7", missing}, std::pair{"COM3", held}}) {
        window.messages.clear();
        window.port = name;
        control.ComboBox1Change();
        control.Button2Click();
        EXPECT_EQ(window.messages, std::vector<std::string>{"回線オープンエラー\n" +
                                                            std::string(name) + "\n" + reason});
        EXPECT_EQ(window.power, "OFF");
        EXPECT_TRUE(window.portOn);
        EXPECT_FALSE(window.timer);
    }
    EXPECT_EQ(line(), "");
}

TEST_F(Sequences, SelectingAChannelTunesAndSetsTheVolume) {
    window.list.setLines({"Test,FM,80.7,120,COM3"});
    window.am = true;
    switchOn();
    window.list.setSelectedIndex(0);
    control.ListBox1DblClick();
    EXPECT_EQ(line(), "K00080700000060400\r\nK00080700000060400\r\nJ4078\r\nJ4078\r\n");
    EXPECT_TRUE(window.fm);
    EXPECT_FALSE(window.am);
    EXPECT_EQ(window.name, "Test");
    EXPECT_EQ(window.frequency, "80.7");
    EXPECT_EQ(window.volume, 120);
    EXPECT_EQ(window.volumeLabel, "120");
    EXPECT_EQ(port.portname, "COM3");

    // Selecting it again: no field changes, so only the explicit calls send.
    control.ListBox1DblClick();
    EXPECT_EQ(line(), "K00080700000060400\r\nJ4078\r\n");
}

TEST_F(Sequences, VolumeFieldRules) {
    window.list.setLines({"A,AM,954,x,COM3", "B,AM,954,300,COM3", "C,AM,954,$10,COM3"});
    window.am = true;
    window.frequency = "954";
    switchOn();

    window.list.setSelectedIndex(0);  // "x": the slider stays, no volume command
    control.ListBox1DblClick();
    EXPECT_EQ(line(), "K00000954000020100\r\n");
    EXPECT_EQ(window.volume, 80);

    window.list.setSelectedIndex(1);  // clamped to 255
    control.ListBox1DblClick();
    EXPECT_EQ(line(), "K00000954000020100\r\nJ40FF\r\nJ40FF\r\n");
    EXPECT_EQ(window.volumeLabel, "255");

    window.list.setSelectedIndex(2);
    control.ListBox1DblClick();
    EXPECT_EQ(line(), "K00000954000020100\r\nJ4010\r\nJ4010\r\n");

    // In S mode the strip's slider gives the volume, not the line.
    window.compact = true;
    window.compactVolume = 200;
    window.list.setSelectedIndex(1);
    control.ListBox1DblClick();
    EXPECT_EQ(line(), "K00000954000020100\r\nJ40C8\r\nJ40C8\r\n");
}

TEST_F(Sequences, AShortLineStopsAtTheFieldItLacks) {
    window.list.setLines({"Name,AM", ""});
    switchOn();
    window.list.setSelectedIndex(0);
    try {
        control.ListBox1DblClick();
        FAIL() << "no error";
    } catch (const ListIndexError& e) {
        EXPECT_EQ(e.index(), 2);
    }
    EXPECT_EQ(window.name, "Name");
    EXPECT_TRUE(window.am);
    EXPECT_EQ(line(), "");  // the band change tuned the empty frequency: nothing

    window.list.setSelectedIndex(1);  // an empty line has no field 0
    EXPECT_THROW(control.ListBox1DblClick(), ListIndexError);
    window.list.setSelectedIndex(7);  // beyond the list: nothing
    control.ListBox1DblClick();
}

TEST_F(Sequences, WhileOffNothingIsSentButTheWindowFollows) {
    window.list.setLines({"\x83\x89\x83\x57\x83\x49,AM,594,100,COM3"});
    window.list.setSelectedIndex(0);
    control.ListBox1DblClick();
    EXPECT_EQ(window.name, "ラジオ");
    EXPECT_EQ(window.frequency, "594");
    EXPECT_EQ(window.volumeLabel, "100");
    window.setVolumePosition(10);
    EXPECT_EQ(window.volumeLabel, "10");
    control.Timer1Timer();  // a closed port drops the tick
    EXPECT_EQ(line(), "");
}

TEST_F(Sequences, TypingTunesAtEveryValidText) {
    window.am = true;
    switchOn();
    for (const char* text : {"9", "95", "954", "954 ", "954,", "."}) window.setFrequencyText(text);
    EXPECT_EQ(line(),
              "K00000009000020100\r\nK00000095000020100\r\nK00000954000020100\r\n"
              "K00000000000020100\r\n");
    window.checkFm();
    EXPECT_EQ(line(), "K00000000000060400\r\n");
    window.checkFm();  // already checked: nothing
    window.setVolumePosition(10);
    window.setVolumePosition(10);
    window.setVolumePosition(-5);
    EXPECT_EQ(line(), "J400A\r\nJ4000\r\n");
}

TEST_F(Sequences, TickSendsAndDiscardsReplies) {
    switchOn();
    pty.write("OK\r\nOK\r\n");
    for (int i = 0; i < 100 && port.rxcount() < 8; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(port.rxcount(), 8);
    control.Timer1Timer();
    EXPECT_EQ(line(), "J4101\r\n");
    EXPECT_EQ(port.rxcount(), 0);
}

TEST_F(Sequences, StartUpWithAChannelFromTheCommandLine) {
    pty.linkAs(ports, "COM12");
    window.list.setLines({"Radio10,AM,594,80,COM3", "Radio1,AM,954,60,COM12,x", "Other,FM,1,1"});
    port.portname = "COM9";  // where the port scan leaves it
    EXPECT_FALSE(control.startWithChannel("Nobody"));
    EXPECT_FALSE(control.startWithChannel("Other"));  // no ",COM" in its line
    EXPECT_EQ(window.power, "OFF");

    EXPECT_TRUE(control.startWithChannel(" Radio1 "));
    EXPECT_EQ(window.port, "COM12");
    EXPECT_EQ(port.portname, "COM12");
    EXPECT_EQ(window.power, "ON");
    EXPECT_FALSE(window.portOn);
    EXPECT_TRUE(window.timer);
    EXPECT_EQ(window.list.selectedIndex(), 1);
    EXPECT_EQ(line(),
              "H101\r\nJ4000\r\nJ4101\r\nK00000954000020100\r\nK00000954000020100\r\n"
              "J403C\r\nJ403C\r\n");
}

TEST_F(Sequences, StartUpOnAPortThatWillNotOpen) {
    window.list.setLines({"Radio1,AM,954,60,COM5"});
    EXPECT_TRUE(control.startWithChannel("Radio1"));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].rfind(
                  "回線オープンエラー\nCOM5\nデバイス " + ports + "/COM5 がありません", 0),
              0u)
        << window.messages[0];
    EXPECT_EQ(window.power, "OFF");
    EXPECT_TRUE(window.portOn);
    EXPECT_FALSE(window.timer);
    EXPECT_EQ(window.list.selectedIndex(), 0);  // shown, ready for the power button
    EXPECT_EQ(window.frequency, "954");
    EXPECT_EQ(line(), "");
}

TEST_F(Sequences, StartUpLoadAndPortScan) {
    control.channelFilePath = dir.file("KIVO.ini");
    EXPECT_FALSE(control.loadAtStartup());
    EXPECT_EQ(window.messages, std::vector<std::string>{"\"KIVO.ini\" ファイルが開けません"});
    EXPECT_EQ(window.list.count(), 0);
    EXPECT_EQ(line(), "");

    // COM7 is another program's: the scan skips it and leaves it exactly as it was.
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

TEST_F(Sequences, AddStoresCp932OrRefuses) {
    window.name = " ＦＭ 横浜, 2 ";
    window.frequency = "84.7";
    window.volume = 80;
    window.port = "COM1";
    EXPECT_TRUE(control.Button1Click());
    ASSERT_EQ(window.list.count(), 1);
    EXPECT_EQ(window.list.line(0), *utf8ToCp932("ＦＭ_横浜__2,FM,84.7,80,COM1"));

    window.name = "Radio €";
    EXPECT_FALSE(control.Button1Click());
    EXPECT_EQ(window.messages, std::vector<std::string>{unstorableNameMessage()});
    window.name = "ok";
    window.frequency = "８４．７€";
    EXPECT_FALSE(control.Button1Click());
    EXPECT_EQ(window.list.count(), 1);

    window.frequency = "";
    EXPECT_FALSE(control.Button1Click());
    window.frequency = "954";
    window.name = "";
    EXPECT_FALSE(control.Button1Click());
    window.name = "   ";
    window.am = true;
    window.port = "";
    EXPECT_TRUE(control.Button1Click());
    EXPECT_EQ(window.list.line(1), ",AM,954,80,");
    EXPECT_EQ(window.list.selectedIndex(), -1);
}

TEST_F(Sequences, SaveOnlyAfterYes) {
    control.channelFilePath = dir.file("KIVO.ini");
    window.list.setLines({"a,AM,1,1,COM1"});
    window.confirmAnswer = false;
    control.Button5Click();
    EXPECT_EQ(window.questions, std::vector<std::string>{saveQuestion()});
    EXPECT_FALSE(std::filesystem::exists(control.channelFilePath));
    window.confirmAnswer = true;
    control.Button5Click();
    window.list.setLines({});
    control.Button4Click();
    EXPECT_EQ(window.list.lines(), std::vector<std::string>{"a,AM,1,1,COM1"});
}

// On a line whose output is held (flow stopped) each command costs one short txtimeout.
constexpr int kHeldTxTimeout = 300;

// The line moves again in the middle of a command's wait: what the receiver then gets is
// made of whole commands only (before, the bytes after the given-up one followed: "101"
// CR LF, then the next command).
TEST_F(Sequences, HeldLineAGivenUpCommandLeavesNothingOfItselfOnTheLine) {
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
TEST_F(Sequences, HeldLineARequestToEndStopsTheSequenceButNotTheClosing) {
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
TEST_F(Sequences, HeldLineACommandCutMidWayIsEndedBeforeTheNext) {
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
