// The remote-control commands in their extended forms, several to a line and in VFO mode,
// against an in-memory window and a real serial line: each reply and what reaches the receiver.
#include <gtest/gtest.h>

#include "core/remoteprotocol.h"
#include "core/remotesession.h"
#include "kivo_version.h"
#include "tests/core/linewindow.h"

using namespace kivo;

namespace {

class RemoteCommands : public LineWindowTest {
  protected:
    void SetUp() override {
        LineWindowTest::SetUp();
        ASSERT_EQ(session.feed("\\set_powerstat 1\nF 954000\n"), "RPRT 0\nRPRT 0\n");
        line();
    }

    struct Exchange {
        std::string request;
        std::string reply;
        std::string onTheLine = "";  // what the receiver gets for it
    };
    void play(RemoteSession& client, const std::vector<Exchange>& script) {
        for (const Exchange& e : script) {
            EXPECT_EQ(client.feed(e.request + "\n"), e.reply) << e.request;
            EXPECT_EQ(line(), e.onTheLine) << e.request;
        }
    }

    RemoteProtocol protocol{control};
    RemoteSession session{protocol};
};

const std::string kInfo = "KIVO " KIVO_VERSION;

}  // namespace

// Every command KIVO serves, with the '+' prefix and with the one-line separators.
TEST_F(RemoteCommands, ExtendedAnswersNameTheCommandKeyTheValuesAndEndInTheStatus) {
    play(session,
         {
             {"+f", "get_freq:\nFrequency: 954000\nRPRT 0\n"},
             {";f", "get_freq:;Frequency: 954000;RPRT 0\n"},
             {"+\\get_freq", "get_freq:\nFrequency: 954000\nRPRT 0\n"},
             {"+F 594000", "set_freq: 594000\nRPRT 0\n", "K00000594000020100\r\n"},
             {"+m", "get_mode:\nMode: AM\nPassband: 9000\nRPRT 0\n"},
             {"|m", "get_mode:|Mode: AM|Passband: 9000|RPRT 0\n"},
             {"+M AM 0", "set_mode: AM 0\nRPRT 0\n"},
             {"+M ?", "set_mode: ?\nAM FM WFM \nRPRT 0\n"},
             {",M ?", "set_mode: ?,AM FM WFM ,RPRT 0\n"},
             {"M ?", "AM FM WFM \n"},
             {"+L AF 0.5", "set_level: AF 0.5\nRPRT 0\n", "J4080\r\n"},
             {"+l AF", "get_level: AF\n0.501961\nRPRT 0\n"},
             {";l AF", "get_level: AF;0.501961;RPRT 0\n"},
             {"+\\get_powerstat", "get_powerstat:\nPower Status: 1\nRPRT 0\n"},
             {"+v", "get_vfo:\nVFO: VFOA\nRPRT 0\n"},
             {"+V VFOA", "set_vfo: VFOA\nRPRT 0\n"},
             {"+s", "get_split_vfo:\nSplit: 0\nTX VFO: VFOA\nRPRT 0\n"},
             {"|s", "get_split_vfo:|Split: 0|TX VFO: VFOA|RPRT 0\n"},
             {"+\\get_lock_mode", "get_lock_mode:\nLocked: 0\nRPRT 0\n"},
             {"+\\chk_vfo", "ChkVFO: 0\n"},
             {"+t", "get_ptt:\nPTT: 0\nRPRT 0\n"},
             {"t", "0\n"},
             {"+\\get_info", "get_info:\nInfo: " + kInfo + "\nRPRT 0\n"},
             {"\\get_info", kInfo + "\n"},
             {"+\\get_vfo_info VFOA",
              "get_vfo_info: VFOA\nFreq: 594000\nMode: AM\nWidth: 9000\nSplit: 0\nSatMode: 0\n"
              "RPRT 0\n"},
             {"\\get_vfo_info VFOA", "594000\nAM\n9000\n0\n0\n"},
             {",\\set_vfo_opt 0", "set_vfo_opt: 0,RPRT 0\n"},
             // Errors: the name line, then the status alone.
             {"+F abc", "set_freq: abc\nRPRT -1\n"},
             {";L AF 2", "set_level: AF 2;RPRT -1\n"},
             {"+l", "get_level:\nRPRT -11\n"},
             {"+f VFOB", "get_freq: VFOB\nRPRT -11\n"},
             {"+T 1", "set_ptt: 1\nRPRT -11\n"},
             {"+\\set_split_vfo 1 VFOB", "set_split_vfo: 1 VFOB\nRPRT -11\n"},
             {"+U NB 1", "RPRT -11\n"},  // not known at all: no name to give
         });

    std::string state = session.feed("+\\dump_state\n");
    EXPECT_EQ(state.substr(0, 14), "dump_state:\n1\n") << state;
    EXPECT_EQ(state.substr(state.size() - 12), "done\nRPRT 0\n") << state;
    for (const char* form : {"\\dump_caps\n", "+\\dump_caps\n"}) {
        const std::string caps = session.feed(form);
        EXPECT_EQ(caps.starts_with("dump_caps:\n"), form[0] == '+') << caps;
        for (const char* fact :
             {"\nCaps dump for model: 2\n", "\nModel name:\tKIVO\n", "\nRig type:\tReceiver\n",
              "\nCan set Frequency:\tY\n", "\nCan get VFO:\tY\n", "\nCan set VFO:\tN\n",
              "\nCan set Power Stat:\tY\n", "\nCan set PTT:\tN\n", "\nCan get Level:\tY\n"})
            EXPECT_NE(("\n" + caps).find(fact), std::string::npos) << fact;
        EXPECT_TRUE(caps.ends_with("\tY\nRPRT 0\n")) << caps;
    }

    EXPECT_EQ(session.feed("+q\nf\n"), "quit:\nRPRT 0\n");
    EXPECT_TRUE(session.closed());
}

// Several commands on a line: each answered in turn as if it had its own line; the
// arguments a command takes are its own, whatever they look like; after a command that is
// not known, its words cannot be told apart, so the line ends with its one answer.
TEST_F(RemoteCommands, SeveralCommandsOnALineAreEachAnsweredInTurn) {
    play(session,
         {
             {"f m v", "954000\nAM\n9000\nVFOA\n"},
             {"F 594000 f", "RPRT 0\n594000\n", "K00000594000020100\r\n"},
             {"+f +m +v",
              "get_freq:\nFrequency: 594000\nRPRT 0\nget_mode:\nMode: AM\nPassband: 9000\nRPRT 0\n"
              "get_vfo:\nVFO: VFOA\nRPRT 0\n"},
             {";f |v", "get_freq:;Frequency: 594000;RPRT 0\nget_vfo:|VFO: VFOA|RPRT 0\n"},
             {"L AF 0.2 l AF", "RPRT 0\n0.200000\n", "J4033\r\n"},
             {"M AM f", "RPRT 0\n594000\n"},  // no passband: the next word is a command
             {"M AM -1 v", "RPRT 0\nVFOA\n"},
             {"F f", "RPRT -1\n"},  // "f" is F's value
             {"l", "RPRT -11\n"},   // no level named: another protocol's signal level
             {"l RF", "RPRT -1\n"},
             {"T 1 t", "RPRT -11\n0\n"},
             {"S 1 VFOB f", "RPRT -11\n594000\n"},
             {"E 5 \\get_mem v", "RPRT -11\nRPRT -11\nVFOA\n"},
             {"f xyz 12 m", "594000\nRPRT -11\n"},
             {"\x8b f", "RPRT -11\n"},
             {"\\set_powerstat 0 \\get_powerstat", "RPRT 0\n0\n", "H100\r\n"},
         });

    // One command a step, each answer whole: the server writes each as it comes.
    session.receive("f +m ; v\r\nq v\n");
    std::vector<std::string> answers;
    for (std::string out; session.step(out); out.clear()) answers.push_back(out);
    EXPECT_EQ(answers,
              (std::vector<std::string>{"594000\n", "get_mode:\nMode: AM\nPassband: 9000\nRPRT 0\n",
                                        "RPRT -11\n", "RPRT 0\n"}));
    EXPECT_TRUE(session.closed());
}

// VFO mode belongs to the connection that chose it. A VFO name before the arguments is
// understood with or without it; every name of KIVO's one VFO means it, VFOB is not there.
TEST_F(RemoteCommands, VfoModeIsPerConnectionAndVfoBIsNotThere) {
    RemoteSession other(protocol);
    play(session,
         {
             {"\\set_vfo_opt 1", "RPRT 0\n"},
             {"\\chk_vfo", "1\n"},
             {"+\\chk_vfo", "ChkVFO: 1\n"},
             {"f VFOA", "954000\n"},
             {"F currVFO 594000", "RPRT 0\n", "K00000594000020100\r\n"},
             {"+f VFOA", "get_freq: VFOA\nFrequency: 594000\nRPRT 0\n"},
             {"+F Main 954000", "set_freq: Main 954000\nRPRT 0\n", "K00000954000020100\r\n"},
             {"M MainA AM 0 m VFO", "RPRT 0\nAM\n9000\n"},
             {"+M VFOA ?", "set_mode: VFOA ?\nAM FM WFM \nRPRT 0\n"},
             {"L VFOA AF 1 l VFOA AF", "RPRT 0\n1.000000\n", "J40FF\r\n"},
             {"s VFOA t VFOA", "0\nVFOA\n0\n"},
             {"\\get_vfo_info VFOA", "954000\nAM\n9000\n0\n0\n"},
             {"f VFOB", "RPRT -11\n"},
             {"F VFOB 594000", "RPRT -11\n"},
             {"M VFOB WFM 0", "RPRT -11\n"},
             {"L VFOB AF 0", "RPRT -11\n"},
             {"\\get_vfo_info VFOB", "RPRT -11\n"},
             {"t Sub", "RPRT -11\n"},
             {"V VFOB", "RPRT -11\n"},
             {"f", "954000\n"},  // a client that leaves the VFO out is answered all the same
         });
    play(other, {
                    {"\\chk_vfo", "0\n"},
                    {"F VFOA 594000", "RPRT 0\n", "K00000594000020100\r\n"},
                    {"+M VFOA AM 0", "set_mode: VFOA AM 0\nRPRT 0\n"},
                    {"\\set_vfo_opt 2", "RPRT -1\n"},
                    {"\\set_vfo_opt", "RPRT -1\n"},
                });
    play(session, {
                      {"\\set_vfo_opt 0", "RPRT 0\n"},
                      {"\\chk_vfo", "0\n"},
                  });
}
