// A request to end while a sequence waits on a held line (flow stopped on a real
// pseudo-terminal, one short txtimeout per command): the close box, a later start (a real
// process) and a termination signal are each taken during the wait, the rest of the
// sequence is not tried, and the closing sequence still switches the receiver off.
#include <signal.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "app/qt/remoteserver.h"
#include "app/qt/singlecopy.h"
#include "app/qt/termination.h"
#include "tests/app/qt/guitest.h"
#include "tests/support/posix/pty.h"

using namespace std::chrono_literals;

namespace {

struct Request {
    const char* name;
    // Sets the request up before the line is held, and makes it while the first command
    // waits.
    std::function<void(TForm1&)> prepare;
    std::function<void(TForm1&)> make;
};

// Holds the line's output; when the first command waits on it, `request` is made and the
// window lets its queue through until the request has been taken, then the line moves
// again. Counts the commands that waited.
std::shared_ptr<int> holdLineUntil(TForm1& form, testenv::Pty& pty, std::function<void()> request) {
    auto held = std::make_shared<int>(0);
    auto letThrough = form.control().onLineHeld;
    form.control().onLineHeld = [&form, &pty, held, letThrough, request] {
        if (++*held == 1) request();
        // The request may take a few turns to arrive (a process starting).
        for (int turn = 0; turn < 500 && !form.closing(); ++turn) {
            letThrough();
            QTest::qSleep(20);
        }
        pty.holdOutput(false);
    };
    // Held once the port is open (opening sets the line up afresh), before the first command.
    form.rs232c1.OnOpen = [&pty](Trs232c&) { pty.holdOutput(true); };
    return held;
}

}  // namespace

TEST_F(WindowTest, ARequestToEndIsTakenWhileACommandWaitsOnAHeldLine) {
    std::unique_ptr<SingleCopy> single;
    std::unique_ptr<QProcess> later;
    const Request requests[] = {
        {"the close box", [](TForm1&) {},
         [](TForm1& form) {
             QMetaObject::invokeMethod(
                 &form, [&form] { form.close(); }, Qt::QueuedConnection);
         }},
        {"a later start",
         [&](TForm1& form) {
             single = std::make_unique<SingleCopy>(QStringLiteral("kivo"));
             ASSERT_EQ(single->claim(), SingleCopy::Claim::Alone);
             ASSERT_TRUE(single->listen([&form] { form.requestClose(); }));
         },
         [&](TForm1&) {
             later = std::make_unique<QProcess>();
             later->setProcessChannelMode(QProcess::ForwardedErrorChannel);
             later->start(QStringLiteral(KIVO_PROGRAM), QStringList{});
         }},
        {"a termination signal",
         [](TForm1& form) { closeOnTerminationSignals(&form, [&form] { form.requestClose(); }); },
         [](TForm1&) { ::raise(SIGTERM); }},
    };

    writeChannelFile({});
    for (const Request& request : requests) {
        SCOPED_TRACE(request.name);
        testenv::Pty pty;
        pty.linkAs(ports.path(), "COM3");
        start();
        request.prepare(*form1);
        form1->rs232c1.txtimeout = 300;
        auto heldCommands = holdLineUntil(*form1, pty, [&] { request.make(*form1); });
        QSignalSpy closed(form1.get(), &TForm1::closed);
        switchOn("COM3");             // "G300" waits on the held line, the request comes meanwhile
        EXPECT_EQ(*heldCommands, 1);  // nothing after "G300" was tried
        EXPECT_EQ(closed.count(), 1);
        EXPECT_FALSE(form1->rs232c1.isOpen());
        EXPECT_EQ(pty.drain(), "H100\r\n");

        if (later) {
            single.reset();  // this copy has ended: the later start goes on, and ends
            ASSERT_TRUE(later->waitForFinished(20000));
            EXPECT_EQ(later->exitCode(), 0);
            later.reset();
        }
        form2.reset();
        form1.reset();
        std::filesystem::remove(ports.path() + "/COM3");
    }
}

// The command waiting on the held line is a remote client's: the close box taken meanwhile
// ends the program once that command has returned, and nothing more of it is tried.
TEST_F(WindowTest, ARequestToEndDuringARemoteCommandOnAHeldLineClosesAfterIt) {
    writeChannelFile({});
    testenv::Pty pty;
    pty.linkAs(ports.path(), "COM3");
    start();
    choosePort("COM3");
    form1->rs232c1.txtimeout = 300;
    RemoteServer server(form1->control());
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    auto heldCommands = holdLineUntil(*form1, pty, [this] {
        QMetaObject::invokeMethod(
            form1.get(), [this] { form1->close(); }, Qt::QueuedConnection);
    });
    QSignalSpy closed(form1.get(), &TForm1::closed);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write("\\set_powerstat 1\n");
    client.flush();
    // The window has closed by the time the command's answer is out (before, the request
    // waited for whatever handler ran next: the periodic tick, 10 s later).
    ASSERT_TRUE(processEventsUntil([&] { return client.bytesAvailable() > 0; }, 20000));
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(*heldCommands, 1);
    EXPECT_FALSE(form1->rs232c1.isOpen());
    EXPECT_EQ(pty.drain(), "H100\r\n");
}

// A remote client's command that comes while a window's command waits on the held line
// waits its turn: it runs after the window's sequence, never inside its wait (before, it
// ran there and sent its own command into the middle of the sequence).
TEST_F(WindowTest, ARemoteCommandWaitsForAWindowsCommandOnAHeldLine) {
    writeChannelFile({});
    testenv::Pty pty;
    pty.linkAs(ports.path(), "COM3");
    start();
    form1->rs232c1.txtimeout = 300;
    RemoteServer server(form1->control());
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(client.waitForConnected(5000));

    auto letThrough = form1->control().onLineHeld;
    int depth = 0, deepest = 0, held = 0;
    form1->control().onLineHeld = [&] {
        deepest = std::max(deepest, ++depth);
        if (++held == 1) {
            client.write("F 954000\n");
            client.flush();
            for (int turn = 0; turn < 25; ++turn) {  // the request is in well before the end
                letThrough();
                QTest::qSleep(20);
            }
            pty.holdOutput(false);
        }
        --depth;
    };
    form1->rs232c1.OnOpen = [&pty](Trs232c&) { pty.holdOutput(true); };
    switchOn("COM3");  // "G300" waits on the held line and is withdrawn
    EXPECT_EQ(deepest, 1);
    ASSERT_TRUE(processEventsUntil([&] { return client.bytesAvailable() > 0; }, 20000));
    EXPECT_EQ(client.readAll(), "RPRT 0\n");
    EXPECT_EQ(pty.drain(), cmds({"H101", "J4000", "J4101", "K00000954000020100"}));
}

// A remote client's tune given up on the held line is answered as a time-out, not as done
// (before, RPRT 0); once the line moves the same request tunes and is answered RPRT 0.
TEST_F(WindowTest, ARemoteCommandGivenUpOnAHeldLineAnswersATimeOut) {
    writeChannelFile({});
    testenv::Pty pty;
    pty.linkAs(ports.path(), "COM3");
    start();
    form1->rs232c1.txtimeout = 300;
    switchOn("COM3");
    EXPECT_EQ(pty.drain(), testenv::kSwitchOn);
    RemoteServer server(form1->control());
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(client.waitForConnected(5000));

    for (bool held : {true, false}) {
        SCOPED_TRACE(held ? "held" : "moving");
        pty.holdOutput(held);
        client.write("F 954000\n");
        client.flush();
        ASSERT_TRUE(processEventsUntil([&] { return client.canReadLine(); }, 20000));
        EXPECT_EQ(client.readLine().toStdString(), held ? "RPRT -5\n" : "RPRT 0\n");
    }
    EXPECT_EQ(pty.drain(), cmds({"K00000954000020100"}));
}
