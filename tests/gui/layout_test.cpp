// The main window and the strip as laid out: every control where the table puts it, in
// its font, with its caption and first state, and the tab order.
#include <QApplication>
#include <QFontInfo>
#include <QTest>

#include "tests/gui/guitest.h"

namespace {

struct Placed {
    const char* name;
    QWidget* widget;
    QRect geometry;
    int fontHeight;  // 0: not checked
    QString caption;
};

QString captionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    return {};
}

void checkPlaced(const std::vector<Placed>& table) {
    for (const Placed& p : table) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.widget->objectName(), QLatin1String(p.name));
        if (auto* label = qobject_cast<QLabel*>(p.widget)) {
            // A label keeps its place and height and widens to show its whole caption.
            EXPECT_EQ(label->pos(), p.geometry.topLeft());
            EXPECT_EQ(label->height(), p.geometry.height());
            EXPECT_GE(label->width(), p.geometry.width());
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
        } else if (qobject_cast<QRadioButton*>(p.widget)) {
            // So does a band button, within its box.
            EXPECT_EQ(p.widget->pos(), p.geometry.topLeft());
            EXPECT_EQ(p.widget->height(), p.geometry.height());
            EXPECT_GE(p.widget->width(),
                      std::max(p.geometry.width(), p.widget->sizeHint().width()));
            EXPECT_LE(p.widget->geometry().right(), p.widget->parentWidget()->width() - 2);
        } else {
            EXPECT_EQ(p.widget->geometry(), p.geometry);
        }
        if (p.fontHeight > 0) {
            EXPECT_EQ(p.widget->font().pixelSize(), p.fontHeight);
            // The Windows face is missing here; its stand-in must be the one drawing.
            EXPECT_EQ(QFontInfo(p.widget->font()).family(), QStringLiteral("IPAPGothic"));
        }
        EXPECT_EQ(captionOf(p.widget), p.caption);
    }
}

// The widgets Tab visits from `first`, until it comes back round.
std::vector<QWidget*> tabCycle(QWidget* window, QWidget* first) {
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    first->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> seen;
    for (int i = 0; i < 40; ++i) {
        QWidget* now = QApplication::focusWidget();
        if (!now) break;
        // An editable combo box keeps its focus in its line edit.
        if (auto* combo = qobject_cast<QComboBox*>(now->parentWidget())) now = combo;
        if (!seen.empty() && now == seen.front()) break;
        seen.push_back(now);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return seen;
}

}  // namespace

TEST_F(WindowTest, MainWindowControlsAreWhereTheTablePutsThem) {
    start();
    TForm1& f = *form1;
    checkPlaced({
        {"Label7", f.Label7, {48, 8, 125, 21}, 21, "KIVO ver3.0"},
        {"Button8", f.Button8, {256, 8, 73, 25}, 12, "S mode"},
        {"Label6", f.Label6, {8, 40, 30, 16}, 16, "Port"},
        {"ComboBox1", f.ComboBox1, {48, 40, 137, 27}, 19, ""},
        {"Label1", f.Label1, {208, 40, 33, 19}, 19, "OFF"},
        {"Button2", f.Button2, {256, 40, 75, 25}, 12, "POWER"},
        {"Label5", f.Label5, {8, 72, 71, 16}, 16, "Frequency"},
        {"Edit1", f.Edit1, {16, 96, 177, 27}, 19, ""},
        {"GroupBox1", f.GroupBox1, {248, 80, 89, 57}, 0, ""},
        {"RadioButton1", f.RadioButton1, {8, 8, 73, 17}, 12, "AM (kHz)"},
        {"RadioButton2", f.RadioButton2, {8, 32, 73, 17}, 12, "FM (MHz)"},
        {"Label4", f.Label4, {8, 128, 49, 16}, 16, "Volume"},
        {"Label2", f.Label2, {80, 128, 16, 16}, 16, "80"},
        {"ScrollBar1", f.ScrollBar1, {16, 152, 329, 17}, 0, ""},
        {"Label3", f.Label3, {8, 192, 29, 16}, 16, "Title"},
        {"Edit2", f.Edit2, {48, 192, 161, 27}, 19, ""},
        {"Button1", f.Button1, {256, 192, 75, 25}, 12, "Add"},
        {"Button4", f.Button4, {48, 232, 75, 25}, 12, "Reload"},
        {"Button3", f.Button3, {152, 232, 75, 25}, 12, "Delete"},
        {"Button5", f.Button5, {256, 232, 75, 25}, 12, "Save"},
        {"Button6", f.Button6, {48, 272, 75, 25}, 12, "UP"},
        {"Button7", f.Button7, {152, 272, 75, 25}, 12, "Down"},
        {"ListBox1", f.ListBox1, {8, 312, 337, 257}, 19, ""},
    });
    EXPECT_TRUE(f.Label7->font().bold());
    EXPECT_EQ(f.RadioButton1->parentWidget(), f.GroupBox1);
    EXPECT_EQ(f.RadioButton2->parentWidget(), f.GroupBox1);
    EXPECT_EQ(f.size(), QSize(352, 573));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("KIVO"));

    // First state.
    EXPECT_FALSE(f.RadioButton1->isChecked());
    EXPECT_FALSE(f.RadioButton2->isChecked());
    EXPECT_EQ(f.ScrollBar1->minimum(), 0);
    EXPECT_EQ(f.ScrollBar1->maximum(), 255);
    EXPECT_EQ(f.ScrollBar1->value(), 80);
    EXPECT_TRUE(f.ComboBox1->isEditable());
    EXPECT_TRUE(f.ComboBox1->isEnabled());
    EXPECT_EQ(f.Timer1.interval(), 10000);
    EXPECT_FALSE(f.Timer1.isActive());
    EXPECT_EQ(f.rs232c1.bps, 9600);
    EXPECT_EQ(f.rs232c1.charbit, 8);
    EXPECT_EQ(f.rs232c1.stopbit, "1");
    EXPECT_EQ(f.rs232c1.paritymode, "無し");
    EXPECT_FALSE(f.rs232c1.debug);
    EXPECT_FALSE(f.rs232c1.OnRXCHAR.assigned());
    EXPECT_FALSE(f.smode());

    // Rows of the list are 19 pixels high.
    writeChannelFile({"a,AM,1,1,COM1", "b,AM,2,2,COM1"});
    QTest::mouseClick(f.Button4, Qt::LeftButton);
    ASSERT_EQ(f.ListBox1->count(), 2);
    EXPECT_EQ(f.ListBox1->rowRect(1).top(), 19);
}

TEST_F(WindowTest, TabVisitsTheControlsInTheirOrder) {
    start();
    TForm1& f = *form1;
    std::vector<QWidget*> expected = {
        f.ComboBox1,    f.Button2, f.ListBox1, f.ScrollBar1, f.Button1, f.Button3, f.Edit1,
        f.RadioButton1, f.Edit2,   f.Button4,  f.Button5,    f.Button6, f.Button7, f.Button8};
    EXPECT_EQ(tabCycle(form1.get(), f.ComboBox1), expected);

    form1->Button8->click();
    TForm2& s = *form2;
    EXPECT_EQ(tabCycle(form2.get(), s.ComboBox1),
              (std::vector<QWidget*>{s.ComboBox1, s.ScrollBar1, s.Button2, s.Button1}));
}

TEST_F(WindowTest, StripControlsAreWhereTheTablePutsThem) {
    start();
    TForm2& s = *form2;
    EXPECT_FALSE(s.isVisible());
    checkPlaced({
        {"Button2", s.Button2, {2, 4, 20, 20}, 12, "|"},
        {"ComboBox1", s.ComboBox1, {32, 4, 137, 20}, 12, ""},
        {"ScrollBar1", s.ScrollBar1, {176, 6, 145, 16}, 0, ""},
        {"Button1", s.Button1, {330, 4, 20, 20}, 12, "F"},
    });
    EXPECT_TRUE(s.Button2->font().bold());
    EXPECT_EQ(s.size(), QSize(352, 30));
    EXPECT_EQ(s.minimumSize(), s.maximumSize());  // not resizable
    EXPECT_EQ(s.windowTitle(), QStringLiteral("KIVO"));
    EXPECT_EQ(s.ScrollBar1->value(), 0);
    EXPECT_EQ(s.ScrollBar1->maximum(), 255);
}
