#include "app/win32/Unit2.h"

#include <commctrl.h>

#include "app/win32/Unit1.h"
#include "app/win32/apptitle.h"
#include "core/cp932.h"
#include "core/receivercontrol.h"
#include "core/win32/widechar.h"

namespace {

constexpr const char* kPowerOnCaption = "|";
constexpr const char* kPowerOffCaption = "○";
constexpr int kClientWidth = 352, kClientHeight = 30;
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

}  // namespace

LRESULT CALLBACK TForm2::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TForm2* self = formOf<TForm2>(hwnd, msg, lParam);
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCCREATE) self->hwnd_ = hwnd;
    return self->dispatch(msg, wParam, lParam);
}

TForm2::TForm2(TForm1& form1) : form1_(form1) {
    registerWindowClass(kClassName, procedure);
    CreateWindowExW(kExStyle, kClassName, L"KIVO", kStyle, 0, 0, kClientWidth, kClientHeight,
                    form1.handle(), nullptr, GetModuleHandleW(nullptr), this);
    dpi_ = windowDpi(hwnd_);

    // Made in tab order.
    ComboBox1 =
        layout_.add(makeControl(hwnd_, WC_COMBOBOXW, L"",
                                CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                                kComboBox1),
                    32, 4, 137, 20, 12, false, 12);
    ScrollBar1 = layout_.add(
        makeControl(hwnd_, WC_SCROLLBARW, L"", SBS_HORZ | WS_TABSTOP | WS_GROUP, kScrollBar1), 176,
        6, 145, 16, 0);
    setScrollRange(ScrollBar1, 0);
    Button2 = layout_.add(makeControl(hwnd_, WC_BUTTONW, kivo::widen(kPowerOnCaption).c_str(),
                                      BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, kButton2),
                          2, 4, 20, 20, 12, true);
    Button1 = layout_.add(
        makeControl(hwnd_, WC_BUTTONW, L"F", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, kButton1), 330,
        4, 20, 20, 12);
    notice_.attach(hwnd_, {Button2});
    layout_.apply(dpi_);
    RECT frame{0, 0, scaled(kClientWidth, dpi_), scaled(kClientHeight, dpi_)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    addKeyboardWindow(hwnd_);
}

TForm2::~TForm2() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void TForm2::show() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void TForm2::FormCreate() {
    setWindowText(hwnd_, kivo::programTitle());
}

LRESULT TForm2::dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam), code = HIWORD(wParam);
            if (id == kComboBox1 && code == CBN_SELCHANGE) {
                const int index = static_cast<int>(SendMessageW(ComboBox1, CB_GETCURSEL, 0, 0));
                runHandler([this, index] { ComboBox1Change(index == CB_ERR ? -1 : index); });
            } else if (id == kComboBox1 && code == CBN_EDITCHANGE) {
                runHandler([this] { ComboBox1Change(typedIndex()); });
            } else if (id == kButton1 && code == BN_CLICKED) {
                runHandler([this] { Button1Click(); });
            } else if (id == kButton2 && code == BN_CLICKED) {
                runHandler([this] { Button2Click(); });
            }
            return 0;
        }
        case WM_HSCROLL:
            if (reinterpret_cast<HWND>(lParam) == ScrollBar1 &&
                setPositionQuietly(ScrollBar1, requestedPosition(ScrollBar1, wParam)))
                runHandler([this] { ScrollBar1Change(); });
            return 0;
        case WM_CLOSE:
            // The strip closes with the main window, once no handler runs.
            if (handlersHeld())
                form1_.requestClose();
            else
                runHandler([this] { FormClose(); });
            return 0;
        case WM_DPICHANGED:
            dpi_ = followDpi(hwnd_, layout_, wParam, lParam);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm2::Button1Click() {
    form1_.setSmode(false);
    RECT at;
    GetWindowRect(hwnd_, &at);
    form1_.show();
    ShowWindow(hwnd_, SW_HIDE);
    SetWindowPos(form1_.handle(), nullptr, at.left, at.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm2::Button2Click() {
    if (form1_.portText().empty()) return;
    setWindowText(Button2,
                  windowText(Button2) == kPowerOffCaption ? kPowerOnCaption : kPowerOffCaption);
    // Whatever the main window's handler leaves (a port that fails to open stays off),
    // the caption shows the power state afterwards.
    struct ShowState {
        TForm2& form;
        ~ShowState() { form.showPowerState(); }
    } showState{*this};
    form1_.Button2Click();
}

void TForm2::showPowerState() {
    setWindowText(Button2,
                  form1_.powerCaption() == kivo::kPowerOn ? kPowerOnCaption : kPowerOffCaption);
    notice_.show(form1_.powerNotice());
}

void TForm2::ScrollBar1Change() {
    form1_.setVolumePosition(scrollPosition(ScrollBar1));
}

void TForm2::ComboBox1Change(int index) {
    form1_.channels().setSelectedIndex(index);
    form1_.ListBox1DblClick();
}

void TForm2::FormClose() {
    SendMessageW(form1_.handle(), WM_CLOSE, 0, 0);
}

void TForm2::setVolumePosition(int position) {
    if (setPositionQuietly(ScrollBar1, position)) ScrollBar1Change();
}

void TForm2::showChannelNames(kivo::ChannelNames names, int selected) {
    const std::string text = windowText(ComboBox1);
    SendMessageW(ComboBox1, WM_SETREDRAW, FALSE, 0);
    SendMessageW(ComboBox1, CB_RESETCONTENT, 0, 0);
    names_ = std::move(names);
    SendMessageW(ComboBox1, CB_INITSTORAGE, static_cast<WPARAM>(names_.count()),
                 static_cast<LPARAM>(names_.count()) * 32);
    for (int i = 0; i < names_.count(); ++i)
        SendMessageW(ComboBox1, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(kivo::widen(kivo::cp932ToUtf8(names_[i])).c_str()));
    SendMessageW(ComboBox1, WM_SETREDRAW, TRUE, 0);
    if (selected >= 0 && selected < names_.count()) {
        SendMessageW(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
        return;
    }
    // Nothing is selected, and the edit text stays what it was.
    setWindowText(ComboBox1, text);
}

int TForm2::typedIndex() const {
    const auto typed = kivo::utf8ToCp932(windowText(ComboBox1));
    return typed ? names_.find(*typed) : -1;
}
