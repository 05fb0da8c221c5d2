// The remote-control protocol against an in-memory window and a real serial line: each request's
// reply bytes and the exact commands that reach the far end of the line.
#include "core/remoteprotocol.h"

#include <gtest/gtest.h>

#include "core/remotesession.h"
#include "tests/core/linewindow.h"
#include "tests/support/commands.h"

using namespace kivo;

namespace {

class Remote : public LineWindowTest {
  protected:
    void SetUp() override {
        LineWindowTest::SetUp();
        protocol.onHandlerError = [this](std::exception_ptr) { ++handlerErrors; };
    }

    RemoteProtocol protocol{control};
    RemoteSession session{protocol};
    int handlerErrors = 0;
};

struct Exchange {
    const char* request;
    const char* reply;
    const char* onTheLine;  // what the receiver gets for it
};

}  // namespace

// One client's session from power-on to power-off and on again, in order: every reply and
// every byte the receiver gets, as the window's own handlers send them.
TEST_F(Remote, EachCommandAnswersAndDrivesTheWindowAsTheUserWould) {
    const Exchange script[] = {
        {"\\chk_vfo", "0\n", ""},
        {"\\get_powerstat", "0\n", ""},
        {"\\set_powerstat 1", "RPRT 0\n", testenv::kSwitchOn.c_str()},
        {"\\get_powerstat", "1\n", ""},
        {"f", "0\n", ""},            // empty field
        {"m", "WFM\n200000\n", ""},  // neither band checked reads as FM
        // AM below 30 MHz: the band's tune of the empty field sends nothing, the text tunes.
        {"F 954000.000000", "RPRT 0\n", "K00000954000020100\r\n"},
        {"f", "954000\n", ""},
        {"m", "AM\n9000\n", ""},
        // Nothing changes in the window, so the receiver is tuned to what it shows.
        {"F 954000", "RPRT 0\n", "K00000954000020100\r\n"},
        {"F 1134500", "RPRT 0\n", "K00001135000020100\r\n"},
        // The band changes, the frequency stays: 1134.5 kHz becomes 1.1345 MHz.
        {"M WFM 0", "RPRT 0\n", "K00001135000060400\r\n"},
        {"M FM 200000", "RPRT 0\n", ""},  // already checked
        {"m", "WFM\n200000\n", ""},
        {"F 80700000", "RPRT 0\n", "K00080700000060400\r\n"},
        {"f", "80700000\n", ""},
        // Back below the split: one tune, never the old text in the new band.
        {"F 2500000\r", "RPRT 0\n", "K00002500000020100\r\n"},
        {"L AF 0.500000", "RPRT 0\n", "J4080\r\n"},
        {"l AF", "0.501961\n", ""},
        {"L AF 0.5", "RPRT 0\n", "J4080\r\n"},  // slider already there: sent all the same
        {"\\set_level AF 1", "RPRT 0\n", "J40FF\r\n"},
        {"\\get_level AF", "1.000000\n", ""},
        {"\\get_lock_mode", "0\nRPRT 0\n", ""},
        {"v", "VFOA\n", ""},
        {"V VFOA", "RPRT 0\n", ""},
        {"s", "0\nVFOA\n", ""},
        {"\\set_powerstat 1", "RPRT 0\n", ""},  // already on
        // Bad arguments change nothing and send nothing.
        {"F", "RPRT -1\n", ""},
        {"F abc", "RPRT -1\n", ""},
        {"F -1", "RPRT -1\n", ""},
        {"F 954000,5", "RPRT -1\n", ""},
        {"F nan", "RPRT -1\n", ""},
        {"F 1e400", "RPRT -1\n", ""},
        {"F 20000000000", "RPRT -1\n", ""},
        {"M USB 0", "RPRT -1\n", ""},
        {"M", "RPRT -1\n", ""},
        {"L AF 1.5", "RPRT -1\n", ""},
        {"L AF -0.1", "RPRT -1\n", ""},
        {"L AF", "RPRT -1\n", ""},
        {"L RF 0.5", "RPRT -1\n", ""},
        {"l RF", "RPRT -1\n", ""},
        {"V VFOB", "RPRT -11\n", ""},  // a VFO that is not there
        {"V VFOX", "RPRT -1\n", ""},
        {"\\set_powerstat 2", "RPRT -1\n", ""},
        {"U", "RPRT -11\n", ""},
        {"\\get_rit", "RPRT -11\n", ""},
        {"+f", "get_freq:\nFrequency: 2500000\nRPRT 0\n", ""},
        {"\\set_powerstat 0", "RPRT 0\n", "H100\r\n"},
        {"\\get_powerstat", "0\n", ""},
        // Off: the window changes, the receiver hears nothing.
        {"F 594000", "RPRT 0\n", ""},
        {"L AF 0", "RPRT 0\n", ""},
        {"\\set_powerstat 0", "RPRT 0\n", ""},
        {"\\set_powerstat 1", "RPRT 0\n", testenv::kSwitchOn.c_str()},
    };
    for (const Exchange& e : script) {
        EXPECT_EQ(session.feed(std::string(e.request) + "\n"), e.reply) << e.request;
        EXPECT_EQ(line(), e.onTheLine) << e.request;
    }
    EXPECT_TRUE(window.am);
    EXPECT_EQ(window.frequency, "594");
    EXPECT_EQ(window.volume, 0);
    EXPECT_EQ(window.volumeLabel, "0");
    EXPECT_EQ(window.power, "ON");
    EXPECT_EQ(handlerErrors, 0);
}

// A band change by F or M is one action: the buttons and the field change together and
// the receiver gets one tune for the result, never the old text in the new band.
TEST_F(Remote, ChangingTheBandTunesOnceForTheNewFrequency) {
    struct Case {
        bool on;
        bool am;  // checked before; FM otherwise
        const char* text;
        const char* request;
        bool amAfter;
        const char* textAfter;
        const char* onTheLine;
    } cases[] = {
        {true, true, "954", "F 80700000", false, "80.7", "K00080700000060400\r\n"},
        {true, false, "80.7", "F 594000", true, "594", "K00000594000020100\r\n"},
        // M keeps the frequency in Hz, written in the new band's unit.
        {true, true, "954", "M WFM 0", false, "0.954", "K00000954000060400\r\n"},
        {true, false, "80.7", "M AM 0", true, "80700", "K00080700000020100\r\n"},
        {true, false, "100", "\\set_mode AM", true, "100000", "K00100000000020100\r\n"},
        {true, true, "954", "M AM 0", true, "954", ""},   // already AM: as the button
        {true, true, "abc", "M FM 0", false, "abc", ""},  // no number: the text stays
        // Off: the window follows, the receiver hears nothing.
        {false, true, "954", "F 80700000", false, "80.7", ""},
        {false, true, "954", "M WFM 0", false, "0.954", ""},
    };
    for (const Case& c : cases) {
        if (control.isOn() != c.on) control.Button2Click();
        line();
        window.am = c.am;
        window.fm = !c.am;
        window.frequency = c.text;
        EXPECT_EQ(session.feed(std::string(c.request) + "\n"), "RPRT 0\n") << c.request;
        EXPECT_EQ(window.am, c.amAfter) << c.request;
        EXPECT_EQ(window.fm, !c.amAfter) << c.request;
        EXPECT_EQ(window.frequency, c.textAfter) << c.request;
        EXPECT_EQ(line(), c.onTheLine) << c.request << (c.on ? " on" : " off");
    }
}

// A remote switch-on never waits for a person: what went wrong is answered at once and
// shown by the window's notice, not in a box; the user's own click keeps its box.
TEST_F(Remote, SwitchingOnNeedsAPortThatOpensAndShowsNoBox) {
    window.port = "";
    EXPECT_EQ(session.feed("\\set_powerstat 1\n"), "RPRT -11\n");

    window.port = "COM7";  // no such port: the window stays off
    control.ComboBox1Change();
    EXPECT_EQ(session.feed("\\set_powerstat 1\n"), "RPRT -6\n");
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.power, "OFF");
    control.Button2Click();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.powerNotice, window.messages[0]);
    EXPECT_EQ(window.powerNotice, far.missingPortMessage("COM7"));

    // A selected line too short to use: on all the same, and the reason in the notice.
    window.port = far.name();
    control.ComboBox1Change();
    EXPECT_EQ(window.powerNotice, "");  // it spoke of the port chosen before
    window.list.setLines({"Short,AM", "Radio1,AM,594,80,COM3"});
    window.list.setSelectedIndex(0);
    window.powerNotice = "stale";
    EXPECT_EQ(session.feed("\\set_powerstat 1\n"), "RPRT -1\n");
    EXPECT_EQ(window.power, "ON");
    EXPECT_EQ(line(), testenv::kSwitchOn);
    EXPECT_EQ(window.powerNotice, "リストのインデックスが範囲を超えています (2)");
    EXPECT_EQ(window.messages.size(), 1u);  // only the click's
    EXPECT_EQ(handlerErrors, 0);

    // The next switch-on that succeeds clears it.
    EXPECT_EQ(session.feed("\\set_powerstat 0\n"), "RPRT 0\n");
    window.list.setSelectedIndex(1);
    EXPECT_EQ(session.feed("\\set_powerstat 1\n"), "RPRT 0\n");
    EXPECT_EQ(window.powerNotice, "");
}

TEST_F(Remote, InSModeTheVolumeMovesTheStripsSlider) {
    window.compact = true;
    window.compactVolume = window.volume = 10;
    session.feed("\\set_powerstat 1\n");
    line();
    EXPECT_EQ(session.feed("L AF 0.2\n"), "RPRT 0\n");
    EXPECT_EQ(window.compactVolume, 51);
    EXPECT_EQ(window.volume, 51);
    EXPECT_EQ(line(), "J4033\r\n");  // once, through the main slider's handler
    EXPECT_EQ(session.feed("l AF\n"), "0.200000\n");
}

// Line cutting: CR LF, lines split across reads or sharing one, blank lines, the length
// bound, bytes that are not text, and "q" ending the session.
TEST_F(Remote, SessionCutsAndBoundsLines) {
    EXPECT_EQ(session.feed("v\r\n\\get_lock_mode\n"), "VFOA\n0\nRPRT 0\n");
    EXPECT_EQ(session.feed("\\chk_"), "");
    EXPECT_EQ(session.feed("vfo\n\n  \r\n"), "0\n");

    const std::string longest(kMaxRemoteLine - 2, ' ');
    EXPECT_EQ(session.feed("v" + longest + "\n"), "VFOA\n");  // 1023 bytes: a line
    // Over the bound: answered at once, the rest up to its LF dropped.
    EXPECT_EQ(session.feed("F 954000" + std::string(kMaxRemoteLine, '0')), "RPRT -1\n");
    EXPECT_EQ(session.feed(std::string(100000, '0')), "");
    EXPECT_EQ(session.feed("\nv\n"), "VFOA\n");

    EXPECT_EQ(session.feed(std::string("f\0\n\xff\xfe\x01\n", 7)), "RPRT -11\nRPRT -11\n");
    EXPECT_EQ(session.feed("q\nv\n"), "RPRT 0\n");
    EXPECT_TRUE(session.closed());
    EXPECT_EQ(session.feed("v\n"), "");
    EXPECT_EQ(line(), "");
}
