// The standard boxes as the user meets them, and the two title rules behind captions.
#include "app/qt/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/qt/apptitle.h"
#include "tests/app/qt/guitest.h"

namespace {

// Shows `box` modally and presses `key` in it once it is up; returns the button clicked.
QAbstractButton* answerWith(QMessageBox& box, int key) {
    QTimer::singleShot(0, &box, [&box, key] {
        if (key == Qt::Key_Escape || key == Qt::Key_Return)
            QTest::keyClick(&box, static_cast<Qt::Key>(key));
        else
            box.close();  // the close box
    });
    box.exec();
    return box.clickedButton();
}

}  // namespace

TEST(TitleRules, ProgramTitleLosesTheLastExtensionApplicationTitleCutsAtTheFirstDot) {
    EXPECT_EQ(programTitleOf("C:/Program Files/KIVO/KIVO.exe"), "KIVO");
    EXPECT_EQ(applicationTitleOf("C:/Program Files/KIVO/KIVO.exe"), "Kivo");
    EXPECT_EQ(programTitleOf("/usr/local/bin/kivo"), "kivo");
    EXPECT_EQ(applicationTitleOf("/usr/local/bin/kivo"), "kivo");
    EXPECT_EQ(programTitleOf("/opt/My.Radio.exe"), "My.Radio");
    EXPECT_EQ(applicationTitleOf("/opt/My.Radio.exe"), "My");
    EXPECT_EQ(applicationTitleOf("/opt/RADIO.ÄBC.exe"), "Radio");
    EXPECT_EQ(applicationTitleOf("/opt/ÄÖÜ"), "Äöü");
    EXPECT_EQ(programTitleOf("/opt/.hidden"), "");
}

TEST(StandardBoxes, SaveConfirmationAsksYesFirstEnterYesEscapeAndCloseBoxNo) {
    auto box = makeConfirmBox("現在のリストをファイルに上書きしてよいですか？");
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8("確認"));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->text(), QString::fromUtf8("現在のリストをファイルに上書きしてよいですか？"));
    QList<QAbstractButton*> buttons = box->buttons();
    ASSERT_EQ(buttons.size(), 2);
    auto* yes = qobject_cast<QPushButton*>(box->defaultButton());
    ASSERT_NE(yes, nullptr);
    EXPECT_EQ(yes->text(), QString::fromUtf8("はい(&Y)"));
    QAbstractButton* no = box->escapeButton();
    ASSERT_NE(no, nullptr);
    EXPECT_EQ(no->text(), QString::fromUtf8("いいえ(&N)"));

    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    EXPECT_LT(yes->geometry().left(), no->geometry().left());  // Yes, then No
    box->hide();

    EXPECT_EQ(answerWith(*makeConfirmBox("q"), Qt::Key_Return)->text(),
              QString::fromUtf8("はい(&Y)"));
    EXPECT_EQ(answerWith(*makeConfirmBox("q"), Qt::Key_Escape)->text(),
              QString::fromUtf8("いいえ(&N)"));
    EXPECT_EQ(answerWith(*makeConfirmBox("q"), 0)->text(), QString::fromUtf8("いいえ(&N)"));
}

TEST(StandardBoxes, ErrorAndMessageBoxesCarryTheApplicationTitle) {
    setProgramTitles("/opt/kivo/KIVO.exe");
    auto error = makeErrorBox("x");
    EXPECT_EQ(error->windowTitle(), "Kivo");
    EXPECT_EQ(error->icon(), QMessageBox::Critical);
    EXPECT_EQ(error->standardButtons(), QMessageBox::Ok);

    auto message = makeMessageBox("y");
    EXPECT_EQ(message->windowTitle(), "Kivo");
    EXPECT_EQ(message->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(message->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(message->text(), "y");
}
