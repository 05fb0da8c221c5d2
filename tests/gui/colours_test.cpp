// Every text the windows colour themselves reads on a light desktop and on a dark one, and
// every caption fits its control.
#include <QApplication>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <cmath>

#include "app/qt/screenshots.h"
#include "tests/gui/guitest.h"

namespace {

double luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The contrast of two colours, 1 (none) to 21 (black on white); text wants 4.5 at least.
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class ColoursTest : public WindowTest {
  protected:
    ~ColoursTest() override { QApplication::setPalette(original); }

    // The windows anew, on `palette`.
    void startOn(const QPalette& palette) {
        form2.reset();
        form1.reset();
        QApplication::setPalette(palette);
        start();
    }

    // What the windows colour themselves: the face under the labels, the POWER caption,
    // and the notices of a switch-on whose port did not open.
    void expectReadable(const char* desktop) {
        SCOPED_TRACE(desktop);
        const QPalette face = form1->palette();
        EXPECT_GE(contrast(face.color(QPalette::WindowText), face.color(form1->backgroundRole())),
                  4.5);
        for (QPushButton* power : {form1->Button2, form2->Button2}) {
            const QPalette p = power->palette();
            EXPECT_GE(contrast(p.color(QPalette::ButtonText), p.color(QPalette::Button)), 4.5)
                << power->window()->metaObject()->className();
        }
        const QPalette chooser = form1->ComboBox1->palette();
        EXPECT_GE(contrast(chooser.color(QPalette::Text), chooser.color(QPalette::Base)), 4.5)
            << "the chooser's notice";
        const QPalette strip = form2->Button2->palette();
        EXPECT_GE(contrast(strip.color(QPalette::ButtonText), strip.color(QPalette::Button)), 4.5)
            << "the strip's notice";
    }

    void failASwitchOn() {
        switchOn("COM7");
        ASSERT_FALSE(form1->powerNotice().isEmpty());
        ASSERT_NE(form1->ComboBox1->palette().color(QPalette::Base),
                  QApplication::palette().color(QPalette::Base));  // the notice shows
    }

    const QPalette original = QApplication::palette();
};

}  // namespace

// The POWER caption is black where the button is light, as the window always had it; on a
// dark button it takes the desktop's text colour, and the notices their dark variants.
TEST_F(ColoursTest, TextsReadOnLightAndDarkDesktops) {
    startOn(QApplication::style()->standardPalette());
    EXPECT_EQ(form1->Button2->palette().color(QPalette::ButtonText), QColor(Qt::black));
    expectReadable("light, before a notice");
    failASwitchOn();
    expectReadable("light, with a notice");

    startOn(darkPalette());
    EXPECT_NE(form1->Button2->palette().color(QPalette::ButtonText), QColor(Qt::black));
    expectReadable("dark, before a notice");
    failASwitchOn();
    expectReadable("dark, with a notice");

    // A desktop turning dark while the program runs.
    startOn(QApplication::style()->standardPalette());
    QApplication::setPalette(darkPalette());
    QCoreApplication::processEvents();
    expectReadable("turned dark");
}

// The windows keep their pixel layout at any scaling, so a caption that fits here fits at
// 200 % too: each button's and band's caption, with the style's margins and indicator.
TEST_F(WindowTest, EveryCaptionFitsItsControl) {
    start();
    QList<QAbstractButton*> buttons = form1->findChildren<QAbstractButton*>();
    buttons += form2->findChildren<QAbstractButton*>();
    ASSERT_EQ(buttons.size(), 12);
    for (QAbstractButton* b : buttons) {
        SCOPED_TRACE(b->text().toStdString());
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const bool radio = qobject_cast<QRadioButton*>(b) != nullptr;
        const QSize text = b->fontMetrics().size(Qt::TextShowMnemonic, b->text());
        const QSize needed = b->style()->sizeFromContents(
            radio ? QStyle::CT_RadioButton : QStyle::CT_PushButton, &option, text, b);
        // A push button's size from its contents includes the style's least width, which
        // the system's small buttons were never bound to: its text and margins are.
        const int width =
            radio ? needed.width()
                  : text.width() + 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, b);
        EXPECT_LE(width, b->width());
        EXPECT_LE(text.height(), b->height());
    }
}
