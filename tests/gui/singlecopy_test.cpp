// The single-copy rule between real processes: the built program, copied with its
// channel file into a private folder, on a simulated receiver.
#include "app/qt/singlecopy.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "kivo_version.h"
#include "sim/simulator.h"
#include "tests/support/testenv.h"

using namespace std::chrono_literals;

namespace {

std::string cmds(std::initializer_list<const char*> commands) {
    std::string out;
    for (const char* c : commands) out += std::string(c) + "\r\n";
    return out;
}

// How a copy is run, beyond its arguments.
struct How {
    QStringList before;              // a program (and its arguments) that runs it
    std::map<QString, QString> env;  // set on top of the usual
    bool keepErr = false;            // standard error read by the test
};

class SingleCopyTest : public testing::Test {
  protected:
    SingleCopyTest()
        : runtimeEnv("XDG_RUNTIME_DIR", runtime.path()), receiver(simOptions(ports.path())) {
        std::filesystem::copy_file(KIVO_PROGRAM, program.file("kivo"));
        std::ofstream ini(program.file("KIVO.ini"), std::ios::binary);
        ini << "Radio1,AM,594,80,COM3\r\nRadio2,FM,80.7,120,COM3\r\n-reverse,AM,954,64,COM3\r\n";
    }

    static sim::Simulator::Options simOptions(const std::string& portsDir) {
        sim::Simulator::Options o;
        o.portsDir = portsDir;
        o.portName = "COM3";
        return o;
    }

    std::unique_ptr<QProcess> launch(const QStringList& args) { return launch(args, How()); }
    std::unique_ptr<QProcess> launch(const QStringList& args, const How& how) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KIVO_PORTS", QString::fromStdString(ports.path()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtimeDir));
        for (const auto& [name, value] : how.env) env.insert(name, value);
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(how.keepErr ? QProcess::SeparateChannels
                                             : QProcess::ForwardedErrorChannel);
        // A group of its own: when the test's group is orphaned, the kernel would wake a
        // stopped member with SIGHUP and SIGCONT, and the stopped copy must stay stopped.
        p->setChildProcessModifier([] { ::setpgid(0, 0); });
        const QString kivo = QString::fromStdString(program.file("kivo"));
        if (how.before.isEmpty())
            p->start(kivo, args);
        else
            p->start(how.before.front(), how.before.mid(1) + QStringList{kivo} + args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }

    // A later start without a channel closes `running`, which switches the receiver off.
    void closeByALaterStart(QProcess& running) {
        ASSERT_TRUE(waitUntilListening(running));
        receiver.clear();
        auto closer = launch({});
        ASSERT_TRUE(closer->waitForFinished(30000));
        EXPECT_EQ(closer->exitCode(), 0);
        ASSERT_TRUE(running.waitForFinished(10000));
        receiver.waitForBytes(6, 5s);
        EXPECT_EQ(receiver.received(), cmds({"H100"}));
    }

    // The copies run with `dir` as their runtime folder from now on.
    void useRuntimeFolder(const std::string& dir) {
        runtimeDir = dir;
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);  // for endpoint(); restored at the end
    }

    std::string endpoint() const { return SingleCopy::endpointFor("kivo").toStdString(); }

    // A running copy is answering once its endpoint is there.
    bool waitUntilListening(QProcess& p) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            if (p.state() != QProcess::Running) return false;
            struct stat st {};
            if (::stat(endpoint().c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return true;
            QThread::msleep(20);
        }
        return false;
    }

    testenv::TempDir runtime;
    std::string runtimeDir = runtime.path();
    testenv::TempDir ports;
    testenv::TempDir program;
    testenv::ScopedEnv runtimeEnv;
    sim::Simulator receiver;
};

// What start-up with Radio1 sends: "H101", "J4000", "J4101", the tune twice, the volume
// once (the slider stands at 80 already). The endpoint listens before start-up, so a test
// waits for all of them.
constexpr std::size_t kStartupLines = 6;

}  // namespace

TEST_F(SingleCopyTest, SecondStartWithoutChannelClosesTheRunningCopyAndEnds) {
    // Receiver off: the running copy sends nothing and ends.
    auto first = launch({});
    ASSERT_TRUE(waitUntilListening(*first));
    auto second = launch({});
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitCode(), 0);
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(receiver.received(), "");

    // Receiver on: the first switches it off before it ends.
    first = launch({"Radio1"});
    ASSERT_TRUE(waitUntilListening(*first));
    ASSERT_TRUE(receiver.waitForLines(kStartupLines, 10s));
    receiver.clear();
    second = launch({});
    ASSERT_TRUE(second->waitForFinished(30000));
    receiver.waitForBytes(6, 5s);
    EXPECT_EQ(receiver.received(), cmds({"H100"}));
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_EQ(first->exitCode(), 0);
}

TEST_F(SingleCopyTest, SecondStartWithChannelTakesOverAfterTheFirstHasClosed) {
    auto first = launch({"Radio1"});
    ASSERT_TRUE(waitUntilListening(*first));
    ASSERT_TRUE(receiver.waitForLines(kStartupLines, 10s));
    receiver.clear();

    QElapsedTimer clock;
    clock.start();
    auto second = launch({"Radio2"});
    ASSERT_TRUE(first->waitForFinished(30000));
    ASSERT_TRUE(receiver.waitForLines(8, 20s));
    EXPECT_GE(clock.elapsed(), 1000);  // the pause between the two copies
    EXPECT_EQ(receiver.lines(),
              (std::vector<std::string>{"H100", "H101", "J4000", "J4101", "K00080700000060400",
                                        "K00080700000060400", "J4078", "J4078"}));
    EXPECT_EQ(second->state(), QProcess::Running);

    // The copy that took over answers the next start in turn.
    closeByALaterStart(*second);
}

TEST_F(SingleCopyTest, LeftoverEndpointNeitherBlocksNorDelaysAStartAndTheEndpointIsPrivate) {
    // What a crashed copy leaves: a socket file nobody listens on.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, endpoint().c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);

    QElapsedTimer clock;
    clock.start();
    auto first = launch({});
    // It starts as usual (no close attempt that waits) and takes the endpoint over.
    QThread::msleep(300);
    ASSERT_EQ(first->state(), QProcess::Running);
    auto probe = launch({});
    ASSERT_TRUE(probe->waitForFinished(30000));
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_LT(clock.elapsed(), 20000);

    first = launch({});
    ASSERT_TRUE(waitUntilListening(*first));
    struct stat st {};
    ASSERT_EQ(::stat(endpoint().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << st.st_mode;
    ASSERT_EQ(::stat(runtime.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << st.st_mode;
    auto closer = launch({});
    ASSERT_TRUE(closer->waitForFinished(30000));
    ASSERT_TRUE(first->waitForFinished(10000));
}

TEST_F(SingleCopyTest, TerminationSignalClosesLikeTheWindowsCloseBox) {
    auto running = launch({"Radio1"});
    ASSERT_TRUE(waitUntilListening(*running));
    ASSERT_TRUE(receiver.waitForLines(kStartupLines, 10s));
    receiver.clear();
    running->terminate();  // SIGTERM
    ASSERT_TRUE(running->waitForFinished(10000));
    EXPECT_EQ(running->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(running->exitCode(), 0);
    receiver.waitForBytes(6, 5s);
    EXPECT_EQ(receiver.received(), cmds({"H100"}));
}

// A signal while start-up is still tuning the command-line channel (the receiver is
// already on) waits for the window and then closes it the same way.
TEST_F(SingleCopyTest, TerminationSignalDuringStartUpStillSwitchesOff) {
    auto running = launch({"Radio1"});
    ASSERT_TRUE(receiver.waitForLines(1, 20s));  // "H101": start-up is under way
    running->terminate();
    ASSERT_TRUE(running->waitForFinished(20000));
    EXPECT_EQ(running->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(running->exitCode(), 0);
    receiver.waitForLines(7, 5s);
    std::vector<std::string> lines = receiver.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "H101");
    EXPECT_EQ(lines.back(), "H100");
}

// A copy that is stopped holds a later start up until it goes on: the later start never
// replaces its endpoint nor runs beside it, however long it waits (before, it gave up after
// 60 s, took the endpoint over and tuned; the stopped copy, once continued, removed the
// new copy's endpoint, and a third start ran beside that one). A start whose wait runs out
// ends instead of running.
TEST_F(SingleCopyTest, AStoppedCopyHoldsALaterStartUpAndNeverRunsBesideIt) {
    constexpr auto kStoppedFor = 3s;
    auto first = launch({"Radio1"});
    ASSERT_TRUE(waitUntilListening(*first));
    ASSERT_TRUE(receiver.waitForLines(kStartupLines, 10s));
    receiver.clear();

    ASSERT_EQ(::kill(static_cast<pid_t>(first->processId()), SIGSTOP), 0);
    auto second = launch({"Radio2"});
    QThread::sleep(std::chrono::duration_cast<std::chrono::seconds>(kStoppedFor).count());
    EXPECT_EQ(second->state(), QProcess::Running);
    EXPECT_EQ(receiver.received(), "");  // it waits, and touches nothing
    {
        // A start whose wait runs out ends without running: the stopped copy's endpoint
        // and lock stay as they were.
        SingleCopy late(QStringLiteral("kivo"));
        EXPECT_EQ(late.claim(300ms), SingleCopy::Claim::StillRunning);
    }
    struct stat kept {};
    EXPECT_EQ(::stat(endpoint().c_str(), &kept), 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(first->processId()), SIGCONT), 0);

    ASSERT_TRUE(first->waitForFinished(30000));
    EXPECT_EQ(first->exitCode(), 0);
    ASSERT_TRUE(receiver.waitForLines(8, 20s));
    EXPECT_EQ(receiver.lines(),
              (std::vector<std::string>{"H100", "H101", "J4000", "J4101", "K00080700000060400",
                                        "K00080700000060400", "J4078", "J4078"}));

    // The copy that took over is the one a third start finds.
    closeByALaterStart(*second);
    struct stat st {};
    EXPECT_NE(::stat(endpoint().c_str(), &st), 0);  // the last copy took its endpoint along
}

// A copy still showing its start-up box ("KIVO.ini" missing) is found by a later start and
// ends at once: its box is dismissed and its closing sequence runs; a termination signal
// ends it alike (before, the endpoint listened only after start-up: a later start ran as
// a second copy, and a signal waited for the box).
TEST_F(SingleCopyTest, ACopyShowingItsStartUpBoxEndsOnRequest) {
    struct Case {
        const char* name;
        QStringList secondStart;  // empty: SIGTERM instead
    } cases[] = {
        {"a start without channel", {""}},
        {"a start with a channel", {"Radio1"}},
        {"a termination signal", {}},
    };
    const std::string ini = program.file("KIVO.ini");
    const std::string kept = program.file("KIVO.ini.kept");
    std::filesystem::rename(ini, kept);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(ini);
        auto boxed = launch({});
        ASSERT_TRUE(waitUntilListening(*boxed));
        QThread::msleep(500);  // into its box
        ASSERT_EQ(boxed->state(), QProcess::Running);
        std::filesystem::copy_file(kept, ini);  // the later start has one

        std::unique_ptr<QProcess> second;
        if (c.secondStart.isEmpty())
            boxed->terminate();
        else
            second = launch(c.secondStart.front().isEmpty() ? QStringList{} : c.secondStart);
        ASSERT_TRUE(boxed->waitForFinished(10000));
        EXPECT_EQ(boxed->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(boxed->exitCode(), 0);
        if (!second) continue;
        if (c.secondStart.front().isEmpty()) {
            ASSERT_TRUE(second->waitForFinished(10000));  // it only closed the boxed copy
            EXPECT_EQ(second->exitCode(), 0);
            EXPECT_EQ(receiver.received(), "");
            continue;
        }
        // It takes over and tunes, then a third start closes it in turn.
        ASSERT_TRUE(receiver.waitForLines(kStartupLines, 20s));
        ASSERT_TRUE(waitUntilListening(*second));
        auto third = launch({});
        ASSERT_TRUE(third->waitForFinished(30000));
        ASSERT_TRUE(second->waitForFinished(10000));
        receiver.clear();
    }
}

// Options that print something neither look for a running copy nor open a port; a bad
// option is refused before anything else happens.
TEST_F(SingleCopyTest, PrintingOptionsAndBadOptionsLeaveTheRunningCopyAlone) {
    auto running = launch({"Radio1"});
    ASSERT_TRUE(waitUntilListening(*running));
    ASSERT_TRUE(receiver.waitForLines(kStartupLines, 10s));
    receiver.clear();

    struct Case {
        QStringList args;
        int exitCode;
        QByteArray output;  // part of standard output
    } cases[] = {
        {{"--version"}, 0, QByteArray("kivo " KIVO_VERSION "\n")},
        {{"--help", "Radio2"}, 0, QByteArray("Usage: kivo [OPTION]... [CHANNEL]")},
        {{"--no-such-option", "Radio2"}, 2, QByteArray()},
        {{"--list-ports"},
         0,
         QByteArray("in use by kivo (pid ") + QByteArray::number(running->processId())},
        {{"--map-port", "COM4", "/dev/null"}, 1, QByteArray()},
        {{"--unmap-port"}, 2, QByteArray()},
    };
    for (const Case& c : cases) {
        auto p = launch(c.args);
        ASSERT_TRUE(p->waitForFinished(10000)) << c.args.join(' ').toStdString();
        EXPECT_EQ(p->exitCode(), c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(p->readAllStandardOutput().contains(c.output))
            << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(running->state(), QProcess::Running);
    EXPECT_EQ(receiver.received(), "");

    auto closer = launch({});
    ASSERT_TRUE(closer->waitForFinished(30000));
    ASSERT_TRUE(running->waitForFinished(10000));
}

// The toolkit reads nothing from the command line: "-reverse" is the channel's name.
TEST_F(SingleCopyTest, ToolkitOptionNamesAChannel) {
    auto running = launch({"-reverse"});
    ASSERT_TRUE(waitUntilListening(*running));
    ASSERT_TRUE(receiver.waitForLines(7, 10s));
    std::vector<std::string> lines = receiver.lines();
    EXPECT_EQ(lines.at(3), "K00000954000020100");
    EXPECT_EQ(lines.at(5), "J4040");
    auto closer = launch({});
    ASSERT_TRUE(closer->waitForFinished(30000));
    ASSERT_TRUE(running->waitForFinished(10000));
}

// A runtime folder deeper than a socket address is long: the running copy still answers,
// and later starts take over and close it as usual (before, the endpoint was never made:
// a later start waited 3 minutes and ended with status 1 while the first copy ran on).
TEST_F(SingleCopyTest, ARuntimeFolderWithALongPathStillFindsTheRunningCopy) {
    const std::string deep = runtime.file(std::string(120, 'r'));
    ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    useRuntimeFolder(deep);
    ASSERT_GE(endpoint().size(), sizeof(sockaddr_un::sun_path));

    auto first = launch({"Radio1"});
    ASSERT_TRUE(waitUntilListening(*first));
    ASSERT_TRUE(receiver.waitForLines(kStartupLines, 10s));
    receiver.clear();
    auto second = launch({"Radio2"});
    ASSERT_TRUE(first->waitForFinished(30000));
    EXPECT_EQ(first->exitCode(), 0);
    ASSERT_TRUE(receiver.waitForLines(kStartupLines + 2, 20s));
    EXPECT_EQ(receiver.lines().front(), "H100");

    closeByALaterStart(*second);
}

// A copy whose lock does not lock, or whose endpoint cannot be made, runs by itself and
// says so on standard error (before: locks that fail, as on a file system without a lock
// service, were taken for another copy's, and the start waited 3 minutes and ended; an
// endpoint that could not be made went unsaid).
TEST_F(SingleCopyTest, ACopyThatCannotLockOrListenRunsAloneAndSaysSo) {
    const std::string lock = endpoint() + ".lock";
    const struct Case {
        const char* what;
        std::function<void()> arrange;
        QStringList before;
        std::string message;
    } cases[] = {
        {"a folder where the endpoint goes",
         [&] { ASSERT_EQ(::mkdir(endpoint().c_str(), 0700), 0); },
         {},
         "kivo: cannot make the endpoint " + endpoint() + " ("},
        // Last: where no such file system can be mounted, the test ends skipped here.
        {"a lock file on which every lock fails",
         [&] { testenv::writeFile(lock, ""); },
         {KIVO_LOCKLESS_FILE, QString::fromStdString(lock)},
         "kivo: cannot take the lock " + lock + " (No locks available); running without it\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        receiver.clear();
        How how;
        how.before = c.before;
        how.keepErr = true;
        how.env = {{"KIVO_LANG", "en"}};
        auto running = launch({"Radio1"}, how);
        const bool started = receiver.waitForLines(kStartupLines, 20s);
        if (!started && running->waitForFinished(0) && running->exitCode() == 77)
            GTEST_SKIP() << running->readAllStandardError().toStdString();
        ASSERT_TRUE(started);
        running->terminate();
        ASSERT_TRUE(running->waitForFinished(10000));
        EXPECT_EQ(running->exitCode(), 0);
        receiver.waitForLines(kStartupLines + 1, 5s);
        EXPECT_EQ(receiver.lines().back(), "H100");
        const std::string err = running->readAllStandardError().toStdString();
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        std::filesystem::remove_all(endpoint());
    }
}

// The display's connection lost under the running program (its X server gone): the
// toolkit ends the program, and the receiver is switched off and the port released first
// (before, it ended at once: no "H100").
TEST_F(SingleCopyTest, LosingTheDisplaySwitchesOffAndReleasesThePort) {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty()) GTEST_SKIP() << "no Xvfb here";
    QProcess display;
    display.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    QElapsedTimer clock;
    clock.start();
    while (!display.canReadLine() && display.state() != QProcess::NotRunning &&
           clock.elapsed() < 20000)
        display.waitForReadyRead(100);
    ASSERT_TRUE(display.canReadLine()) << "Xvfb named no display";
    const QString number = QString::fromLatin1(display.readLine()).trimmed();

    testenv::TempDir locks;
    How how;
    how.env = {{"QT_QPA_PLATFORM", "xcb"},
               {"DISPLAY", ":" + number},
               {"KIVO_LOCK_DIR", QString::fromStdString(locks.path())}};
    auto running = launch({"Radio1"}, how);
    ASSERT_TRUE(waitUntilListening(*running));
    ASSERT_TRUE(receiver.waitForLines(kStartupLines, 20s));
    ASSERT_FALSE(std::filesystem::is_empty(locks.path()));  // its lock on the port
    receiver.clear();

    display.terminate();  // the connection breaks as in a crash, and nothing is left in /tmp
    ASSERT_TRUE(display.waitForFinished(10000));
    ASSERT_TRUE(running->waitForFinished(20000));
    receiver.waitForBytes(6, 5s);
    EXPECT_EQ(receiver.received(), cmds({"H100"}));
    EXPECT_TRUE(std::filesystem::is_empty(locks.path()));
}
