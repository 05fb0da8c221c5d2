// The kivo-sim program as a person runs it: options, registration, reactions, clean stop.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/sim/child_process.h"
#include "tests/sim/tty_client.h"
#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
const std::string kProgram = KIVO_SIM_PROGRAM;
}

TEST(SimProgram, HelpAndBadOptions) {
    std::string out, err;
    EXPECT_EQ(runProgram({kProgram, "--help"}, &out, &err), 0);
    EXPECT_NE(out.find("Usage: kivo-sim"), std::string::npos) << out;
    for (const char* option : {"--port", "--ports-dir", "--log", "KIVO_PORTS"})
        EXPECT_NE(out.find(option), std::string::npos) << option;

    testenv::TempDir dir;
    testenv::ScopedEnv ports("KIVO_PORTS", dir.path());
    EXPECT_EQ(runProgram({kProgram, "--frobnicate"}, &out, &err), 2);
    EXPECT_NE(err.find("unknown option"), std::string::npos) << err;
    EXPECT_EQ(runProgram({kProgram, "--port", "ttyS0"}, &out, &err), 2);
    EXPECT_EQ(runProgram({kProgram, "--port"}, &out, &err), 2);
    EXPECT_TRUE(fs::is_empty(dir.path())) << "nothing registered on a usage error";
}

TEST(SimProgram, RegistersReactsAndCleansUpOnSigterm) {
    testenv::TempDir dir;
    const std::string ports = dir.file("new/ports");  // created by the program
    testenv::ScopedEnv env("KIVO_PORTS", ports);
    ChildProcess sim({kProgram, "--port=COM3", "--ports-dir", ports});
    ASSERT_TRUE(sim.waitForOutput("state: OFF", 10s)) << sim.out() << sim.err();
    const std::string link = ports + "/COM3";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_NE(sim.out().find(fs::read_symlink(link).string()), std::string::npos) << sim.out();

    {
        TtyClient port(link);
        port.write("H101\r\nJ4078\r\nK00000954000020100\r\nhello\r\n");
        EXPECT_EQ(port.read(17), "OK\r\nOK\r\nOK\r\nERR\r\n");
    }
    EXPECT_TRUE(sim.waitForOutput("state: ON  AM  954 kHz  vol 120", 5s)) << sim.out();
    EXPECT_TRUE(sim.waitForOutput("\"hello\"  not understood", 5s)) << sim.out();

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.finish(10s), 0) << sim.err();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "link left behind";
}

TEST(SimProgram, LogFileAndSigint) {
    testenv::TempDir dir;
    testenv::ScopedEnv env("KIVO_PORTS", dir.path());  // the default folder
    const std::string logFile = dir.file("received.log");
    ChildProcess sim({kProgram, "--log", logFile});
    ASSERT_TRUE(sim.waitForOutput("state: OFF", 10s)) << sim.out() << sim.err();
    {
        TtyClient port(dir.file("COM1"));
        port.write("H101\r\n");
        EXPECT_EQ(port.read(4), "OK\r\n");
    }
    ASSERT_TRUE(sim.waitForOutput("state: ON", 5s));
    sim.signal(SIGINT);
    EXPECT_EQ(sim.finish(10s), 0) << sim.err();
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("COM1"))));

    std::stringstream log;
    log << std::ifstream(logFile).rdbuf();
    EXPECT_NE(log.str().find("\"H101\"  power on\n"), std::string::npos) << log.str();
    EXPECT_EQ(sim.out().find("\"H101\""), std::string::npos) << "received lines went to the log";
}

TEST(SimProgram, RefusesAPortInUse) {
    testenv::TempDir dir;
    testenv::ScopedEnv env("KIVO_PORTS", dir.path());
    testenv::Pty someoneElse;
    someoneElse.linkAs(dir.path(), "COM1");
    std::string out, err;
    EXPECT_EQ(runProgram({kProgram, "--ports-dir", dir.path()}, &out, &err), 1);
    EXPECT_NE(err.find("COM1 is taken"), std::string::npos) << err;
    EXPECT_EQ(fs::read_symlink(dir.file("COM1")).string(), someoneElse.slavePath());

    // A log that cannot be written is refused before anything is registered.
    fs::remove(dir.file("COM1"));
    EXPECT_EQ(runProgram({kProgram, "--log", dir.file("no/such/dir/log")}, &out, &err), 1);
    EXPECT_NE(err.find("cannot open the log"), std::string::npos) << err;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// SIGUSR1 pulls the receiver out (its line hangs up, its link goes, it forgets its state)
// and plugs it in again under the same name; the stop signals still stop it.
TEST(SimProgram, UnplugsAndPlugsInAgainOnSigusr1) {
    testenv::TempDir dir;
    testenv::ScopedEnv env("KIVO_PORTS", dir.path());
    ChildProcess sim({kProgram, "--port", "COM3"});
    ASSERT_TRUE(sim.waitForOutput("kill -USR1", 10s)) << sim.out() << sim.err();
    const std::string link = dir.file("COM3");
    {
        TtyClient port(link);
        port.write("H101\r\n");
        EXPECT_EQ(port.read(4), "OK\r\n");
        ASSERT_TRUE(sim.waitForOutput("state: ON", 5s));

        sim.signal(SIGUSR1);
        ASSERT_TRUE(sim.waitForOutput("unplugged: COM3 has gone", 5s)) << sim.out();
        EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    }
    sim.signal(SIGUSR1);
    ASSERT_TRUE(sim.waitForOutput("plugged in again: COM3 -> ", 5s)) << sim.out();
    ASSERT_TRUE(fs::is_symlink(link));
    {
        TtyClient port(link);
        port.write("J4078\r\n");
        EXPECT_EQ(port.read(4), "OK\r\n");
    }
    EXPECT_TRUE(sim.waitForOutput("state: OFF  --  vol 120", 5s)) << sim.out();

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.finish(10s), 0) << sim.err();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}
