// The channel list buttons and the channel file, as the user drives them: real clicks,
// real files. The receiver stays off here; what goes on the line is tested elsewhere.
#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QTest>
#include <filesystem>

#include "tests/app/qt/guitest.h"

namespace {

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

TEST_F(WindowTest, StartWithoutChannelFileSaysSoAndOpensWithAnEmptyList) {
    start();
    EXPECT_EQ(boxes.messages, QStringList{QString::fromUtf8("\"KIVO.ini\" ファイルが開けません")});
    EXPECT_TRUE(boxes.errors.isEmpty());
    EXPECT_EQ(form1->ListBox1->count(), 0);
    EXPECT_TRUE(form1->isVisible());
    EXPECT_EQ(form1->Label1->text(), "OFF");
    EXPECT_EQ(form1->control().channelFilePath, channelFilePath());
}

TEST_F(WindowTest, AddDeleteAndMoveLinesWithTheButtons) {
    writeChannelFile({});
    start();
    EXPECT_TRUE(boxes.messages.isEmpty());

    // Add needs both the frequency and the name.
    typeInto(form1->Edit2, " My Radio, 2 ");
    click(form1->Button1);
    EXPECT_EQ(form1->ListBox1->count(), 0);
    click(form1->RadioButton1);
    typeInto(form1->Edit1, "954");
    choosePort("COM1");
    click(form1->Button1);
    form1->Edit2->clear();
    typeInto(form1->Edit2, "ラジオ");
    click(form1->RadioButton2);
    form1->Edit1->clear();
    typeInto(form1->Edit1, "80.7");
    form1->ScrollBar1->setValue(120);
    click(form1->Button1);
    EXPECT_EQ(shownLines(), QStringList({"My_Radio__2,AM,954,80,COM1",
                                         QString::fromUtf8("ラジオ,FM,80.7,120,COM1")}));
    EXPECT_EQ(form1->ListBox1->selectedRows().size(), 0);  // Add selects nothing

    // UP on the first line and Down on the last do nothing; otherwise the line moves
    // and stays selected.
    clickLine(0);
    click(form1->Button6);
    EXPECT_EQ(form1->ListBox1->currentRow(), 0);
    click(form1->Button7);
    EXPECT_EQ(shownLines().at(1), "My_Radio__2,AM,954,80,COM1");
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    EXPECT_EQ(form1->channels().selectedIndex(), 1);
    click(form1->Button7);
    EXPECT_EQ(form1->ListBox1->currentRow(), 1);
    click(form1->Button6);
    EXPECT_EQ(shownLines().at(0), "My_Radio__2,AM,954,80,COM1");
    EXPECT_EQ(form1->ListBox1->currentRow(), 0);

    // Delete removes the selected line and leaves nothing selected; then it does nothing.
    click(form1->Button3);
    EXPECT_EQ(shownLines(), QStringList{QString::fromUtf8("ラジオ,FM,80.7,120,COM1")});
    EXPECT_TRUE(form1->ListBox1->selectedRows().isEmpty());
    click(form1->Button3);
    EXPECT_EQ(form1->ListBox1->count(), 1);
    EXPECT_TRUE(boxes.errors.isEmpty());
}

// The edits take line breaks and NUL from the clipboard. A line holding one would come
// back from the file as two lines, or end the file there and lose every later line.
TEST_F(WindowTest, AddRefusesPastedLineBreaksAndNulSoTheFileKeepsItsLines) {
    writeChannelFile({"a,AM,594,80,COM1", "b,FM,80.7,120,COM3"});
    start();
    auto paste = [](QLineEdit* edit, const QString& text) {
        QApplication::clipboard()->setText(text);
        edit->clear();
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        ASSERT_EQ(edit->text(), text);
    };
    click(form1->RadioButton1);
    choosePort("COM1");
    typeInto(form1->Edit1, "954");
    paste(form1->Edit2, QStringLiteral("My\nRadio"));
    click(form1->Button1);
    paste(form1->Edit2, QStringLiteral("My\r\nRadio"));
    click(form1->Button1);
    paste(form1->Edit2, QStringLiteral("My") + QChar(0) + QStringLiteral("Radio"));
    click(form1->Button1);
    EXPECT_EQ(boxes.messages.size(), 3);
    EXPECT_EQ(boxes.messages.value(0), QString::fromUtf8("名前に保存できない文字があります"));
    // At the ends of the name they are trimmed like any blank.
    paste(form1->Edit2, QStringLiteral("Radio\r\n"));
    click(form1->Button1);
    EXPECT_EQ(shownLines().value(2), "Radio,AM,954,80,COM1");
    paste(form1->Edit1, QStringLiteral("95\n4"));
    click(form1->Button1);
    paste(form1->Edit1, QStringLiteral("954"));
    paste(form1->ComboBox1->lineEdit(), QStringLiteral("COM1") + QChar(0));
    click(form1->Button1);
    EXPECT_EQ(boxes.messages.size(), 5);
    EXPECT_EQ(form1->ListBox1->count(), 3);

    boxes.answer = true;
    click(form1->Button5);
    click(form1->Button4);
    EXPECT_EQ(shownLines(),
              QStringList({"a,AM,594,80,COM1", "b,FM,80.7,120,COM3", "Radio,AM,954,80,COM1"}));
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(WindowTest, SaveAsksFirstAndWritesOnlyOnYesReloadRestoresTheFile) {
    writeChannelFile({"a,AM,594,80,COM1", "b,FM,80.7,120,COM3"});
    const std::string original = channelFileBytes();
    start();
    ASSERT_EQ(form1->ListBox1->count(), 2);

    clickLine(0);
    click(form1->Button3);
    boxes.answer = false;
    click(form1->Button5);
    EXPECT_EQ(boxes.questions,
              QStringList{QString::fromUtf8("現在のリストをファイルに上書きしてよいですか？")});
    EXPECT_EQ(channelFileBytes(), original);

    // Reload brings the file's lines back, with nothing selected.
    clickLine(0);
    click(form1->Button4);
    EXPECT_EQ(shownLines(), QStringList({"a,AM,594,80,COM1", "b,FM,80.7,120,COM3"}));
    EXPECT_TRUE(form1->ListBox1->selectedRows().isEmpty());
    EXPECT_EQ(form1->channels().selectedIndex(), -1);

    clickLine(1);
    click(form1->Button3);
    boxes.answer = true;
    click(form1->Button5);
    EXPECT_EQ(channelFileBytes(), "a,AM,594,80,COM1\r\n");
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(WindowTest, FileErrorsShowTheStandardDialogAndKeepTheList) {
    writeChannelFile({"a,AM,594,80,COM1"});
    start();
    std::filesystem::remove(channelFilePath());
    click(form1->Button4);
    EXPECT_EQ(boxes.errors, QStringList{QString::fromUtf8("ファイル ") +
                                        QString::fromStdString(channelFilePath()) +
                                        QString::fromUtf8(" は開けません.")});
    EXPECT_EQ(shownLines(), QStringList{"a,AM,594,80,COM1"});

    // A folder where the file should be: it cannot be created.
    std::filesystem::create_directory(channelFilePath());
    boxes.errors.clear();
    click(form1->Button5);
    EXPECT_EQ(boxes.errors, QStringList{QString::fromUtf8("ファイル ") +
                                        QString::fromStdString(channelFilePath()) +
                                        QString::fromUtf8(" を作成できません.")});
    // The window goes on working.
    clickLine(0);
    EXPECT_EQ(form1->Edit2->text(), "a");
}

TEST_F(WindowTest, ShortLineStopsTheSelectionWithTheListIndexError) {
    writeChannelFile({"Two,AM", "Full,FM,80.7,120,COM3"});
    start();
    clickLine(0);
    EXPECT_EQ(form1->Edit2->text(), "Two");
    EXPECT_TRUE(form1->RadioButton1->isChecked());
    EXPECT_EQ(boxes.errors,
              QStringList{QString::fromUtf8("リストのインデックスが範囲を超えています (2)")});
    // Still usable: the next line selects fully.
    clickLine(1);
    EXPECT_EQ(form1->Edit2->text(), "Full");
    EXPECT_EQ(form1->Edit1->text(), "80.7");
    EXPECT_EQ(form1->ScrollBar1->value(), 120);
    EXPECT_EQ(form1->Label2->text(), "120");
    EXPECT_EQ(boxes.errors.size(), 1);
}

// What the screen shows of the list box is what the box would draw afresh: no row a
// change concerns is left as it was. Waits (bounded) for the repaints to land.
bool drawnAsTheBoxIs(ChannelListBox* box) {
    QWidget* area = box->viewport();
    const QPoint at = area->mapTo(area->window(), QPoint(0, 0));
    for (int tries = 0; tries < 40; ++tries) {
        QTest::qWait(25);
        const QImage shown =
            area->screen()
                ->grabWindow(area->window()->winId(), at.x(), at.y(), area->width(), area->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        const QImage fresh = area->grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (shown == fresh) return true;
    }
    return false;
}

// A list longer than the box: the box shows the rows the list's changes concern and
// reads the lines where they are kept.
TEST_F(WindowTest, ALongListShowsTheLineInQuestionAfterEachChange) {
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i)
        lines.push_back("Ch" + std::to_string(i) + ",AM," + std::to_string(i) + ",80,COM4");
    writeChannelFile(lines);
    start(QStringLiteral("Ch2500"));  // COM4 does not open: selected all the same
    ChannelListBox* box = form1->ListBox1;
    auto shows = [box](int row) { return box->viewport()->rect().contains(box->rowRect(row)); };
    EXPECT_EQ(box->currentRow(), 2500);
    EXPECT_TRUE(shows(2500));
    EXPECT_EQ(form1->Edit2->text(), "Ch2500");

    EXPECT_TRUE(drawnAsTheBoxIs(box));

    click(form1->Button3);
    EXPECT_EQ(box->count(), 2999);
    EXPECT_EQ(box->itemText(2500), "Ch2501,AM,2501,80,COM4");
    EXPECT_TRUE(box->selectedRows().isEmpty());
    EXPECT_TRUE(drawnAsTheBoxIs(box));

    const int top = box->indexAt(QPoint(5, 5)).row();
    ASSERT_GT(top, 2000);
    clickLine(top + 1);
    EXPECT_EQ(form1->Edit2->text(), QString("Ch%1").arg(top + 1 < 2500 ? top + 1 : top + 2));
    click(form1->Button6);
    EXPECT_EQ(box->currentRow(), top);
    EXPECT_TRUE(shows(top));
    EXPECT_EQ(box->itemText(top),
              form1->Edit2->text() + ",AM," + form1->Edit1->text() + ",80,COM4");
    EXPECT_TRUE(drawnAsTheBoxIs(box));

    click(form1->Button1);  // a copy of the selected line goes to the end
    EXPECT_EQ(box->count(), 3000);
    EXPECT_EQ(box->itemText(2999), box->itemText(top));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End);
    EXPECT_EQ(form1->channels().selectedIndex(), 2999);
    EXPECT_TRUE(shows(2999));
    click(form1->Button3);  // the last line: the box scrolls back by one
    EXPECT_TRUE(drawnAsTheBoxIs(box));
    click(form1->Button4);  // Reload
    EXPECT_EQ(box->count(), 3000);
    EXPECT_TRUE(drawnAsTheBoxIs(box));
    EXPECT_EQ(boxes.errors, QStringList());
}
