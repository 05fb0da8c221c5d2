// Remote control end to end: the built program on a simulated receiver, driven by the
// real rigctl and by raw clients on loopback, checked at the receiver's end of the line.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "app/qt/remoteserver.h"
#include "app/qt/remotestart.h"
#include "core/remoteaddress.h"
#include "tests/app/qt/guitest.h"
#include "tests/support/posix/loopback.h"

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

using testenv::freePort;
using testenv::loopback;

// A raw client on a non-blocking socket; every wait is bounded.
class Client {
  public:
    explicit Client(quint16 port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in addr = loopback(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~Client() { ::close(fd_); }
    bool connected() const { return connected_; }

    // Sends `out` while reading what comes back, until `replyBytes` have come or the
    // connection ends or `timeout` passes. Returns what came back.
    std::string exchange(std::string_view out, std::size_t replyBytes,
                         std::chrono::milliseconds timeout = 30s) {
        return exchangeUntil(
            out, [replyBytes](const std::string& in) { return in.size() >= replyBytes; }, timeout);
    }

    // The same, reading until `done` holds for what came back.
    std::string exchangeUntil(std::string_view out,
                              const std::function<bool(const std::string&)>& done,
                              std::chrono::milliseconds timeout) {
        std::string in;
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end && (!out.empty() || !done(in))) {
            pollfd p{fd_, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0};
            ::poll(&p, 1, 100);
            if (p.revents & POLLIN) {
                char buffer[65536];
                ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                in.append(buffer, static_cast<std::size_t>(n));
            }
            if (!out.empty() && (p.revents & POLLOUT)) {
                ssize_t n = ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN) break;
                if (n > 0) out.remove_prefix(static_cast<std::size_t>(n));
            }
        }
        return in;
    }

    // Sends `out`, then takes what ONE recv of at most `max` bytes gives once something
    // has come, as a client that reads each reply with a single call does.
    std::string exchangeOnce(std::string_view out, std::size_t max,
                             std::chrono::milliseconds timeout = 10s) {
        exchange(out, 0, timeout);
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return {};
        std::string in(max, '\0');
        ssize_t n = ::recv(fd_, in.data(), max, 0);
        in.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return in;
    }

    // Keeps sending `line` and reads nothing; true once the server has dropped us.
    bool sendUntilDropped(std::string_view line, std::chrono::milliseconds timeout) {
        std::string burst;
        for (int i = 0; i < 512; ++i) burst += line;
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            if (p.revents & (POLLERR | POLLHUP)) return true;
            if (p.revents & POLLOUT && ::send(fd_, burst.data(), burst.size(), MSG_NOSIGNAL) < 0 &&
                errno != EAGAIN)
                return true;
        }
        return false;
    }

    // True when the server ends the connection within `timeout` (after what it sent).
    bool endedByServer(std::chrono::milliseconds timeout) {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 100);
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
        }
        return false;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

class RemoteTest : public testing::Test {
  protected:
    RemoteTest()
        : runtimeEnv("XDG_RUNTIME_DIR", runtime.path()), receiver(simOptions(ports.path())) {
        std::filesystem::copy_file(KIVO_PROGRAM, program.file("kivo"));
        std::ofstream ini(program.file("KIVO.ini"), std::ios::binary);
        ini << "Radio1,AM,594,80,COM3\r\n";
    }

    static sim::Simulator::Options simOptions(const std::string& portsDir) {
        sim::Simulator::Options o;
        o.portsDir = portsDir;
        o.portName = "COM3";
        return o;
    }

    QString address() const { return "127.0.0.1:" + QString::number(port); }

    std::unique_ptr<QProcess> launch(const QStringList& args, const QString& remoteEnv = {}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KIVO_PORTS", QString::fromStdString(ports.path()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path()));
        env.remove("KIVO_REMOTE");
        if (!remoteEnv.isEmpty()) env.insert("KIVO_REMOTE", remoteEnv);
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString(program.file("kivo")), args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }

    // Started on Radio1 and answering on `port`; what start-up sent is forgotten.
    std::unique_ptr<QProcess> startServing(const QStringList& args, const QString& env = {}) {
        auto p = launch(args, env);
        EXPECT_TRUE(receiver.waitForLines(6, 20s));
        const auto end = Clock::now() + 20s;
        while (Clock::now() < end && p->state() == QProcess::Running) {
            if (Client(port).connected()) break;
            QThread::msleep(50);
        }
        EXPECT_TRUE(Client(port).connected()) << "not serving on " << address().toStdString();
        receiver.clear();
        return p;
    }

    // rigctl's standard output for `commands`, sent in one run.
    std::string rigctl(const QStringList& commands) {
        const QString client = QStandardPaths::findExecutable("rigctl");
        EXPECT_FALSE(client.isEmpty()) << "rigctl missing (libhamlib-utils)";
        QProcess p;
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(client, QStringList{"-m", "2", "-r", address(), "set_cache", "0"} + commands);
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0);
        return p.readAllStandardOutput().toStdString();
    }

    // A second start without a channel, options or not, closes the running copy.
    void closeRunningCopy(QProcess& running, const QStringList& args = {}) {
        auto closer = launch(args);
        ASSERT_TRUE(closer->waitForFinished(30000));
        EXPECT_EQ(closer->exitCode(), 0);
        ASSERT_TRUE(running.waitForFinished(10000));
        EXPECT_EQ(running.exitCode(), 0);
    }

    // The lines the receiver got, without the periodic tick's (it may come at any time
    // on a slow machine).
    std::vector<std::string> receiverLines(std::size_t n) {
        receiver.waitForLines(n, 10s);
        // Whatever else is on its way shows too.
        QThread::msleep(100);
        auto lines = receiver.lines();
        receiver.clear();
        std::erase(lines, "J4101");
        return lines;
    }

    testenv::TempDir runtime;
    testenv::TempDir ports;
    testenv::TempDir program;
    testenv::ScopedEnv runtimeEnv;
    sim::Simulator receiver;
    quint16 port = freePort();
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(RemoteTest, RigctlTunesSetsTheVolumeAndSwitchesThroughTheWindow) {
    auto kivo = startServing({"Radio1"}, address());  // chosen by KIVO_REMOTE

    EXPECT_EQ(rigctl({"F", "954000", "f", "M", "WFM", "0", "m", "F", "80700000", "f", "L", "AF",
                      "0.5", "l", "AF", "set_powerstat", "0"}),
              "954000\nWFM\n200000\n80700000\n0.501961\n");
    // M keeps 954 kHz as 0.954 MHz: one tune, never FM 954 MHz.
    EXPECT_EQ(receiverLines(5), (Lines{"K00000954000020100", "K00000954000060400",
                                       "K00080700000060400", "J4080", "H100"}));
    EXPECT_EQ(Client(port).exchange("\\get_powerstat\n", 2), "0\n");

    // On again: the power button's sequence, then the selected channel as the window tunes it.
    EXPECT_EQ(rigctl({"set_powerstat", "1", "f", "m", "l", "AF"}), "594000\nAM\n9000\n0.313725\n");
    EXPECT_EQ(receiverLines(9),
              (Lines{"G300", "H101", "J4000", "K00000081000020100", "K00000594000020100",
                     "K00000594000020100", "J4050", "J4050"}));

    closeRunningCopy(*kivo, {"--remote=" + address()});
    EXPECT_EQ(receiverLines(1), Lines{"H100"});
}

// Two floods at once, one reading its replies and one never reading, while rigctl tunes:
// rigctl's answers and the bytes on the line are exact, every junk line has its one error
// reply, the deaf client is dropped; then eight clients at once and a ninth refused.
TEST_F(RemoteTest, JunkFloodsHurtNoOtherClientAndEightClientsFit) {
    auto kivo = startServing({"--remote=" + address(), "Radio1"});

    std::string junk, expected;
    std::mt19937 random(4532);
    for (int i = 0; i < 1000; ++i) {
        if (i % 100 == 0) {
            junk += std::string(3000, 'F') + "\n";
            expected += "RPRT -1\n";
        }
        junk += static_cast<char>(0x80 + random() % 0x80);  // no command begins so
        for (int n = random() % 30; n > 0; --n) junk += static_cast<char>(random() % 10);
        junk += "\r\n";
        expected += "RPRT -11\n";
    }
    {
        std::atomic<bool> tuned{false};
        int floods = 0, exact = 0;
        bool deafDropped = false;
        Client loud(port), deaf(port, 4096);
        std::thread loudThread([&] {
            do {
                ++floods;
                exact += loud.exchange(junk, expected.size()) == expected;
            } while (!tuned && floods < 1000);
        });
        std::thread deafThread([&] { deafDropped = deaf.sendUntilDropped("x\n", 60s); });

        EXPECT_EQ(rigctl({"F", "1134500", "f", "L", "AF", "1", "l", "AF"}), "1134500\n1.000000\n");
        tuned = true;
        loudThread.join();
        deafThread.join();
        EXPECT_EQ(receiverLines(2), (Lines{"K00001135000020100", "J40FF"}));
        EXPECT_EQ(exact, floods);
        EXPECT_TRUE(deafDropped);
    }
    QThread::msleep(500);  // the server sees the floods go

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<Client>(port));
        EXPECT_EQ(clients.back()->exchange("v\n", 5, 10s), "VFOA\n") << i;
    }
    Client ninth(port);
    EXPECT_TRUE(ninth.endedByServer(10s));
    EXPECT_EQ(clients.front()->exchange("q\n", 7, 10s), "RPRT 0\n");
    EXPECT_TRUE(clients.front()->endedByServer(10s));
    // Its place is free again once the server has seen it go.
    std::string answer;
    for (int attempt = 0; attempt < 50 && answer.empty(); ++attempt)
        answer = Client(port).exchange("\\chk_vfo\n", 2, 1s);
    EXPECT_EQ(answer, "0\n");
    EXPECT_EQ(receiverLines(0), Lines{});

    closeRunningCopy(*kivo);
}

// A value that cannot be used on the command line ends the start before anything else;
// one in the environment, or an address that cannot be bound, leaves the program running
// without the server.
TEST_F(RemoteTest, BadValuesAndABusyPort) {
    for (const char* value : {"--remote=", "--remote=localhost:4532", "--remote=127.1:4532",
                              "--remote=::1:4532", "--remote=0", "--remote=70000"}) {
        auto p = launch({value, "Radio1"});
        ASSERT_TRUE(p->waitForFinished(10000)) << value;
        EXPECT_EQ(p->exitCode(), 2) << value;
        EXPECT_TRUE(p->readAllStandardError().contains("--remote:")) << value;
    }
    EXPECT_EQ(receiver.received(), "");

    int busy = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopback(port);
    ASSERT_EQ(::bind(busy, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(busy, 1), 0);
    for (const QStringList& args :
         {QStringList{"--remote=" + address(), "Radio1"}, QStringList{"Radio1"}}) {
        auto kivo = launch(args, "[::1]");  // no port: unusable, used only without the option
        EXPECT_TRUE(receiver.waitForLines(6, 20s));
        QThread::msleep(300);  // the box is up now
        EXPECT_EQ(kivo->state(), QProcess::Running);
        receiver.clear();
        closeRunningCopy(*kivo);
        EXPECT_EQ(receiverLines(1), Lines{"H100"});
    }
    ::close(busy);
}

// The program with its real boxes: a client's power-on whose port does not open is
// answered at once (a box would wait here for ever, no one presses OK offscreen), and
// another client's command, sent right behind it, is served.
TEST_F(RemoteTest, APowerOnThatCannotOpenIsAnsweredAtOnceAndHoldsNoOneUp) {
    auto kivo = startServing({"--remote=" + address(), "Radio1"});
    Client first(port), second(port);
    EXPECT_EQ(first.exchange("\\set_powerstat 0\n", 7, 10s), "RPRT 0\n");
    EXPECT_EQ(receiverLines(1), Lines{"H100"});

    std::filesystem::remove(receiver.linkPath());  // the receiver's port is gone
    first.exchange("\\set_powerstat 1\n", 0, 1s);
    EXPECT_EQ(second.exchange("f\n", 7, 10s), "594000\n");
    EXPECT_EQ(first.exchange({}, 8, 10s), "RPRT -6\n");

    // Back again: on as the power button does it.
    std::filesystem::create_symlink(receiver.devicePath(), receiver.linkPath());
    EXPECT_EQ(first.exchange("\\set_powerstat 1\n", 7, 10s), "RPRT 0\n");
    EXPECT_EQ(receiverLines(5), (Lines{"G300", "H101", "J4000", "K00000594000020100", "J4050"}));
    closeRunningCopy(*kivo);
}

TEST(RemoteEndpoint, ValuesOfTheOptionAndTheEnvironment) {
    struct Case {
        std::string value;
        std::string parsed;  // empty: refused
    } cases[] = {
        {"4532", "127.0.0.1:4532"},
        {"7356", "127.0.0.1:7356"},
        {"0.0.0.0:4532", "0.0.0.0:4532"},
        {"192.168.1.20:65535", "192.168.1.20:65535"},
        {"[::1]:4532", "[::1]:4532"},
        {"[::]:1", "[::]:1"},
        {"", ""},
        {"0", ""},
        {"65536", ""},
        {"+4532", ""},
        {"4532 ", ""},
        {"127.0.0.1", ""},
        {"127.0.0.1:", ""},
        {"127.0.0.256:4532", ""},
        {"127.1:4532", ""},
        {"localhost:4532", ""},
        {"::1:4532", ""},
        {"[::1]", ""},
        {"[127.0.0.1]:4532", ""},
        {"[nonsense]:4532", ""},
    };
    for (const Case& c : cases) {
        std::string error;
        auto endpoint = kivo::parseRemoteEndpoint(c.value, error, socketAddress);
        EXPECT_EQ(endpoint ? endpoint->text() : std::string(), c.parsed) << c.value;
        EXPECT_EQ(error.empty(), endpoint.has_value()) << c.value;
    }
}

namespace {

// Boxes that stay up for a while in a modal loop of their own, as the real ones do.
// `send` runs early in it, `record` late.
class LingeringDialogs : public RecordingDialogs {
  public:
    std::function<void()> send, record;

    bool confirmOverwrite(const QString& text) override {
        RecordingDialogs::confirmOverwrite(text);
        linger();
        return false;
    }
    void showMessage(const QString& text) override {
        RecordingDialogs::showMessage(text);
        linger();
    }

  private:
    void linger() {
        QMessageBox box;
        QTimer::singleShot(100, [this] {
            if (send) send();
        });
        QTimer::singleShot(350, [this] {
            if (record) record();
        });
        QTimer::singleShot(400, [&] { box.done(0); });
        box.exec();
    }
};

// Replies come from this thread's event loop: it runs while waiting.
std::string awaitReply(Client& client, std::size_t bytes) {
    std::string in;
    QElapsedTimer clock;
    clock.start();
    while (in.size() < bytes && clock.elapsed() < 10000) {
        QCoreApplication::processEvents();
        in += client.exchange({}, bytes - in.size(), 10ms);
    }
    return in;
}

}  // namespace

TEST_F(WindowTest, RemoteCommandsWaitWhileAHandlerIsInsideABox) {
    LingeringDialogs slow;
    setDialogs(&slow);
    writeChannelFile({});
    addReceiver("COM3");
    start();
    RemoteServer server(form1->control());
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    Client waiting(server.serverPort());
    QString during;
    slow.record = [&] { during = form1->Edit1->text(); };

    // The user's Save confirmation is up: a client's tune waits until it is answered.
    slow.send = [&] { waiting.exchange("F 954000\n", 0, 1s); };
    QTest::mouseClick(form1->Button5, Qt::LeftButton);
    EXPECT_EQ(slow.questions.size(), 1);
    EXPECT_EQ(during, "");
    EXPECT_EQ(awaitReply(waiting, 7), "RPRT 0\n");
    EXPECT_EQ(form1->Edit1->text(), "954");

    // The user's own POWER on a port that does not open keeps its box, and a client's
    // command waits for it as well.
    choosePort("COM7");
    slow.send = [&] { waiting.exchange("F 594000\n", 0, 1s); };
    QTest::mouseClick(form1->Button2, Qt::LeftButton);
    EXPECT_EQ(slow.messages, QStringList{missingPortMessage("COM7")});
    EXPECT_EQ(during, "954");
    EXPECT_EQ(awaitReply(waiting, 7), "RPRT 0\n");
    EXPECT_EQ(form1->Edit1->text(), "594");
    EXPECT_EQ(sent(), "");  // off all along
    setDialogs(&boxes);
}

// A remote switch-on never opens a box: the reason shows in the port chooser (tooltip and
// colour) until another port is chosen; the user's own click on POWER keeps its box.
TEST_F(WindowTest, ARemotePowerOnShowsWhatWentWrongWithoutABox) {
    writeChannelFile({});
    start();
    RemoteServer server(form1->control());
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    Client client(server.serverPort());
    QComboBox* chooser = form1->ComboBox1;
    const QColor plain = chooser->palette().color(QPalette::Base);

    choosePort("COM7");
    client.exchange("\\set_powerstat 1\n", 0, 1s);
    EXPECT_EQ(awaitReply(client, 8), "RPRT -6\n");
    EXPECT_TRUE(boxes.messages.isEmpty());
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_EQ(chooser->toolTip(), missingPortMessage("COM7"));
    EXPECT_NE(chooser->palette().color(QPalette::Base), plain);
    QTest::mouseClick(form1->Button2, Qt::LeftButton);
    EXPECT_EQ(boxes.messages, QStringList{missingPortMessage("COM7")});
    choosePort("COM3");
    EXPECT_EQ(chooser->toolTip(), "");
    EXPECT_EQ(chooser->palette().color(QPalette::Base), plain);
}

// Eight clients gone quiet lock nobody out: a newcomer takes the place of the client idle
// longest once that one has been idle for the limit (before, every newcomer was closed at
// once, for ever); until then a newcomer is closed at once.
TEST_F(WindowTest, ANewcomerTakesThePlaceOfTheClientIdleLongest) {
    writeChannelFile({});
    start();
    RemoteServer server(form1->control());
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    auto ended = [](Client& client) {
        return processEventsUntil([&] { return client.endedByServer(10ms); }, 10000);
    };
    auto served = [](Client& client) {
        client.exchange("v\n", 0, 1s);
        return awaitReply(client, 5) == "VFOA\n";
    };
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < RemoteServer::kMaxClients; ++i) {
        clients.push_back(std::make_unique<Client>(server.serverPort()));
        ASSERT_TRUE(served(*clients.back())) << i;
    }
    server.setIdleLimit(std::chrono::hours(1));
    Client early(server.serverPort());
    EXPECT_TRUE(ended(early));

    server.setIdleLimit(200ms);
    QTest::qWait(300);                 // all eight idle for the limit now
    ASSERT_TRUE(served(*clients[0]));  // and the first no longer
    Client newcomer(server.serverPort());
    EXPECT_TRUE(served(newcomer));
    EXPECT_TRUE(ended(*clients[1]));  // idle longest
    for (std::size_t i : {0, 2, 7}) EXPECT_TRUE(served(*clients[i])) << i;
    EXPECT_EQ(server.clientCount(), RemoteServer::kMaxClients);
}

namespace {

// The value of a "Key: value" line, as the logging clients read it.
std::string keyed(const std::string& text, const std::string& key) {
    std::size_t at = ("\n" + text).find("\n" + key + ":");
    if (at == std::string::npos) return "<no " + key + ">";
    std::string value = text.substr(at + key.size() + 1, text.find('\n', at) - at - key.size() - 1);
    value.erase(0, value.find_first_not_of(" \t"));
    return value;
}

// Clients that read until they have seen a number of status lines.
auto statusLines(std::size_t n) {
    return [n](const std::string& in) {
        const std::string text = "\n" + in;
        std::size_t count = 0;
        for (std::size_t at = text.find("\nRPRT "); at != std::string::npos;
             at = text.find("\nRPRT ", at + 1))
            ++count;
        return count >= n && in.ends_with("\n");
    };
}

}  // namespace

// Five programs that speak to a rig-control server with their own socket code, replayed
// as their sources do it, each reply read and parsed as that program does: the program on
// a simulated receiver, checked at the receiver's end of the line too.
TEST_F(RemoteTest, RealClientsConversations) {
    auto kivo = startServing({"--remote=" + address(), "Radio1"});

    {
        SCOPED_TRACE("satellite tracker: every reply read with one recv of at most 127 bytes");
        Client c(port);
        c.exchangeOnce("\\set_vfo_opt 1\n", 127);  // its reply is not looked at
        const bool vfoMode = c.exchangeOnce("\\chk_vfo\n", 127).starts_with("1");
        EXPECT_TRUE(vfoMode);
        const std::string vfo = vfoMode ? " currVFO" : "";
        EXPECT_EQ(c.exchangeOnce("F" + vfo + "     954000\n", 127), "RPRT 0\n");
        std::this_thread::sleep_for(5ms);
        for (int cycle = 0; cycle < 3; ++cycle)  // a read-back that differs is the dial turned
            EXPECT_EQ(std::atoll(c.exchangeOnce("f" + vfo + "\n", 127).c_str()), 954000);
        EXPECT_EQ(c.exchangeOnce("t" + vfo + "\n", 10), "0\n");
        EXPECT_EQ(c.exchangeOnce("\x8b" + vfo + "\n", 10), "RPRT -11\n");
        EXPECT_EQ(c.exchangeOnce("AOS\n", 10), "RPRT -11\n");
        EXPECT_EQ(c.exchangeOnce("LOS\n", 10), "RPRT -11\n");
        EXPECT_EQ(c.exchangeOnce("q\n", 127), "RPRT 0\n");
        EXPECT_TRUE(c.endedByServer(10s));
        EXPECT_EQ(receiverLines(1), Lines{"K00000954000020100"});
    }
    {
        SCOPED_TRACE("receiver program: a connection per tune, one line within 1 s");
        for (const char* hz : {"594000.000000", "1134000.000000"}) {
            Client c(port);
            const std::string reply = c.exchangeUntil(
                std::string("F ") + hz + "\n",
                [](const std::string& in) { return in.ends_with("\n"); }, 1s);
            EXPECT_EQ(reply, "RPRT 0\n");  // not closed with "q"
        }
        EXPECT_EQ(receiverLines(2), (Lines{"K00000594000020100", "K00001134000020100"}));
    }
    {
        SCOPED_TRACE("logging program: every command extended, a three-command poll");
        Client c(port);
        const std::string chk = c.exchangeUntil(
            "+\\chk_vfo\n", [](const std::string& in) { return in.ends_with("\n"); }, 1s);
        EXPECT_EQ(keyed(chk, "ChkVFO"), "0");
        const std::string caps = c.exchangeUntil("+\\dump_caps\n", statusLines(1), 1s);
        EXPECT_EQ(keyed(caps, "Can set Power Stat"), "Y");
        EXPECT_EQ(keyed(caps, "Can get VFO"), "Y");
        auto poll = [&c] { return c.exchangeUntil("+f +m +v\n", statusLines(3), 1s); };
        std::string state = poll();
        EXPECT_EQ(keyed(state, "Frequency"), "1134000");
        EXPECT_EQ(keyed(state, "Mode"), "AM");
        EXPECT_EQ(keyed(state, "VFO"), "VFOA");
        EXPECT_EQ(c.exchangeUntil("+\\set_freq 954000\n", statusLines(1), 1s),
                  "set_freq: 954000\nRPRT 0\n");
        EXPECT_EQ(c.exchangeUntil("+\\set_mode AM 3000\n", statusLines(1), 1s),
                  "set_mode: AM 3000\nRPRT 0\n");
        EXPECT_EQ(keyed(poll(), "Frequency"), "954000");
        EXPECT_EQ(c.exchangeUntil("+\\set_powerstat 0\n", statusLines(1), 1s),
                  "set_powerstat: 0\nRPRT 0\n");
        EXPECT_EQ(poll(),
                  "get_freq:\nFrequency: 954000\nRPRT 0\nget_mode:\nMode: AM\nPassband: 9000\n"
                  "RPRT 0\nget_vfo:\nVFO: VFOA\nRPRT 0\n");
        EXPECT_EQ(receiverLines(2), (Lines{"K00000954000020100", "H100"}));
        EXPECT_EQ(c.exchangeUntil("+\\set_powerstat 1\n", statusLines(1), 1s),
                  "set_powerstat: 1\nRPRT 0\n");
        EXPECT_EQ(receiverLines(6), (Lines{"G300", "H101", "J4000", "K00000594000020100",
                                           "K00000594000020100", "J4050"}));
    }
    {
        SCOPED_TRACE("contest logger: VFO mode, extended, read until RPRT, 1 s a command");
        Client c(port);
        auto ask = [&c](const std::string& command) {
            return c.exchangeUntil(
                command + "\n",
                [](const std::string& in) {
                    return in.find("RPRT") != std::string::npos && in.ends_with("\n");
                },
                1s);
        };
        // A set that comes before its switch to VFO mode.
        EXPECT_EQ(ask("+F VFOA 594000"), "set_freq: VFOA 594000\nRPRT 0\n");
        EXPECT_EQ(ask("+\\set_vfo_opt 1"), "set_vfo_opt: 1\nRPRT 0\n");
        EXPECT_EQ(keyed(ask("+v"), "VFO"), "VFOA");
        const std::string modes = ask("+M VFOA ?");
        EXPECT_EQ(modes, "set_mode: VFOA ?\nAM FM WFM \nRPRT 0\n");
        for (int cycle = 0; cycle < 2; ++cycle) {
            EXPECT_EQ(keyed(ask("+v"), "VFO"), "VFOA");
            EXPECT_EQ(keyed(ask("+f VFOA"), "Frequency"), "594000");
            EXPECT_EQ(keyed(ask("+v"), "VFO"), "VFOA");
            const std::string mode = ask("+m VFOA");
            EXPECT_EQ(keyed(mode, "Mode"), "AM");
            EXPECT_EQ(keyed(mode, "Passband"), "9000");
        }
        EXPECT_EQ(ask("+F VFOA 1134000"), "set_freq: VFOA 1134000\nRPRT 0\n");
        EXPECT_EQ(ask("+M VFOA AM 0"), "set_mode: VFOA AM 0\nRPRT 0\n");
        EXPECT_EQ(keyed(ask("+f VFOA"), "Frequency"), "1134000");
        EXPECT_EQ(receiverLines(2), (Lines{"K00000594000020100", "K00001134000020100"}));
    }
    {
        SCOPED_TRACE("bookmark scanner: a connection per command");
        auto once = [this](const std::string& command) {
            return Client(port).exchangeOnce(command + "\n", 1024);
        };
        EXPECT_EQ(once("F 954000"), "RPRT 0\n");
        EXPECT_EQ(once("M AM"), "RPRT 0\n");
        EXPECT_EQ(std::atoll(once("f").c_str()), 954000);
        EXPECT_EQ(once("m"), "AM\n9000\n");
        // Its scan asks another protocol's signal level: refused, so the scan stops.
        EXPECT_EQ(once("l"), "RPRT -11\n");
        EXPECT_EQ(receiverLines(1), Lines{"K00000954000020100"});
    }

    closeRunningCopy(*kivo);
}
