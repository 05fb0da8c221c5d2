#include "app/win32/Unit1.h"

#include <commctrl.h>

#include <algorithm>

#include "app/win32/Unit2.h"
#include "app/win32/apptitle.h"
#include "app/win32/dialogs.h"
#include "core/cp932.h"
#include "core/win32/widechar.h"

namespace {

// Client area of a 360 x 600 frame, the window's own size at 96 DPI.
constexpr int kOuterWidth = 360, kOuterHeight = 600;

// The channel line as the list shows it.
std::wstring lineText(std::string_view line) {
    return kivo::widen(kivo::cp932ToUtf8(line));
}

}  // namespace

LRESULT CALLBACK TForm1::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TForm1* self = formOf<TForm1>(hwnd, msg, lParam);
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCCREATE) self->hwnd_ = hwnd;
    return self->dispatch(msg, wParam, lParam);
}

TForm1::TForm1() : control_(rs232c1, *this) {
    registerWindowClass(kClassName, procedure);
    CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"KIVO", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    CW_USEDEFAULT, CW_USEDEFAULT, kOuterWidth, kOuterHeight, nullptr, nullptr,
                    GetModuleHandleW(nullptr), this);
    createControls();
    describeControls();
    bindKeys();
    followChannelList();
    control_.onLineHeld = [this] {
        letRequestsThrough({hwnd_, form2_ ? form2_->handle() : nullptr});
    };
    Timer1.attach(hwnd_, kTimer1, 10000);
    portNotices_.attach(hwnd_, kRestoreTimer);
    control_.usePortNotices(&portNotices_);
    addKeyboardWindow(hwnd_);
}

TForm1::~TForm1() {
    channelList_.changing = nullptr;
    channelList_.changed = nullptr;
    control_.onLineHeld = nullptr;
    control_.usePortNotices(nullptr);
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void TForm1::createControls() {
    const auto button = [this](int id, const wchar_t* caption) {
        return makeControl(hwnd_, WC_BUTTONW, caption, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, id);
    };
    const auto label = [this](int id, const wchar_t* caption) {
        return makeControl(hwnd_, WC_STATICW, caption, SS_LEFT | SS_NOPREFIX, id);
    };
    const auto edit = [this](int id) {
        return makeControl(hwnd_, WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, id,
                           WS_EX_CLIENTEDGE);
    };
    dpi_ = windowDpi(hwnd_);
    Layout& l = layout_;
    // Made in tab order (the keyboard follows it); labels anywhere between.
    Label7 = l.add(label(kLabel7, L"KIVO ver3.0"), 48, 8, 125, 21, 21, true);
    Label6 = l.add(label(kLabel6, L"Port"), 8, 40, 30, 16, 16);
    ComboBox1 =
        l.add(makeControl(hwnd_, WC_COMBOBOXW, L"",
                          CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                          kComboBox1),
              48, 40, 137, 27, 19, false, 19);
    Label1 = l.add(label(kLabel1, L"OFF"), 208, 40, 33, 19, 19);
    Button2 = l.add(button(kButton2, L"POWER"), 256, 40, 75, 25, 12);
    ListBox1 =
        l.add(makeControl(hwnd_, WC_LISTBOXW, L"",
                          LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                          kListBox1, WS_EX_CLIENTEDGE),
              8, 312, 337, 257, 19, false, 19);
    Label4 = l.add(label(kLabel4, L"Volume"), 8, 128, 49, 16, 16);
    Label2 = l.add(label(kLabel2, L"80"), 80, 128, 16, 16, 16);
    ScrollBar1 =
        l.add(makeControl(hwnd_, WC_SCROLLBARW, L"", SBS_HORZ | WS_TABSTOP | WS_GROUP, kScrollBar1),
              16, 152, 329, 17, 0);
    setScrollRange(ScrollBar1, 80);
    Button1 = l.add(button(kButton1, L"Add"), 256, 192, 75, 25, 12);
    Button3 = l.add(button(kButton3, L"Delete"), 152, 232, 75, 25, 12);
    Label5 = l.add(label(kLabel5, L"Frequency"), 8, 72, 71, 16, 16);
    Edit1 = l.add(edit(kEdit1), 16, 96, 177, 27, 19);
    // The group box frames the band buttons; they are the window's children, placed
    // inside it.
    GroupBox1 = l.add(makeControl(hwnd_, WC_BUTTONW, L"", BS_GROUPBOX | WS_GROUP, kGroupBox1), 248,
                      80, 89, 57, 12);
    RadioButton1 = l.add(makeControl(hwnd_, WC_BUTTONW, L"AM (kHz)",
                                     BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP, kRadioButton1),
                         248 + 8, 80 + 8, 73, 17, 12);
    RadioButton2 =
        l.add(makeControl(hwnd_, WC_BUTTONW, L"FM (MHz)", BS_AUTORADIOBUTTON, kRadioButton2),
              248 + 8, 80 + 32, 73, 17, 12);
    Label3 = l.add(label(kLabel3, L"Title"), 8, 192, 29, 16, 16);
    Edit2 = l.add(edit(kEdit2), 48, 192, 161, 27, 19);
    Button4 = l.add(button(kButton4, L"Reload"), 48, 232, 75, 25, 12);
    Button5 = l.add(button(kButton5, L"Save"), 256, 232, 75, 25, 12);
    Button6 = l.add(button(kButton6, L"UP"), 48, 272, 75, 25, 12);
    Button7 = l.add(button(kButton7, L"Down"), 152, 272, 75, 25, 12);
    Button8 = l.add(button(kButton8, L"S mode"), 256, 8, 73, 25, 12);

    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    GetComboBoxInfo(ComboBox1, &combo);
    notice_.attach(hwnd_, {ComboBox1, combo.hwndItem ? combo.hwndItem : ComboBox1});

    layout_.apply(dpi_);
    // Centred on the screen's work area.
    RECT work{0, 0, 1024, 768};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor))
        work = monitor.rcWork;
    const int width = scaled(kOuterWidth, dpi_), height = scaled(kOuterHeight, dpi_);
    SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::show() {
    ShowWindow(hwnd_, SW_SHOW);
    if (!shown_) {
        shown_ = true;
        SetForegroundWindow(hwnd_);
        // The first control in tab order that takes the focus (the port chooser unless a
        // channel switched the receiver on).
        if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);
    }
    UpdateWindow(hwnd_);
}

LRESULT TForm1::dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_HSCROLL:
            if (reinterpret_cast<HWND>(lParam) == ScrollBar1) {
                if (setPositionQuietly(ScrollBar1, requestedPosition(ScrollBar1, wParam)))
                    runHandler([this] { ScrollBar1Change(); });
            }
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1 && Timer1.isActive()) runHandler([this] { Timer1Timer(); });
            if (wParam == kRestoreTimer) portNotices_.timerDue();
            return 0;
        case WM_DEVICECHANGE:
            portNotices_.deviceChanged(wParam, lParam);
            return TRUE;
        case WM_CTLCOLOREDIT:
            // The port chooser's field is marked while a power notice stands.
            if (notice_.shown() && GetParent(reinterpret_cast<HWND>(lParam)) == ComboBox1) {
                SetBkColor(reinterpret_cast<HDC>(wParam), noticeColour());
                return reinterpret_cast<LRESULT>(noticeBrush());
            }
            break;
        case WM_CLOSE:
            requestClose();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) closeAtSessionEnd();
            return 0;
        case WM_DPICHANGED:
            dpi_ = followDpi(hwnd_, layout_, wParam, lParam);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

// User actions reach the handlers here. Changes made by code go through the
// ReceiverWindow setters below, which run the handler themselves, once per actual change.
void TForm1::command(int id, int code) {
    switch (id) {
        case IDOK:
            // Enter in the frequency field tunes to what it shows.
            if (GetFocus() == Edit1) runHandler([this] { Edit1Change(); });
            return;
        case kComboBox1:
            if (code == CBN_SELCHANGE) {
                // The field shows the chosen item only after this notification.
                const LRESULT item = SendMessageW(ComboBox1, CB_GETCURSEL, 0, 0);
                if (item == CB_ERR) return;
                std::wstring text(
                    static_cast<std::size_t>(SendMessageW(ComboBox1, CB_GETLBTEXTLEN, item, 0)) + 1,
                    L'\0');
                SendMessageW(ComboBox1, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
                SetWindowTextW(ComboBox1, text.c_str());
                runHandler([this] { ComboBox1Change(); });
            } else if (code == CBN_EDITCHANGE) {
                runHandler([this] { ComboBox1Change(); });
            }
            return;
        case kEdit1:
            if (code == EN_CHANGE && !settingFrequency_) runHandler([this] { Edit1Change(); });
            return;
        case kRadioButton1:
        case kRadioButton2:
            if (code == BN_CLICKED) bandClicked(id == kRadioButton1 ? RadioButton1 : RadioButton2);
            return;
        case kListBox1:
            if (code == LBN_SELCHANGE) userSelectedLine();
            if (code == LBN_DBLCLK) runHandler([this] { ListBox1DblClick(); });
            return;
        default:
            break;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
        case kButton1:
            runHandler([this] { Button1Click(); });
            break;
        case kButton2:
            runHandler([this] { Button2Click(); });
            break;
        case kButton3:
            runHandler([this] { Button3Click(); });
            break;
        case kButton4:
            runHandler([this] { Button4Click(); });
            break;
        case kButton5:
            runHandler([this] { Button5Click(); });
            break;
        case kButton6:
            runHandler([this] { Button6Click(); });
            break;
        case kButton7:
            runHandler([this] { Button7Click(); });
            break;
        case kButton8:
            runHandler([this] { Button8Click(); });
            break;
        default:
            break;
    }
}

// Checking a band that was not checked runs the tune; clicking the checked one does
// nothing. The button may come here unchecked (focus given by the keyboard): the click
// checks it.
void TForm1::bandClicked(HWND button) {
    HWND other = button == RadioButton1 ? RadioButton2 : RadioButton1;
    const bool was = button == RadioButton1 ? amBand_ : fmBand_;
    SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
    amBand_ = button == RadioButton1;
    fmBand_ = !amBand_;
    if (!was) runHandler([this] { Edit1Change(); });
}

void TForm1::FormCreate(const std::string& channelFolder,
                        const std::optional<std::string>& argument) {
    setWindowText(hwnd_, kivo::programTitle());

    control_.channelFilePath = channelFolder + "KIVO.ini";
    control_.loadAtStartup();
    if (closing()) return;  // asked to end while its box waited: no port is touched

    for (const std::string& name : kivo::scanPorts(rs232c1))
        SendMessageW(ComboBox1, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(kivo::widen(name).c_str()));
    // Filling the list chooses no port: the chooser's text stays empty.
    SendMessageW(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(ComboBox1, L"");

    smode_ = false;

    if (argument) control_.startWithChannel(*argument);
}

// The list box shows the channel lines: each change of them reaches it row by row, and
// afterwards it shows the list's selection. Nothing here runs a handler.
void TForm1::followChannelList() {
    channelList_.changed = [this](const kivo::ChannelList::Change& change) {
        showLines(change);
        showSelection();
    };
}

void TForm1::showLines(const kivo::ChannelList::Change& change) {
    using Kind = kivo::ChannelList::Change::Kind;
    const auto put = [this](int row) {
        SendMessageW(ListBox1, LB_INSERTSTRING, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(lineText(channelList_.line(row)).c_str()));
    };
    switch (change.kind) {
        case Kind::Reset: {
            SendMessageW(ListBox1, WM_SETREDRAW, FALSE, 0);
            SendMessageW(ListBox1, LB_RESETCONTENT, 0, 0);
            const int count = channelList_.count();
            SendMessageW(ListBox1, LB_INITSTORAGE, static_cast<WPARAM>(count),
                         static_cast<LPARAM>(count) * 64);
            for (int row = 0; row < count; ++row)
                SendMessageW(ListBox1, LB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(lineText(channelList_.line(row)).c_str()));
            SendMessageW(ListBox1, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(ListBox1, nullptr, TRUE);
            break;
        }
        case Kind::Inserted:
            put(change.row);
            break;
        case Kind::Removed:
            SendMessageW(ListBox1, LB_DELETESTRING, static_cast<WPARAM>(change.row), 0);
            break;
        case Kind::Moved:
            for (int row : {std::min(change.row, change.to), std::max(change.row, change.to)}) {
                SendMessageW(ListBox1, LB_DELETESTRING, static_cast<WPARAM>(row), 0);
                put(row);
            }
            break;
        case Kind::Selected:
            break;
    }
}

void TForm1::showSelection() {
    int index = channelList_.selectedIndex();
    if (index < 0 || index >= channelList_.count()) index = -1;
    if (SendMessageW(ListBox1, LB_GETCURSEL, 0, 0) != index)
        SendMessageW(ListBox1, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// The user changed the selected line (mouse or keyboard); a click on the line already
// selected changes nothing.
void TForm1::userSelectedLine() {
    const int shown = static_cast<int>(SendMessageW(ListBox1, LB_GETCURSEL, 0, 0));
    const int index = shown == LB_ERR ? -1 : shown;
    if (index == channelList_.selectedIndex()) return;
    channelList_.setSelectedIndex(index);
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
    RECT at;
    GetWindowRect(hwnd_, &at);
    ShowWindow(hwnd_, SW_HIDE);
    form2_->show();
    SetWindowPos(form2_->handle(), nullptr, at.left, at.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    form2_->setVolumePosition(scrollPosition(ScrollBar1));
    form2_->showPowerState();
    form2_->showChannelNames(channelList_.names(), channelList_.selectedIndex());
}

void TForm1::requestClose() {
    if (closed_) return;
    control_.requestStop();
    dismissOpenBoxes();
    whenNoHandlerRuns([this] { closeNow(); });
}

// The closing sequence, once, however many requests to end arrive; then the window goes,
// and the strip it owns with it.
void TForm1::closeNow() {
    if (closed_) return;
    closed_ = true;
    Timer1.stop();
    FormClose();
    if (form2_) ShowWindow(form2_->handle(), SW_HIDE);
    DestroyWindow(hwnd_);
    if (onClosed) onClosed();
}

// Windows is ending the session: the process ends when this returns, so the receiver is
// switched off now.
void TForm1::closeAtSessionEnd() {
    if (closed_) return;
    closed_ = true;
    control_.requestStop();
    control_.onLineHeld = nullptr;
    Timer1.stop();
    try {
        FormClose();
    } catch (...) {
        // Nothing is left to show it in.
    }
}

// ReceiverWindow on the controls.

std::string TForm1::powerCaption() const {
    return windowText(Label1);
}
void TForm1::setPowerCaption(const std::string& caption) {
    setCaption(Label1, caption);
    // The strip's button shows it too, whatever changed it.
    if (form2_) form2_->showPowerState();
}

void TForm1::setPowerNotice(const std::string& text) {
    notice_.show(text);
    if (form2_) form2_->showPowerState();
}

std::string TForm1::portText() const {
    return windowText(ComboBox1);
}
void TForm1::setPortText(const std::string& text) {
    setWindowText(ComboBox1, text);
}
bool TForm1::portEnabled() const {
    return IsWindowEnabled(ComboBox1) != FALSE;
}
void TForm1::setPortEnabled(bool enabled) {
    EnableWindow(ComboBox1, enabled);
}

std::string TForm1::frequencyText() const {
    return windowText(Edit1);
}
void TForm1::setFrequencyText(const std::string& text) {
    if (text == windowText(Edit1)) return;
    settingFrequency_ = true;
    setWindowText(Edit1, text);
    settingFrequency_ = false;
    Edit1Change();
}

bool TForm1::amChecked() const {
    return isChecked(RadioButton1);
}
bool TForm1::fmChecked() const {
    return isChecked(RadioButton2);
}
void TForm1::checkAm() {
    amBand_ = true;
    fmBand_ = false;
    if (checkQuietly(RadioButton1, RadioButton2)) Edit1Change();
}
void TForm1::checkFm() {
    amBand_ = false;
    fmBand_ = true;
    if (checkQuietly(RadioButton2, RadioButton1)) Edit1Change();
}

std::string TForm1::nameText() const {
    return windowText(Edit2);
}
void TForm1::setNameText(const std::string& text) {
    setWindowText(Edit2, text);
}

int TForm1::volumePosition() const {
    return scrollPosition(ScrollBar1);
}
void TForm1::setVolumePosition(int position) {
    if (setPositionQuietly(ScrollBar1, position)) ScrollBar1Change();
}
void TForm1::setVolumeLabel(const std::string& text) {
    setCaption(Label2, text);
}

bool TForm1::timerEnabled() const {
    return Timer1.isActive();
}
void TForm1::setTimerEnabled(bool enabled) {
    if (enabled)
        Timer1.start();
    else
        Timer1.stop();
}

int TForm1::compactVolumePosition() const {
    return form2_ ? scrollPosition(form2_->ScrollBar1) : 0;
}
void TForm1::setCompactVolumePosition(int position) {
    if (form2_)
        form2_->setVolumePosition(position);
    else
        setVolumePosition(position);
}

void TForm1::showMessage(const std::string& text) {
    ::showMessage(text);
}
bool TForm1::confirm(const std::string& text) {
    return confirmOverwrite(text);
}
