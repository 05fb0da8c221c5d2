#include "app/qt/Unit2.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QListView>
#include <QShortcut>
#include <QSignalBlocker>
#include <algorithm>

#include "app/qt/Unit1.h"
#include "app/qt/apptitle.h"
#include "app/qt/controls.h"
#include "app/qt/uitext.h"
#include "app/qt/winfont.h"

namespace {

const QString powerOnCaption = QStringLiteral("|");
const QString powerOffCaption = QString::fromUtf8("○");

}  // namespace

TForm2::TForm2(TForm1& form1, QWidget* parent) : QWidget(parent), form1_(form1) {
    setWindowTitle(QStringLiteral("KIVO"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    useWindowFace(this);
    setFixedSize(352, 30);

    Button2 = new QPushButton(powerOnCaption, this);
    Button2->setGeometry(2, 4, 20, 20);
    Button2->setFont(windowFont(12, true));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setGeometry(32, 4, 137, 20);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setCompleter(nullptr);
    ComboBox1->view()->setItemDelegate(new FixedRowHeightDelegate(12, ComboBox1));
    // The names are a model of their own: entering S mode hands them over at once, and
    // nothing measures every one of them.
    names_ = new ChannelNamesModel(this);
    ComboBox1->setModel(names_);
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    if (auto* popup = qobject_cast<QListView*>(ComboBox1->view())) popup->setUniformItemSizes(true);
    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setGeometry(176, 6, 145, 16);
    ScrollBar1->setRange(0, 255);
    ScrollBar1->setValue(0);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(1);
    ScrollBar1->setInvertedControls(false);
    ScrollBar1->setFocusPolicy(Qt::StrongFocus);
    showFocusFrame(ScrollBar1);
    Button1 = new QPushButton(QStringLiteral("F"), this);
    Button1->setGeometry(330, 4, 20, 20);
    for (QPushButton* b : {Button1, Button2}) b->setAutoDefault(false);
    Button2->setObjectName(QStringLiteral("Button2"));
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    Button1->setObjectName(QStringLiteral("Button1"));

    setTabOrder(ComboBox1, ScrollBar1);
    setTabOrder(ScrollBar1, Button2);
    setTabOrder(Button2, Button1);

    // What a screen reader says of them (the captions are single characters), and the
    // keys: the main window's for power and for going back.
    Button2->setAccessibleName(uiText(kivo::Msg::NamePower));
    ComboBox1->setAccessibleName(uiText(kivo::Msg::NameChannel));
    ComboBox1->lineEdit()->setAccessibleName(uiText(kivo::Msg::NameChannel));
    ScrollBar1->setAccessibleName(uiText(kivo::Msg::NameVolume));
    Button1->setAccessibleName(uiText(kivo::Msg::NameFullWindow));
    Button1->setToolTip(uiText(kivo::Msg::TipFullWindow));
    Button2->setToolTip(uiText(kivo::Msg::TipPower));
    for (auto [keys, button] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_P), Button2},
                                std::pair{QKeySequence(Qt::CTRL | Qt::Key_M), Button1}}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    }

    connect(Button1, &QPushButton::clicked, this,
            [this] { runHandler([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { runHandler([this] { Button2Click(); }); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this,
            [this] { runHandler([this] { ScrollBar1Change(); }); });
    connect(ComboBox1, &QComboBox::activated, this,
            [this] { runHandler([this] { ComboBox1Change(); }); });
    connect(ComboBox1->lineEdit(), &QLineEdit::textEdited, this,
            [this] { runHandler([this] { ComboBox1Change(); }); });
}

TForm2::~TForm2() {
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

void TForm2::FormCreate() {
    setWindowTitle(programTitle());
}

void TForm2::Button1Click() {
    form1_.setSmode(false);
    form1_.show();
    hide();
    form1_.move(pos());
}

void TForm2::Button2Click() {
    if (form1_.portText().empty()) return;
    Button2->setText(Button2->text() == powerOffCaption ? powerOnCaption : powerOffCaption);
    // Whatever the main window's handler leaves (a port that fails to open stays off),
    // the caption shows the power state afterwards.
    struct ShowState {
        TForm2& form;
        ~ShowState() { form.showPowerState(); }
    } showState{*this};
    form1_.Button2Click();
}

void TForm2::showPowerState() {
    Button2->setText(form1_.Label1->text() == QLatin1String(kivo::kPowerOn) ? powerOnCaption
                                                                            : powerOffCaption);
    const QString& notice = form1_.powerNotice();
    showNotice(Button2, notice, QPalette::ButtonText, QColor(192, 0, 0), QColor(255, 140, 140),
               uiText(kivo::Msg::TipPower));
    const bool on = Button2->text() == powerOnCaption;
    Button2->setAccessibleDescription(
        notice.isEmpty() ? uiText(on ? kivo::Msg::PowerIsOn : kivo::Msg::PowerIsOff) : notice);
}

void TForm2::ScrollBar1Change() {
    form1_.setVolumePosition(ScrollBar1->value());
}

void TForm2::ComboBox1Change() {
    form1_.channels().setSelectedIndex(chooserIndex());
    form1_.ListBox1DblClick();
}

void TForm2::FormClose() {
    form1_.close();
}

void TForm2::closeEvent(QCloseEvent* event) {
    if (handlersHeld()) {
        event->ignore();  // the strip closes with the main window once the wait is over
        form1_.requestClose();
        return;
    }
    event->accept();
    runHandler([this] { FormClose(); });
}

void TForm2::setVolumePosition(int position) {
    if (setPositionQuietly(ScrollBar1, position)) ScrollBar1Change();
}

void TForm2::showChannelNames(kivo::ChannelNames names, int selected) {
    QSignalBlocker quiet(ComboBox1);
    QSignalBlocker quietEdit(ComboBox1->lineEdit());
    const QString text = ComboBox1->currentText();
    names_->show(std::move(names));
    if (ComboBox1->count() > 0 && selected >= 0 && selected < ComboBox1->count()) {
        ComboBox1->setCurrentIndex(selected);
        return;
    }
    // Filling the list made its first item current; nothing is selected, and the edit
    // text stays what it was.
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(text);
}

int TForm2::chooserIndex() const {
    const QString text = ComboBox1->currentText();
    int current = ComboBox1->currentIndex();
    if (current >= 0 && ComboBox1->itemText(current) == text) return current;
    return names_->find(text);
}
