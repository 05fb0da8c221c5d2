// What only the Qt strip adds to the scenarios: where it shows, what a remote client's
// power changes do to its button, and a later start closing the program from it.
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/qt/singlecopy.h"
#include "core/remoteprotocol.h"
#include "core/remotesession.h"
#include "tests/app/qt/guitest.h"

namespace {

const QString bar = QStringLiteral("|");
const QString circle = QString::fromUtf8("○");

}  // namespace

// The strip takes the main window's place on the screen, and the main window the strip's.
TEST_F(WindowTest, TheStripAndTheWindowTakeEachOthersPlace) {
    writeChannelFile({});
    start();
    form1->move(120, 90);
    const QPoint where = form1->pos();
    click(form1->Button8);
    EXPECT_EQ(form2->pos(), where);
    form2->move(200, 150);
    const QPoint stripAt = form2->pos();
    click(form2->Button1);
    EXPECT_EQ(form1->pos(), stripAt);
}

TEST_F(WindowTest, RemotePowerChangesShowOnTheStripAtOnce) {
    writeChannelFile({});
    addReceiver("COM3");
    start();
    choosePort("COM7");
    click(form1->Button8);
    ASSERT_EQ(form2->Button2->text(), circle);
    kivo::RemoteProtocol protocol(form1->control());
    kivo::RemoteSession remote(protocol);
    const QColor plain = form2->Button2->palette().color(QPalette::ButtonText);

    EXPECT_EQ(remote.feed("\\set_powerstat 1\n"), "RPRT -6\n");
    EXPECT_EQ(form2->Button2->text(), circle);
    EXPECT_EQ(form2->Button2->toolTip(), missingPortMessage("COM7"));
    EXPECT_NE(form2->Button2->palette().color(QPalette::ButtonText), plain);
    EXPECT_TRUE(boxes.messages.isEmpty());
    choosePort("COM3");  // the main window's chooser, hidden but set
    // The tooltip names the key again instead of the notice.
    const QString resting = form2->Button2->toolTip();
    EXPECT_TRUE(resting.contains("Ctrl+P")) << resting.toStdString();
    EXPECT_EQ(form2->Button2->palette().color(QPalette::ButtonText), plain);

    EXPECT_EQ(remote.feed("\\set_powerstat 1\n"), "RPRT 0\n");
    EXPECT_SENT(testenv::kSwitchOn);
    EXPECT_EQ(form2->Button2->text(), bar);
    EXPECT_EQ(remote.feed("\\set_powerstat 0\n"), "RPRT 0\n");
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_EQ(form2->Button2->text(), circle);
    click(form2->Button2);  // shown off, so a press switches on
    EXPECT_SENT(testenv::kSwitchOn);
    EXPECT_EQ(form1->Label1->text(), "ON");
    EXPECT_EQ(form2->Button2->text(), bar);
}

TEST_F(WindowTest, SecondStartClosesTheProgramFromSModeAndGoesOnOnlyAfterTheClose) {
    writeChannelFile({});
    addReceiver("COM3");
    start();
    switchOn("COM3");
    sent(24);
    click(form1->Button8);
    QSignalSpy closed(form1.get(), &TForm1::closed);
    std::atomic<bool> closeFinished = false;
    QObject::connect(form1.get(), &TForm1::closed, [&] { closeFinished = true; });
    auto running = std::make_unique<SingleCopy>(QStringLiteral("kivo-smode-test"));
    ASSERT_EQ(running->claim(), SingleCopy::Claim::Alone);
    ASSERT_TRUE(running->listen([&] { form1->requestClose(); }));

    // The later start runs on its own thread: this one must keep serving the windows.
    std::atomic<bool> done = false;
    bool found = false;
    bool closedFirst = false;
    std::thread later([&] {
        SingleCopy next(QStringLiteral("KIVO-smode-test"));
        found = next.claim() == SingleCopy::Claim::TookOver;
        closedFirst = closeFinished.load();
        done = true;
    });
    EXPECT_TRUE(processEventsUntil([&] { return closed.count() == 1; }, 20000));
    running.reset();  // this copy ends, and its lock with it
    EXPECT_TRUE(processEventsUntil([&] { return done.load(); }, 20000));
    later.join();
    EXPECT_TRUE(found);  // titles compare without regard to case
    EXPECT_TRUE(closedFirst);
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_FALSE(form2->isVisible());
    EXPECT_FALSE(form1->rs232c1.isOpen());
}
