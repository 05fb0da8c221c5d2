// The simulator driven as the program drives it: through the device its COM link names.
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>

#include "tests/sim/tty_client.h"
#include "tests/support/commands.h"
#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

sim::Simulator::Options optionsIn(const testenv::TempDir& dir, const std::string& port = "COM1") {
    sim::Simulator::Options o;
    o.portsDir = dir.path();
    o.portName = port;
    return o;
}

}  // namespace

TEST(Simulator, RegistersLinkAnswersCommandsAndKeepsState) {
    testenv::TempDir dir;
    std::mutex m;
    std::vector<std::string> summaries;
    auto o = optionsIn(dir, "COM7");
    o.onSummary = [&](const std::string& s) {
        std::lock_guard lock(m);
        summaries.push_back(s);
    };
    sim::Simulator simulator(o);

    ASSERT_EQ(simulator.linkPath(), dir.file("COM7"));
    ASSERT_TRUE(fs::is_symlink(simulator.linkPath()));
    EXPECT_EQ(fs::read_symlink(simulator.linkPath()).string(), simulator.devicePath());

    TtyClient port(fs::read_symlink(dir.file("COM7")).string());
    const std::string sequence = testenv::kSwitchOn;
    port.write(sequence);
    EXPECT_EQ(port.read(16), "OK\r\nOK\r\nOK\r\nOK\r\n");
    port.write("K00080700000060400\r\nJ4078\r\n");
    EXPECT_EQ(port.read(8), "OK\r\nOK\r\n");

    // An answer goes out only after the line is recorded and applied.
    EXPECT_EQ(simulator.received(), sequence + "K00080700000060400\r\nJ4078\r\n");
    EXPECT_EQ(simulator.lines(), (std::vector<std::string>{"G300", "H101", "J4000", "J4101",
                                                           "K00080700000060400", "J4078"}));
    auto s = simulator.state();
    EXPECT_TRUE(s.power);
    EXPECT_EQ(s.band, sim::Band::FM);
    EXPECT_EQ(s.frequencyKhz, 80700);
    EXPECT_EQ(s.volume, 120);
    EXPECT_EQ(s.periodicCount, 1u);

    // One summary per change; the opening and periodic commands change nothing shown.
    std::lock_guard lock(m);
    EXPECT_EQ(summaries, (std::vector<std::string>{"ON  --  vol --", "ON  --  vol 0",
                                                   "ON  FM  80.700 MHz  vol 0",
                                                   "ON  FM  80.700 MHz  vol 120"}));

    // Every line logged with a time stamp, the bytes and what they did.
    auto logs = simulator.logLines();
    ASSERT_EQ(logs.size(), 6u);
    std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  "G300"  opening)");
    EXPECT_TRUE(std::regex_match(logs[0], stamped)) << logs[0];
    EXPECT_NE(logs[4].find("\"K00080700000060400\"  tune FM 80.700 MHz"), std::string::npos);
}

TEST(Simulator, BadLinesAreLoggedAnsweredAndNotFatal) {
    testenv::TempDir dir;
    auto o = optionsIn(dir);
    o.maxLineLength = 64;
    std::atomic<int> logCalls{0};
    o.onLog = [&](const std::string&) { ++logCalls; };
    sim::Simulator simulator(o);
    TtyClient port(simulator.devicePath());

    port.write("XYZ\r\n");                           // unknown
    port.write("H101\n");                            // LF without CR
    port.write(std::string(200, 'A') + "H101\r\n");  // overlong, then dropped up to LF
    port.write(std::string("\x82\xA0\x01\r\n", 5));  // binary junk
    port.write("\r\n");                              // empty
    EXPECT_EQ(port.read(25), "ERR\r\nERR\r\nERR\r\nERR\r\nERR\r\n");
    EXPECT_FALSE(simulator.state().power) << "none of these is a power command";

    auto records = simulator.records();
    ASSERT_EQ(records.size(), 5u);
    for (const auto& r : records) {
        EXPECT_FALSE(r.understood);
        EXPECT_EQ(r.meaning.rfind("not understood", 0), 0u) << r.meaning;
    }
    EXPECT_EQ(records[2].text.size(), 64u);
    EXPECT_NE(records[2].meaning.find("longer than 64"), std::string::npos);
    auto logs = simulator.logLines();
    EXPECT_NE(logs[0].find("\"XYZ\"  not understood: unknown command"), std::string::npos);
    EXPECT_NE(logs[1].find("without CR"), std::string::npos);
    EXPECT_NE(logs[3].find("\"\\x82\\xA0\\x01\""), std::string::npos) << logs[3];
    EXPECT_EQ(logCalls.load(), 5);

    // Still serving.
    port.write("H101\r\n");
    EXPECT_EQ(port.read(4), "OK\r\n");
    EXPECT_TRUE(simulator.state().power);
}

TEST(Simulator, LinesSplitAcrossWritesAndReopenedPort) {
    testenv::TempDir dir;
    sim::Simulator simulator(optionsIn(dir));
    {
        TtyClient port(simulator.devicePath());
        port.write("K0008");
        port.write("0700000060400\r");
        // Nothing is complete before the LF.
        EXPECT_FALSE(simulator.waitForLines(1, 200ms));
        port.write("\nH1");
        ASSERT_TRUE(simulator.waitForLines(1, 5s));
        port.write("01\r\nJ40");
        ASSERT_TRUE(simulator.waitForLines(2, 5s));
        EXPECT_EQ(port.read(8), "OK\r\nOK\r\n");
    }
    // The program closes and reopens its port: the line in progress survives, and the
    // receiver still hears and answers.
    TtyClient port(simulator.devicePath());
    port.write("0A\r\n");
    ASSERT_TRUE(simulator.waitForLines(3, 5s));
    EXPECT_EQ(port.read(4), "OK\r\n");
    EXPECT_EQ(simulator.lines(), (std::vector<std::string>{"K00080700000060400", "H101", "J400A"}));
    EXPECT_EQ(simulator.state().volume, 10);

    // clear() forgets the record, not the state; waits count from there.
    simulator.clear();
    EXPECT_TRUE(simulator.received().empty());
    EXPECT_TRUE(simulator.lines().empty());
    EXPECT_TRUE(simulator.logLines().empty());
    EXPECT_TRUE(simulator.state().power);
    EXPECT_FALSE(simulator.waitForBytes(1, 100ms));
    port.write("H100\r\n");
    ASSERT_TRUE(simulator.waitForBytes(6, 5s));
    ASSERT_TRUE(simulator.waitForLines(1, 5s));
    EXPECT_EQ(simulator.received(), "H100\r\n");
    EXPECT_FALSE(simulator.state().power);
}

TEST(Simulator, LinkOwnershipInThePortsFolder) {
    testenv::TempDir dir;
    std::string device;
    {
        sim::Simulator simulator(optionsIn(dir, "COM2"));
        device = simulator.devicePath();
        ASSERT_TRUE(fs::is_symlink(dir.file("COM2")));
        // A second simulator may not take a live port.
        try {
            sim::Simulator second(optionsIn(dir, "COM2"));
            ADD_FAILURE() << "a live link was taken over";
        } catch (const sim::SimError& e) {
            EXPECT_NE(std::string(e.what()).find("taken"), std::string::npos) << e.what();
        }
        EXPECT_EQ(fs::read_symlink(dir.file("COM2")).string(), device);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("COM2")))) << "link left behind";

    // A dangling link from a run that died is replaced.
    fs::create_symlink(dir.file("gone/pts/99"), dir.file("COM3"));
    {
        sim::Simulator simulator(optionsIn(dir, "COM3"));
        EXPECT_EQ(fs::read_symlink(dir.file("COM3")).string(), simulator.devicePath());
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("COM3"))));

    // Someone else's device, or a plain file, under the name is never touched.
    testenv::Pty other;
    other.linkAs(dir.path(), "COM4");
    EXPECT_THROW(sim::Simulator(optionsIn(dir, "COM4")), sim::SimError);
    EXPECT_EQ(fs::read_symlink(dir.file("COM4")).string(), other.slavePath());
    { std::ofstream(dir.file("COM5")) << "x"; }
    EXPECT_THROW(sim::Simulator(optionsIn(dir, "COM5")), sim::SimError);
    EXPECT_TRUE(fs::is_regular_file(dir.file("COM5")));

    // Names that are not COM names (a path, for one) are refused.
    EXPECT_THROW(sim::Simulator(optionsIn(dir, "../COM1")), sim::SimError);
    EXPECT_THROW(sim::Simulator(optionsIn(dir, "COM")), sim::SimError);

    // A link replaced by someone else while running stays at the end.
    {
        sim::Simulator simulator(optionsIn(dir, "COM6"));
        fs::remove(dir.file("COM6"));
        fs::create_symlink(other.slavePath(), dir.file("COM6"));
    }
    EXPECT_EQ(fs::read_symlink(dir.file("COM6")).string(), other.slavePath());
}

TEST(Simulator, DefaultPortsFolder) {
    testenv::TempDir dir;
    {
        testenv::ScopedEnv ports("KIVO_PORTS", dir.file("ports"));
        EXPECT_EQ(sim::defaultPortsDir(), dir.file("ports"));
        // An empty options folder means the default, created when missing.
        sim::Simulator simulator(sim::Simulator::Options{});
        EXPECT_EQ(simulator.linkPath(), dir.file("ports/COM1"));
        EXPECT_TRUE(fs::is_symlink(dir.file("ports/COM1")));
    }
    testenv::ScopedEnv noPorts("KIVO_PORTS", "");
    testenv::ScopedEnv home("HOME", dir.file("home"));
    {
        testenv::ScopedEnv xdg("XDG_CONFIG_HOME", dir.file("cfg"));
        EXPECT_EQ(sim::defaultPortsDir(), dir.file("cfg/kivo/ports"));
    }
    testenv::ScopedEnv xdg("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(sim::defaultPortsDir(), dir.file("home/.config/kivo/ports"));
}
