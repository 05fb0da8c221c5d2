#include "app/qt/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

#include "app/qt/Unit2.h"
#include "app/qt/apptitle.h"
#include "app/qt/dialogs.h"
#include "app/qt/qtnotifywindow.h"
#include "app/qt/uitext.h"
#include "app/qt/winfont.h"
#include "core/cp932.h"
#include "serial/posix/ports/portcheck.h"

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}
std::string toUtf8(const QString& text) {
    return text.toStdString();
}

template <class W>
W* place(const char* name, W* widget, int left, int top, int width, int height, int fontHeight = 0,
         bool bold = false) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(left, top, width, height);
    if (fontHeight > 0) widget->setFont(windowFont(fontHeight, bold));
    return widget;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), control_(rs232c1, *this) {
    createControls();
    describeControls();
    bindHandlers();
    bindKeys();
    followChannelList();
    control_.onLineHeld = [this] { letRequestsThrough({this, form2_}); };
    control_.usePortNotices(&portNotices_);
}

TForm1::~TForm1() {
    // The controls go after this object's own members: nothing they signal while being
    // destroyed may reach a handler, and no view may read the lines once they are gone.
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
    Timer1.disconnect(this);
    control_.usePortNotices(nullptr);
    channelList_.changing = nullptr;
    channelList_.changed = nullptr;
    ListBox1->setModel(nullptr);
    delete listModel_;
}

void TForm1::createControls() {
    setWindowTitle(QStringLiteral("KIVO"));
    useWindowFace(this);
    // Client area of a 360 x 600 frame with a 4-pixel sizing border and a 19-pixel caption.
    resize(352, 573);

    Label7 =
        place("Label7", new QLabel(QStringLiteral("KIVO ver3.0"), this), 48, 8, 125, 21, 21, true);
    Button8 = place("Button8", new QPushButton(QStringLiteral("S mode"), this), 256, 8, 73, 25, 12);
    Label6 = place("Label6", new QLabel(QStringLiteral("Port"), this), 8, 40, 30, 16, 16);
    ComboBox1 = place("ComboBox1", new QComboBox(this), 48, 40, 137, 27, 19);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setCompleter(nullptr);
    ComboBox1->view()->setItemDelegate(new FixedRowHeightDelegate(19, ComboBox1));
    Label1 = place("Label1", new QLabel(QStringLiteral("OFF"), this), 208, 40, 33, 19, 19);
    Button2 = place("Button2", new QPushButton(QStringLiteral("POWER"), this), 256, 40, 75, 25, 12);
    showPowerColours();
    Label5 = place("Label5", new QLabel(QStringLiteral("Frequency"), this), 8, 72, 71, 16, 16);
    Edit1 = place("Edit1", new QLineEdit(this), 16, 96, 177, 27, 19);
    GroupBox1 = place("GroupBox1", new QGroupBox(this), 248, 80, 89, 57);
    RadioButton1 = place("RadioButton1", new QRadioButton(QStringLiteral("AM (kHz)"), GroupBox1), 8,
                         8, 73, 17, 12);
    RadioButton2 = place("RadioButton2", new QRadioButton(QStringLiteral("FM (MHz)"), GroupBox1), 8,
                         32, 73, 17, 12);
    Label4 = place("Label4", new QLabel(QStringLiteral("Volume"), this), 8, 128, 49, 16, 16);
    Label2 = place("Label2", new QLabel(QStringLiteral("80"), this), 80, 128, 16, 16, 16);
    ScrollBar1 = place("ScrollBar1", new QScrollBar(Qt::Horizontal, this), 16, 152, 329, 17);
    ScrollBar1->setRange(0, 255);
    ScrollBar1->setValue(80);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(1);  // a click in the trough moves by one, like the arrows
    ScrollBar1->setInvertedControls(false);
    ScrollBar1->setFocusPolicy(Qt::StrongFocus);
    showFocusFrame(ScrollBar1);
    Label3 = place("Label3", new QLabel(QStringLiteral("Title"), this), 8, 192, 29, 16, 16);
    Edit2 = place("Edit2", new QLineEdit(this), 48, 192, 161, 27, 19);
    Button1 = place("Button1", new QPushButton(QStringLiteral("Add"), this), 256, 192, 75, 25, 12);
    Button4 =
        place("Button4", new QPushButton(QStringLiteral("Reload"), this), 48, 232, 75, 25, 12);
    Button3 =
        place("Button3", new QPushButton(QStringLiteral("Delete"), this), 152, 232, 75, 25, 12);
    Button5 = place("Button5", new QPushButton(QStringLiteral("Save"), this), 256, 232, 75, 25, 12);
    Button6 = place("Button6", new QPushButton(QStringLiteral("UP"), this), 48, 272, 75, 25, 12);
    Button7 = place("Button7", new QPushButton(QStringLiteral("Down"), this), 152, 272, 75, 25, 12);
    ListBox1 = place("ListBox1", new ChannelListBox(this), 8, 312, 337, 257, 19);
    ListBox1->setRowHeight(19);
    listModel_ = new ChannelListModel(channelList_, this);
    ListBox1->setModel(listModel_);

    // Labels size themselves to their captions: where the stand-in font draws a caption
    // wider than the Windows face would, the label grows to the right instead of clipping.
    for (QLabel* l : {Label7, Label6, Label1, Label5, Label4, Label2, Label3})
        setCaption(l, l->text());
    // So do the band buttons, inside their box.
    for (QRadioButton* band : {RadioButton1, RadioButton2})
        band->resize(std::max(band->width(), band->sizeHint().width()), band->height());

    for (QPushButton* b : {Button1, Button2, Button3, Button4, Button5, Button6, Button7, Button8})
        b->setAutoDefault(false);

    // Tab order of the controls that take focus.
    QWidget* order[] = {ComboBox1, Button2, ListBox1, ScrollBar1, Button1, Button3, Edit1,
                        GroupBox1, Edit2,   Button4,  Button5,    Button6, Button7, Button8};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget* from = order[i] == GroupBox1 ? RadioButton2 : order[i];
        QWidget* to = order[i + 1] == GroupBox1 ? RadioButton1 : order[i + 1];
        setTabOrder(from, to);
    }
    setTabOrder(RadioButton1, RadioButton2);

    Timer1.setInterval(10000);
    Timer1.setSingleShot(false);

    // Centred on the screen when first shown (the frame is 360 x 600).
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(180, 300));
}

// The POWER caption is black, where black reads on the button (not on a dark desktop's).
void TForm1::showPowerColours() {
    QPalette colours = Button2->palette();
    colours.setColor(QPalette::ButtonText,
                     isLight(palette().color(QPalette::Button))
                         ? QColor(Qt::black)
                         : QApplication::palette().color(QPalette::ButtonText));
    Button2->setPalette(colours);
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The desktop's colours changed (a dark theme chosen): the POWER caption follows them.
    if (event->type() == QEvent::PaletteChange && Button2) showPowerColours();
}

// What a screen reader says of each control, and the tooltips that give the keys.
void TForm1::describeControls() {
    Label6->setBuddy(ComboBox1);
    Label5->setBuddy(Edit1);
    Label4->setBuddy(ScrollBar1);
    Label3->setBuddy(Edit2);
    // An editable chooser is named by its text: its field carries the name too.
    ComboBox1->setAccessibleName(uiText(kivo::Msg::NamePort));
    ComboBox1->lineEdit()->setAccessibleName(uiText(kivo::Msg::NamePort));
    Button2->setAccessibleName(uiText(kivo::Msg::NamePower));
    GroupBox1->setAccessibleName(uiText(kivo::Msg::NameBand));
    ScrollBar1->setAccessibleName(uiText(kivo::Msg::NameVolume));
    Edit2->setAccessibleName(uiText(kivo::Msg::NameTitle));
    ListBox1->setAccessibleName(uiText(kivo::Msg::NameChannelList));
    showBandInName();
    setPowerCaption(toUtf8(Label1->text()));

    const std::pair<QWidget*, kivo::Msg> tips[] = {
        {Button2, kivo::Msg::TipPower},        {Button8, kivo::Msg::TipSmode},
        {Button1, kivo::Msg::TipAdd},          {Button4, kivo::Msg::TipReload},
        {Button5, kivo::Msg::TipSave},         {Button3, kivo::Msg::TipDelete},
        {Button6, kivo::Msg::TipUp},           {Button7, kivo::Msg::TipDown},
        {ListBox1, kivo::Msg::TipChannelList},
    };
    for (const auto& [widget, tip] : tips) widget->setToolTip(uiText(tip));
}

// The frequency field's name says its unit: kHz while AM is checked, else MHz (a typed
// frequency is tuned as FM until a band is checked).
void TForm1::showBandInName() {
    Edit1->setAccessibleName(uiText(RadioButton1->isChecked() ? kivo::Msg::NameFrequencyKhz
                                                              : kivo::Msg::NameFrequencyMhz));
}

// Every action has its key; the buttons' keys press them as a click does (nothing while
// a button is disabled), the list's act while it has the focus.
void TForm1::bindKeys() {
    auto key = [this](QKeySequence keys, QWidget* scope, Qt::ShortcutContext context,
                      QPushButton* button) {
        auto* shortcut = new QShortcut(keys, scope, nullptr, nullptr, context);
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_P), this, Qt::WindowShortcut, Button2);
    key(QKeySequence(Qt::CTRL | Qt::Key_M), this, Qt::WindowShortcut, Button8);
    key(QKeySequence(Qt::CTRL | Qt::Key_S), this, Qt::WindowShortcut, Button5);
    key(QKeySequence(Qt::Key_F5), this, Qt::WindowShortcut, Button4);
    key(QKeySequence(Qt::Key_Delete), ListBox1, Qt::WidgetShortcut, Button3);
    key(QKeySequence(Qt::ALT | Qt::Key_Up), ListBox1, Qt::WidgetShortcut, Button6);
    key(QKeySequence(Qt::ALT | Qt::Key_Down), ListBox1, Qt::WidgetShortcut, Button7);
}

// User actions reach the handlers through these signals. Changes made by code go through
// the ReceiverWindow setters below, which keep these signals blocked and run the handler
// themselves, once per actual change.
void TForm1::bindHandlers() {
    auto bind = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
    };
    bind(ComboBox1, &QComboBox::activated, &TForm1::ComboBox1Change);
    bind(ComboBox1->lineEdit(), &QLineEdit::textEdited, &TForm1::ComboBox1Change);
    bind(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    bind(Edit1, &QLineEdit::textChanged, &TForm1::Edit1Change);
    // Checking a band runs the tune; the other band's unchecking runs nothing.
    for (QRadioButton* band : {RadioButton1, RadioButton2}) {
        connect(band, &QRadioButton::toggled, this, [this](bool checked) {
            showBandInName();
            if (checked) runHandler([this] { Edit1Change(); });
        });
    }
    bind(ScrollBar1, &QScrollBar::valueChanged, &TForm1::ScrollBar1Change);
    connect(ListBox1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { userSelectedLine(); });
    bind(ListBox1, &ChannelListBox::doubleClickedAnywhere, &TForm1::ListBox1DblClick);
    bind(ListBox1, &ChannelListBox::lineChosenAgain, &TForm1::ListBox1DblClick);
    bind(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(Button3, &QPushButton::clicked, &TForm1::Button3Click);
    bind(Button4, &QPushButton::clicked, &TForm1::Button4Click);
    bind(Button5, &QPushButton::clicked, &TForm1::Button5Click);
    bind(Button6, &QPushButton::clicked, &TForm1::Button6Click);
    bind(Button7, &QPushButton::clicked, &TForm1::Button7Click);
    bind(Button8, &QPushButton::clicked, &TForm1::Button8Click);
    bind(&Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
}

void TForm1::FormCreate(const QString& channelFolder, const std::optional<QString>& argument) {
    setWindowTitle(programTitle());

    QString dir = channelFolder;
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    control_.channelFilePath = toUtf8(dir + QStringLiteral("KIVO.ini"));
    control_.loadAtStartup();
    if (closing()) return;  // asked to end while its box waited: no port is touched
    if (portScan_ && !portScan_->ready()) {
        setEnabled(false);
        portScan_->whenReady([self = QPointer<TForm1>(this), argument] {
            callOnGuiThread([self, argument] {
                whenNoHandlerRuns([self, argument] {
                    if (self) self->scanPortsAndStart(argument);
                });
            });
        });
        return;
    }
    scanPortsAndStart(argument);
}

void TForm1::scanPortsAndStart(const std::optional<QString>& argument) {
    setEnabled(true);
    if (closing()) return;
    {
        // One look for other holders serves every port of the scan.
        using comm::posix::HolderScan;
        auto holders = std::exchange(portScan_, nullptr);
        if (!holders)
            holders = std::make_shared<HolderScan>(
                comm::posix::devicesOfPorts(kivo::scannedPortNames()), HolderScan::When::Now);
        const comm::posix::UsingHolderScan scan(std::move(holders));
        QSignalBlocker quiet(ComboBox1);
        for (const std::string& name : kivo::scanPorts(rs232c1)) ComboBox1->addItem(fromUtf8(name));
        // Filling the list must not choose a port: the chooser's text stays empty.
        ComboBox1->setCurrentIndex(-1);
        ComboBox1->setEditText(QString());
    }

    smode_ = false;

    if (argument) control_.startWithChannel(toUtf8(*argument));
}

// The list box is a view of the channel lines: each change of them reaches it row by
// row, and afterwards it shows the list's selection. Nothing here runs a handler.
void TForm1::followChannelList() {
    channelList_.changing = [this](const kivo::ChannelList::Change& change) {
        showingList_ = true;
        listModel_->aboutToChange(change);
    };
    channelList_.changed = [this](const kivo::ChannelList::Change& change) {
        struct Done {
            bool& showing;
            ~Done() { showing = false; }
        } done{showingList_};
        listModel_->hasChanged(change);
        showSelection();
    };
}

void TForm1::showSelection() {
    int index = channelList_.selectedIndex();
    if (index < 0 || index >= channelList_.count()) index = -1;
    const QList<int> selected = ListBox1->selectedRows();
    const int shown = selected.isEmpty() ? -1 : selected.front();
    if (shown != index) ListBox1->setCurrentRow(index);
}

// The user changed the selected line (mouse or keyboard).
void TForm1::userSelectedLine() {
    if (showingList_) return;
    const QList<int> selected = ListBox1->selectedRows();
    channelList_.setSelectedIndex(selected.isEmpty() ? -1 : selected.front());
    runHandler([this] { ListBox1DblClick(); });
}

// Handlers: the receiver core does the work.

void TForm1::ComboBox1Change() {
    control_.ComboBox1Change();
}
void TForm1::Button2Click() {
    control_.Button2Click();
}
void TForm1::Edit1Change() {
    control_.Edit1Change();
}
void TForm1::ScrollBar1Change() {
    control_.ScrollBar1Change();
}
void TForm1::ListBox1DblClick() {
    control_.ListBox1DblClick();
}
void TForm1::Button1Click() {
    control_.Button1Click();
}
void TForm1::Button3Click() {
    control_.Button3Click();
}
void TForm1::Button4Click() {
    control_.Button4Click();
}
void TForm1::Button5Click() {
    control_.Button5Click();
}
void TForm1::Button6Click() {
    control_.Button6Click();
}
void TForm1::Button7Click() {
    control_.Button7Click();
}
void TForm1::Timer1Timer() {
    control_.Timer1Timer();
}
void TForm1::FormClose() {
    control_.FormClose();
}

void TForm1::Button8Click() {
    if (!form2_) return;
    smode_ = true;
    hide();
    form2_->show();
    form2_->move(pos());
    form2_->setVolumePosition(ScrollBar1->value());
    form2_->showPowerState();
    form2_->showChannelNames(channelList_.names(), channelList_.selectedIndex());
}

void TForm1::requestClose() {
    control_.requestStop();
    dismissOpenBoxes();
    whenNoHandlerRuns([self = QPointer<TForm1>(this)] {
        if (self) self->close();
    });
}

void TForm1::closeAtExit() {
    if (closing_) return;
    closing_ = true;
    control_.onLineHeld = nullptr;
    try {
        FormClose();
    } catch (...) {
        // Nothing is left to show it in.
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (handlersHeld()) {
        // The close box while a command waits on a held line: the sequence stops and the
        // window closes once it has returned.
        event->ignore();
        requestClose();
        return;
    }
    // The closing sequence runs once, however many requests to end arrive.
    if (!closing_) {
        closing_ = true;
        runHandler([this] { FormClose(); });
    }
    event->accept();
    if (form2_) form2_->hide();
    emit closed();
}

// ReceiverWindow on the widgets.

std::string TForm1::powerCaption() const {
    return toUtf8(Label1->text());
}
void TForm1::setPowerCaption(const std::string& caption) {
    setCaption(Label1, fromUtf8(caption));
    Label1->setAccessibleName(uiText(kivo::Msg::NamePowerState, {{"state", caption}}));
    Button2->setAccessibleDescription(
        uiText(caption == kivo::kPowerOff ? kivo::Msg::PowerIsOff : kivo::Msg::PowerIsOn));
    // The strip's button shows it too, whatever changed it.
    if (form2_) form2_->showPowerState();
}

void TForm1::setPowerNotice(const std::string& text) {
    powerNotice_ = fromUtf8(text);
    showNotice(ComboBox1, powerNotice_, QPalette::Base, QColor(255, 200, 200), QColor(110, 24, 24));
    if (form2_) form2_->showPowerState();
}

std::string TForm1::portText() const {
    return toUtf8(ComboBox1->currentText());
}
void TForm1::setPortText(const std::string& text) {
    QSignalBlocker quiet(ComboBox1);
    QSignalBlocker quietEdit(ComboBox1->lineEdit());
    ComboBox1->setEditText(fromUtf8(text));
}
bool TForm1::portEnabled() const {
    return ComboBox1->isEnabled();
}
void TForm1::setPortEnabled(bool enabled) {
    ComboBox1->setEnabled(enabled);
}

std::string TForm1::frequencyText() const {
    return toUtf8(Edit1->text());
}
void TForm1::setFrequencyText(const std::string& text) {
    QString next = fromUtf8(text);
    if (next == Edit1->text()) return;
    {
        QSignalBlocker quiet(Edit1);
        Edit1->setText(next);
    }
    Edit1Change();
}

bool TForm1::amChecked() const {
    return RadioButton1->isChecked();
}
bool TForm1::fmChecked() const {
    return RadioButton2->isChecked();
}
void TForm1::checkAm() {
    if (!checkQuietly(RadioButton1, RadioButton2)) return;
    showBandInName();
    Edit1Change();
}
void TForm1::checkFm() {
    if (!checkQuietly(RadioButton2, RadioButton1)) return;
    showBandInName();
    Edit1Change();
}

std::string TForm1::nameText() const {
    return toUtf8(Edit2->text());
}
void TForm1::setNameText(const std::string& text) {
    Edit2->setText(fromUtf8(text));
}

int TForm1::volumePosition() const {
    return ScrollBar1->value();
}
void TForm1::setVolumePosition(int position) {
    if (setPositionQuietly(ScrollBar1, position)) ScrollBar1Change();
}
void TForm1::setVolumeLabel(const std::string& text) {
    setCaption(Label2, fromUtf8(text));
}

bool TForm1::timerEnabled() const {
    return Timer1.isActive();
}
void TForm1::setTimerEnabled(bool enabled) {
    // Enabling starts a full interval; enabling a running timer leaves it be.
    if (enabled && !Timer1.isActive()) Timer1.start();
    if (!enabled) Timer1.stop();
}

int TForm1::compactVolumePosition() const {
    return form2_ ? form2_->ScrollBar1->value() : 0;
}

void TForm1::setCompactVolumePosition(int position) {
    if (form2_)
        form2_->setVolumePosition(position);
    else
        setVolumePosition(position);
}

void TForm1::showMessage(const std::string& text) {
    dialogs().showMessage(fromUtf8(text));
}
bool TForm1::confirm(const std::string& text) {
    return dialogs().confirmOverwrite(fromUtf8(text));
}
