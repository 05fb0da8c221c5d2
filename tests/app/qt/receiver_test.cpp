// What only the Qt controls add to the scenarios: the list box and the slider driven by
// the keyboard and the mouse where no line is, and the port scan shown in the chooser.
// Checked byte for byte at a simulated receiver on a pseudo-terminal.
#include <QTest>
#include <filesystem>
#include <memory>

#include "serial/posix/ports/holders.h"
#include "serial/posix/ports/portcheck.h"
#include "tests/app/qt/guitest.h"
#include "tests/support/posix/busyprocesses.h"

TEST_F(WindowTest, TheListBoxSelectsByKeyboardAndIgnoresClicksBesideItsLines) {
    writeChannelFile({"Test,FM,80.7,120,COM7", "Bad,AM,954,x,COM3", "Loud,AM,954,300,COM3"});
    addReceiver("COM3");
    start();
    click(form1->RadioButton1);
    switchOn("COM3");
    ASSERT_EQ(sent(24), testenv::kSwitchOn);
    clickLine(2);
    EXPECT_SENT(cmds({"K00000954000020100", "K00000954000020100", "J40FF", "J40FF"}));

    // Moving the selection with the keyboard selects too.
    QTest::keyClick(form1->ListBox1, Qt::Key_Up);
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    EXPECT_SENT(cmds({"K00000954000020100"}));

    // A click below the lines or a Ctrl click on the line keeps the selection and runs
    // nothing; a double click below the lines runs the selection of the selected line.
    QWidget* area = form1->ListBox1->viewport();
    QPoint below(20, area->height() - 5);
    QTest::mouseClick(area, Qt::LeftButton, {}, below);
    QPoint onLine = form1->ListBox1->rowRect(1).center();
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, onLine);
    EXPECT_TRUE(form1->ListBox1->isRowSelected(1));
    EXPECT_EQ(form1->channels().selectedIndex(), 1);
    EXPECT_EQ(sent(), "");
    QTest::mousePress(area, Qt::LeftButton, {}, below);
    QTest::mouseRelease(area, Qt::LeftButton, {}, below);
    QTest::mouseDClick(area, Qt::LeftButton, {}, below);
    QTest::mouseRelease(area, Qt::LeftButton, {}, below);
    EXPECT_SENT(cmds({"K00000954000020100"}));
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(WindowTest, TheSlidersKeysMoveItByOneAndRightRaisesIt) {
    writeChannelFile({});
    addReceiver("COM3");
    start();
    form1->ScrollBar1->setFocus();
    QTest::keyClick(form1->ScrollBar1, Qt::Key_Right);
    EXPECT_EQ(form1->ScrollBar1->value(), 81);  // right raises: controls not inverted
    EXPECT_EQ(form1->Label2->text(), "81");
    EXPECT_EQ(sent(), "");

    switchOn("COM3");
    sent(24);
    QTest::keyClick(form1->ScrollBar1, Qt::Key_Left);
    EXPECT_EQ(form1->Label2->text(), "80");
    EXPECT_SENT(cmds({"J4050"}));
    QTest::keyClick(form1->ScrollBar1, Qt::Key_PageUp);  // a page is one step
    EXPECT_EQ(form1->ScrollBar1->value(), 81);
    EXPECT_SENT(cmds({"J4051"}));
    QTest::keyClick(form1->ScrollBar1, Qt::Key_End);
    EXPECT_SENT(cmds({"J40FF"}));
    QTest::keyClick(form1->ScrollBar1, Qt::Key_End);  // no change, nothing sent
    EXPECT_EQ(sent(), "");
}

TEST_F(WindowTest, StartUpListsTheComPortsThatOpenAndLeavesTheChooserEmpty) {
    writeChannelFile({});
    addReceiver("COM2");
    addReceiver("COM5");
    addReceiver("COM10");
    std::filesystem::create_symlink(ports.file("nothing-here"), ports.file("COM4"));
    start();
    QStringList listed;
    for (int i = 0; i < form1->ComboBox1->count(); ++i) listed << form1->ComboBox1->itemText(i);
    EXPECT_EQ(listed, QStringList({"COM2", "COM5"}));
    EXPECT_EQ(form1->ComboBox1->currentText(), "");
    EXPECT_EQ(form1->rs232c1.portname, "COM9");
    EXPECT_FALSE(form1->rs232c1.isOpen());
    EXPECT_EQ(form1->Label1->text(), "OFF");
    // The scan only opened and closed: no receiver got a byte.
    for (auto& r : receivers) EXPECT_EQ(r->received(), "");

    // Choosing from the list sets the port.
    form1->ComboBox1->setFocus();
    QTest::keyClick(form1->ComboBox1, Qt::Key_Down);
    EXPECT_EQ(form1->ComboBox1->currentText(), "COM2");
    EXPECT_EQ(form1->rs232c1.portname, "COM2");
}

// On a busy machine the look for other holders, started ahead, may outlast building the
// window: the window then shows first, greyed and with an empty chooser, and the scan and the
// channel named on the command line follow once the look is done.
TEST_F(WindowTest, AStartUpWhoseLookForHoldersIsLateShowsTheWindowFirst) {
    writeChannelFile({"Radio1,AM,954,80,COM3"});
    addReceiver("COM3");
    const testenv::BusyProcesses busy(200, 50);
    using comm::posix::HolderScan;
    auto holders = std::make_shared<HolderScan>(
        comm::posix::devicesOfPorts(kivo::scannedPortNames()), HolderScan::When::OnAThread);
    form1 = std::make_unique<TForm1>();
    form1->usePortScan(holders);
    runHandler([&] { form1->FormCreate(QString::fromStdString(program.path()), "Radio1"); });
    // A machine that looks through every process faster than a window is built has
    // nothing to wait for.
    if (holders->ready()) GTEST_SKIP() << "the look for holders was done before the window";
    EXPECT_FALSE(form1->isEnabled());
    EXPECT_EQ(form1->ComboBox1->count(), 0);
    EXPECT_EQ(form1->Label1->text(), "OFF");
    form2 = std::make_unique<TForm2>(*form1);
    form1->setCompactWindow(form2.get());
    form1->show();

    ASSERT_TRUE(processEventsUntil([&] { return form1->isEnabled(); }, 20000));
    EXPECT_EQ(form1->ComboBox1->count(), 1);
    EXPECT_EQ(form1->ComboBox1->currentText(), "COM3");
    EXPECT_EQ(form1->Label1->text(), "ON");
    EXPECT_SENT(
        cmds({"H101", "J4000", "J4101", "K00000954000020100", "K00000954000020100", "J4050"}));
}
