// What the main window puts on the line when the user clicks and types, checked byte for
// byte at a simulated receiver on a pseudo-terminal.
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "serial/posix/ports/holders.h"
#include "serial/posix/ports/portcheck.h"
#include "tests/gui/guitest.h"
#include "tests/support/busyprocesses.h"

namespace {

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

TEST_F(WindowTest, PowerButtonSwitchesOnAndOffOnlyWithAPortChosen) {
    writeChannelFile({});
    addReceiver("COM3");
    start();

    click(form1->Button2);  // no port chosen
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_EQ(sent(), "");

    choosePort("COM3");
    EXPECT_EQ(form1->rs232c1.portname, "COM3");
    click(form1->Button2);
    EXPECT_SENT(cmds({"G300", "H101", "J4000", "J4101"}));
    EXPECT_EQ(form1->Label1->text(), "ON");
    EXPECT_FALSE(form1->ComboBox1->isEnabled());
    EXPECT_TRUE(form1->Timer1.isActive());
    EXPECT_TRUE(form1->rs232c1.isOpen());

    click(form1->Button2);
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_TRUE(form1->ComboBox1->isEnabled());
    EXPECT_FALSE(form1->Timer1.isActive());
    EXPECT_FALSE(form1->rs232c1.isOpen());
    EXPECT_TRUE(boxes.messages.isEmpty());
}

TEST_F(WindowTest, PortThatDoesNotOpenIsReportedAndTheReceiverStaysOff) {
    writeChannelFile({});
    start();
    choosePort("COM5");
    click(form1->Button2);
    EXPECT_EQ(boxes.messages, QStringList{missingPortMessage("COM5")});
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_TRUE(form1->ComboBox1->isEnabled());
    EXPECT_FALSE(form1->Timer1.isActive());
}

TEST_F(WindowTest, SelectingALineTunesAndSetsTheVolumeAsOftenAsItsControlsChange) {
    writeChannelFile({"Test,FM,80.7,120,COM7", "Bad,AM,954,x,COM3", "Loud,AM,954,300,COM3"});
    addReceiver("COM3");
    start();
    click(form1->RadioButton1);
    switchOn("COM3");
    ASSERT_EQ(sent(24), cmds({"G300", "H101", "J4000", "J4101"}));

    // FM checked with the empty text (nothing), the text set (tune), the explicit tune,
    // the slider moved (volume) and the explicit volume.
    clickLine(0);
    EXPECT_TRUE(form1->RadioButton2->isChecked());
    EXPECT_EQ(form1->Edit2->text(), "Test");
    EXPECT_EQ(form1->Label2->text(), "120");
    EXPECT_SENT(cmds({"K00080700000060400", "K00080700000060400", "J4078", "J4078"}));
    EXPECT_EQ(form1->rs232c1.portname, "COM3");  // the line's port is not used

    // A double click on the selected line runs the selection again: nothing changes, so
    // only the explicit calls send.
    doubleClickLine(0);
    EXPECT_SENT(cmds({"K00080700000060400", "J4078"}));

    // A volume that is no number leaves the slider. Checking AM tunes the old text in kHz
    // (80.7 rounds to 81), then the new text, then the explicit call.
    clickLine(1);
    EXPECT_EQ(form1->ScrollBar1->value(), 120);
    EXPECT_SENT(cmds({"K00000081000020100", "K00000954000020100", "K00000954000020100"}));

    // Only the explicit tune; the volume is clamped to 255 and sent twice.
    clickLine(2);
    EXPECT_EQ(form1->ScrollBar1->value(), 255);
    EXPECT_SENT(cmds({"K00000954000020100", "J40FF", "J40FF"}));

    // Moving the selection with the keyboard selects too; moving it by code does not.
    QTest::keyClick(form1->ListBox1, Qt::Key_Up);
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    EXPECT_SENT(cmds({"K00000954000020100"}));
    click(form1->Button7);
    click(form1->Button6);
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    EXPECT_EQ(sent(), "");

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

TEST_F(WindowTest, EveryTypedChangeOfTheFrequencyTunesAndTheBandButtonsRetune) {
    writeChannelFile({});
    addReceiver("COM3");
    start();
    click(form1->RadioButton1);
    switchOn("COM3");
    sent(24);

    typeInto(form1->Edit1, "954");
    EXPECT_SENT(cmds({"K00000009000020100", "K00000095000020100", "K00000954000020100"}));

    // A text that is no number sends nothing; taking the blank away again tunes.
    typeInto(form1->Edit1, " ");
    EXPECT_EQ(sent(), "");
    QTest::keyClick(form1->Edit1, Qt::Key_Backspace);
    EXPECT_SENT(cmds({"K00000954000020100"}));

    click(form1->RadioButton1);  // already checked: nothing
    EXPECT_EQ(sent(), "");
    click(form1->RadioButton2);
    EXPECT_SENT(cmds({"K00954000000060400"}));
    click(form1->RadioButton1);
    EXPECT_SENT(cmds({"K00000954000020100"}));
}

TEST_F(WindowTest, SliderShowsItsValueAlwaysAndSendsOnlyWhileOn) {
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

TEST_F(WindowTest, TimerTicksSendThePeriodicCommandAndClosingSwitchesOff) {
    writeChannelFile({});
    sim::Simulator& receiver = addReceiver("COM3");
    start();
    switchOn("COM3");
    sent(24);
    form1->Timer1.setInterval(100);
    form1->Timer1.start();
    ASSERT_TRUE(processEventsUntil([&] { return receiver.received().size() >= 7; }, 5000));
    form1->Timer1.stop();
    EXPECT_EQ(sent(7).substr(0, 7), cmds({"J4101"}));
    // The answers were read and thrown away.
    ASSERT_TRUE(processEventsUntil([&] { return form1->rs232c1.rxcount() == 0; }, 5000));

    QSignalSpy closed(form1.get(), &TForm1::closed);
    form1->close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_FALSE(form1->rs232c1.isOpen());
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
    ASSERT_FALSE(holders->ready()) << "the look was done first: nothing to wait for";
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

TEST_F(WindowTest, ChannelOnTheCommandLineSwitchesOnAndTunesIt) {
    writeChannelFile({"Radio10,AM,594,80,COM3", "Radio1,FM,80.7,120,COM3"});
    addReceiver("COM3");
    start(QStringLiteral(" Radio1 "));
    EXPECT_EQ(form1->ComboBox1->currentText(), "COM3");
    EXPECT_FALSE(form1->ComboBox1->isEnabled());
    EXPECT_EQ(form1->Label1->text(), "ON");
    EXPECT_TRUE(form1->Timer1.isActive());
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    EXPECT_SENT(cmds(
        {"H101", "J4000", "J4101", "K00080700000060400", "K00080700000060400", "J4078", "J4078"}));
}

TEST_F(WindowTest, CommandLinePortIsTheWholeComNameOfTheLine) {
    writeChannelFile({"Radio,AM,594,80,COM12"});
    addReceiver("COM12");
    start(QStringLiteral("Radio"));
    EXPECT_EQ(form1->rs232c1.portname, "COM12");
    EXPECT_EQ(form1->Label1->text(), "ON");
    EXPECT_SENT(
        cmds({"H101", "J4000", "J4101", "K00000594000020100", "K00000594000020100", "J4050"}));
}

TEST_F(WindowTest, CommandLineChannelThatIsMissingOrDoesNotOpenLeavesTheReceiverOff) {
    writeChannelFile({"Radio1,AM,594,80,COM4", "NoPort,AM,594,80,"});
    start(QStringLiteral("Radio"));
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_TRUE(boxes.messages.isEmpty());
    form1.reset();
    form2.reset();

    start(QStringLiteral("NoPort"));
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_TRUE(boxes.messages.isEmpty());
    form1.reset();
    form2.reset();

    start(QStringLiteral("Radio1"));
    EXPECT_EQ(boxes.messages, QStringList{missingPortMessage("COM4")});
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_TRUE(form1->ComboBox1->isEnabled());
    EXPECT_FALSE(form1->Timer1.isActive());
}
