// A channel list longer than its list box: what the box shows after each change.
#include <QScreen>
#include <QTest>

#include "tests/app/qt/guitest.h"

namespace {

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

}  // namespace

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
