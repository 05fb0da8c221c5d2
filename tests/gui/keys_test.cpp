// Every action from the keyboard: the keys press the buttons as a click does, the list's
// keys act while the list has the focus, and each tooltip names its key.
#include <QApplication>
#include <QTest>

#include "tests/gui/guitest.h"

namespace {

class KeysTest : public WindowTest {
  protected:
    void startOnReceiver() {
        writeChannelFile(
            {"Radio1,AM,594,80,COM3", "Music,FM,80.7,120,COM3", "News,AM,954,100,COM3"});
        addReceiver("COM3");
        start();
        choosePort("COM3");
        focusOn(form1->Edit2);
    }

    // The window active and `widget` holding the focus, as after the user put it there.
    void focusOn(QWidget* widget) {
        QWidget* window = widget->window();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        widget->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(processEventsUntil([&] { return widget->hasFocus(); }, 2000));
    }

    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    }
};

}  // namespace

TEST_F(KeysTest, PowerAndSModeKeysWorkInBothWindows) {
    startOnReceiver();
    press(Qt::Key_P, Qt::ControlModifier);
    EXPECT_SENT(cmds({"G300", "H101", "J4000", "J4101"}));
    EXPECT_EQ(form1->Label1->text(), "ON");
    EXPECT_TRUE(form1->Edit2->hasFocus());  // the key does not take the focus away

    press(Qt::Key_M, Qt::ControlModifier);
    ASSERT_TRUE(form2->isVisible());
    EXPECT_FALSE(form1->isVisible());
    focusOn(form2->ComboBox1);
    press(Qt::Key_P, Qt::ControlModifier);
    EXPECT_SENT(cmds({"H100"}));
    EXPECT_EQ(form2->Button2->text(), QString::fromUtf8("○"));
    press(Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(form1->isVisible());
    EXPECT_FALSE(form2->isVisible());
    EXPECT_FALSE(form1->smode());
}

TEST_F(KeysTest, ReloadAndSaveKeysAskAndActAsTheButtons) {
    startOnReceiver();
    writeChannelFile({"Only,FM,82.5,96,COM3"});
    press(Qt::Key_F5);
    EXPECT_EQ(shownLines(), QStringList{"Only,FM,82.5,96,COM3"});

    boxes.answer = false;
    press(Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(boxes.questions.size(), 1);
    typeInto(form1->Edit1, "954");
    typeInto(form1->Edit2, "Added");
    QTest::mouseClick(form1->Button1, Qt::LeftButton);
    boxes.answer = true;
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(boxes.questions.size(), 2);
    EXPECT_EQ(channelFileBytes(), "Only,FM,82.5,96,COM3\r\nAdded,FM,954,80,COM3\r\n");
}

// Delete and Alt+Up/Down act on the selected line only while the list has the focus:
// elsewhere they are the field's own keys (Delete removes a character).
TEST_F(KeysTest, ListKeysEditTheListOnlyFromTheList) {
    startOnReceiver();
    const QStringList lines = shownLines();
    clickLine(1);
    typeInto(form1->Edit2, "x");
    form1->Edit2->setCursorPosition(0);
    press(Qt::Key_Delete);
    press(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(shownLines(), lines);
    EXPECT_EQ(form1->Edit2->text(), "usicx");

    focusOn(form1->ListBox1);
    press(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(shownLines(), (QStringList{lines[0], lines[2], lines[1]}));
    EXPECT_EQ(form1->ListBox1->selectedRows(), QList<int>{2});
    press(Qt::Key_Up, Qt::AltModifier);
    press(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(shownLines(), (QStringList{lines[1], lines[0], lines[2]}));
    press(Qt::Key_Delete);
    EXPECT_EQ(shownLines(), (QStringList{lines[0], lines[2]}));
    EXPECT_TRUE(form1->ListBox1->selectedRows().isEmpty());
}

// Enter chooses the current line, or the selected one again as a double click does; Up and
// Down choose a line as a click does.
TEST_F(KeysTest, EnterOnALineSelectsAndTunesIt) {
    startOnReceiver();
    press(Qt::Key_P, Qt::ControlModifier);
    sent(4 * 6);
    focusOn(form1->ListBox1);  // the first line is current, nothing selected
    ASSERT_TRUE(form1->ListBox1->selectedRows().isEmpty());
    press(Qt::Key_Return);
    EXPECT_EQ(form1->ListBox1->selectedRows(), QList<int>{0});
    EXPECT_SENT(cmds({"K00000594000020100", "K00000594000020100", "J4050"}));
    press(Qt::Key_Return);
    EXPECT_SENT(cmds({"K00000594000020100", "J4050"}));
    press(Qt::Key_Down);
    EXPECT_EQ(form1->ListBox1->selectedRows(), QList<int>{1});
    EXPECT_EQ(form1->Edit2->text(), "Music");
    EXPECT_SENT(
        cmds({"K00594000000060400", "K00080700000060400", "K00080700000060400", "J4078", "J4078"}));
}

TEST_F(KeysTest, TooltipsNameTheKeys) {
    start();
    const std::pair<QWidget*, const char*> tips[] = {
        {form1->Button2, "Ctrl+P"},   {form1->Button8, "Ctrl+M"}, {form1->Button4, "F5"},
        {form1->Button5, "Ctrl+S"},   {form1->Button3, "Delete"}, {form1->Button6, "Alt+Up"},
        {form1->Button7, "Alt+Down"}, {form1->ListBox1, "Enter"}, {form2->Button2, "Ctrl+P"},
        {form2->Button1, "Ctrl+M"},
    };
    for (const auto& [widget, key] : tips)
        EXPECT_TRUE(widget->toolTip().contains(QLatin1String(key)))
            << widget->objectName().toStdString() << ": " << widget->toolTip().toStdString();
}

// The control with the focus looks different from itself without it, on both windows.
TEST_F(KeysTest, FocusShowsOnEveryControl) {
    startOnReceiver();
    clickLine(0);
    auto check = [&](const std::vector<QWidget*>& controls) {
        focusOn(controls.front());
        press(Qt::Key_Tab);  // the window is used from the keyboard: the focus is drawn
        for (std::size_t i = 0; i < controls.size(); ++i) {
            QWidget* control = controls[i];
            SCOPED_TRACE(control->objectName().toStdString());
            focusOn(controls[(i + 1) % controls.size()]);
            const QImage without = control->grab().toImage();
            focusOn(control);
            EXPECT_NE(control->grab().toImage(), without);
        }
    };
    TForm1& f = *form1;
    check({f.ComboBox1, f.Button2, f.ListBox1, f.ScrollBar1, f.Button1, f.Button3, f.Edit1,
           f.RadioButton1, f.RadioButton2, f.Edit2, f.Button4, f.Button5, f.Button6, f.Button7,
           f.Button8});
    f.Button8->click();
    TForm2& s = *form2;
    check({s.ComboBox1, s.ScrollBar1, s.Button2, s.Button1});
}
