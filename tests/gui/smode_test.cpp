// The S mode strip: entering and leaving it, and its power button, channel chooser and
// slider, checked at a simulated receiver.
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/qt/singlecopy.h"
#include "core/remoteprotocol.h"
#include "core/remotesession.h"
#include "tests/gui/guitest.h"

namespace {

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

const QString bar = QStringLiteral("|");
const QString circle = QString::fromUtf8("○");

QStringList chooserItems(QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
    return out;
}

}  // namespace

TEST_F(WindowTest, EnteringSModeShowsTheStripInPlaceOfTheWindowWithItsState) {
    writeChannelFile({"Radio1,AM,594,80,COM3", "NoComma", "ニュース,AM,954,100,COM3"});
    addReceiver("COM3");
    start();
    form1->move(120, 90);
    QPoint where = form1->pos();
    switchOn("COM3");
    sent(24);
    form1->ScrollBar1->setValue(42);
    sent(6);

    click(form1->Button8);
    EXPECT_TRUE(form1->smode());
    EXPECT_FALSE(form1->isVisible());
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(form2->pos(), where);
    EXPECT_EQ(form2->ScrollBar1->value(), 42);
    EXPECT_EQ(form2->Button2->text(), bar);
    EXPECT_EQ(chooserItems(form2->ComboBox1),
              QStringList({"Radio1", "", QString::fromUtf8("ニュース")}));
    EXPECT_EQ(form2->ComboBox1->currentText(), "");  // no line selected, text as it was
    EXPECT_EQ(sent(), "");  // syncing the slider writes the same value back: nothing sent

    // Power from the strip: off, then on again.
    click(form2->Button2);
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_EQ(form2->Button2->text(), circle);
    click(form2->Button2);
    EXPECT_SENT(cmds({"G300", "H101", "J4000", "J4101"}));
    EXPECT_EQ(form2->Button2->text(), bar);

    // The strip's slider drives the main one.
    form2->ScrollBar1->setFocus();
    QTest::keyClick(form2->ScrollBar1, Qt::Key_Right);
    EXPECT_EQ(form1->ScrollBar1->value(), 43);
    EXPECT_EQ(form1->Label2->text(), "43");
    EXPECT_SENT(cmds({"J402B"}));

    // Back with "F", where the strip was.
    form2->move(200, 150);
    QPoint stripAt = form2->pos();
    click(form2->Button1);
    EXPECT_FALSE(form1->smode());
    EXPECT_TRUE(form1->isVisible());
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(form1->pos(), stripAt);
}

TEST_F(WindowTest, ChoosingAChannelInTheStripTunesWithTheStripsVolume) {
    writeChannelFile({"Radio1,AM,594,80,COM3", "Music,FM,80.7,120,COM3"});
    addReceiver("COM3");
    start();
    clickLine(0);  // off: selects, sends nothing
    click(form1->Button8);
    EXPECT_EQ(form2->ComboBox1->currentText(), "Radio1");
    EXPECT_EQ(form2->ComboBox1->currentIndex(), 0);

    // Off: choosing selects the line but sends nothing.
    form2->ComboBox1->setFocus();
    QTest::keyClick(form2->ComboBox1, Qt::Key_Down);
    EXPECT_EQ(form1->channels().selectedIndex(), 1);
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    EXPECT_EQ(sent(), "");

    choosePort("COM3");  // the main window's chooser, hidden but set
    click(form2->Button2);
    // Switching on selects the chosen line: the band and text are already there, so the
    // explicit tune; the volume comes from the strip (synced to 80 on entering).
    EXPECT_SENT(cmds({"G300", "H101", "J4000", "J4101", "K00080700000060400", "J4050"}));

    form2->ScrollBar1->setValue(30);
    EXPECT_SENT(cmds({"J401E"}));
    QTest::keyClick(form2->ComboBox1, Qt::Key_Up);
    EXPECT_SENT(cmds({"K00000081000020100", "K00000594000020100", "K00000594000020100", "J401E"}));
    EXPECT_EQ(form1->ScrollBar1->value(), 30);

    // Typing: a text naming no channel leaves the list without a selection and sends
    // nothing; completing a name selects and tunes that channel.
    QLineEdit* edit = form2->ComboBox1->lineEdit();
    edit->selectAll();
    typeInto(edit, "Mus");
    EXPECT_EQ(form1->channels().selectedIndex(), -1);
    EXPECT_TRUE(form1->ListBox1->selectedRows().isEmpty());
    EXPECT_EQ(sent(), "");
    typeInto(edit, "ic");
    EXPECT_EQ(form1->channels().selectedIndex(), 1);
    // Checking FM first retunes the old text "594", now in MHz.
    EXPECT_SENT(cmds({"K00594000000060400", "K00080700000060400", "K00080700000060400", "J401E"}));

    // Back in the main window the strip's choice stays selected.
    click(form2->Button1);
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    EXPECT_TRUE(form1->ListBox1->isRowSelected(1));
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(WindowTest, StripPowerNeedsAPortAndShowsTheTrueStateAfterAFailedOpen) {
    writeChannelFile({});
    start();
    click(form1->Button8);
    EXPECT_EQ(form2->Button2->text(), circle);
    click(form2->Button2);  // the main window's port chooser is empty
    EXPECT_EQ(form2->Button2->text(), circle);
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_TRUE(boxes.messages.isEmpty());

    choosePort("COM6");  // no such port
    click(form2->Button2);
    EXPECT_EQ(boxes.messages, QStringList{missingPortMessage("COM6")});
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_EQ(form2->Button2->text(), circle);
}

// The strip shows the power state whatever changed it: a remote switch-on or -off at once,
// and a remote switch-on whose port does not open leaves it off with the reason on the
// power button (no box) until another port is chosen.
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
    EXPECT_SENT(cmds({"G300", "H101", "J4000", "J4101"}));
    EXPECT_EQ(form2->Button2->text(), bar);
    EXPECT_EQ(remote.feed("\\set_powerstat 0\n"), "RPRT 0\n");
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_EQ(form2->Button2->text(), circle);
    click(form2->Button2);  // shown off, so a press switches on
    EXPECT_SENT(cmds({"G300", "H101", "J4000", "J4101"}));
    EXPECT_EQ(form1->Label1->text(), "ON");
    EXPECT_EQ(form2->Button2->text(), bar);
}

TEST_F(WindowTest, StripKeepsItsTextWithoutSelectionAndShortLinesShowTheError) {
    writeChannelFile({"Short,FM"});
    start();
    click(form1->Button8);
    QLineEdit* edit = form2->ComboBox1->lineEdit();
    typeInto(edit, "zz");
    click(form2->Button1);
    click(form1->Button8);  // nothing selected: the chooser keeps "zz"
    EXPECT_EQ(form2->ComboBox1->currentText(), "zz");
    EXPECT_EQ(chooserItems(form2->ComboBox1), QStringList{"Short"});

    // A short line chosen in the strip: the error shows, the strip stays usable.
    form2->ComboBox1->setFocus();
    QTest::keyClick(form2->ComboBox1, Qt::Key_Down);
    EXPECT_EQ(boxes.errors,
              QStringList{QString::fromUtf8("リストのインデックスが範囲を超えています (2)")});
    EXPECT_TRUE(form2->isVisible());
    click(form2->Button1);
    EXPECT_TRUE(form1->isVisible());

    // An empty list leaves the text too.
    QTest::mouseClick(form1->Button3, Qt::LeftButton);
    form1->channels().setSelectedIndex(-1);
    click(form1->Button8);
    EXPECT_EQ(form2->ComboBox1->count(), 0);
    EXPECT_EQ(form2->ComboBox1->currentText(), "Short");
}

TEST_F(WindowTest, ClosingTheStripSwitchesOffAndEndsTheProgram) {
    writeChannelFile({});
    addReceiver("COM3");
    start();
    switchOn("COM3");
    sent(24);
    click(form1->Button8);
    QSignalSpy closed(form1.get(), &TForm1::closed);
    form2->close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_FALSE(form1->rs232c1.isOpen());
    EXPECT_FALSE(form2->isVisible());
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
