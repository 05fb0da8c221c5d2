#include "app/win32/controls.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>

#include "app/win32/dialogs.h"
#include "core/errors.h"
#include "core/win32/widechar.h"

std::string windowText(HWND control) {
    const int n = GetWindowTextLengthW(control);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(control, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return kivo::narrow(text);
}

void setWindowText(HWND control, const std::string& text) {
    SetWindowTextW(control, kivo::widen(text).c_str());
}

void setCaption(HWND label, const std::string& text) {
    const std::wstring wide = kivo::widen(text);
    SetWindowTextW(label, wide.c_str());
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    RECT r;
    GetClientRect(label, &r);
    if (size.cx > r.right)
        SetWindowPos(label, nullptr, 0, 0, size.cx, r.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

int CALLBACK faceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool installed(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &wanted, faceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

// The window's face where it is installed, else the first Japanese face that is; found
// once.
const wchar_t* drawingFace() {
    static const wchar_t* face = [] {
        for (const wchar_t* f : {L"ＭＳ Ｐゴシック", L"MS PGothic", L"MS UI Gothic", L"Meiryo UI",
                                 L"Yu Gothic UI", L"IPAPGothic"})
            if (installed(f)) return f;
        return L"ＭＳ Ｐゴシック";  // the font mapper still looks by the character set
    }();
    return face;
}

}  // namespace

HFONT windowFont(int pixelHeight, bool bold, int dpi) {
    static std::map<std::tuple<int, bool, int>, HFONT> fonts;
    HFONT& font = fonts[{pixelHeight, bold, dpi}];
    if (!font)
        font = CreateFontW(-scaled(pixelHeight, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                           FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, drawingFace());
    return font;
}

int windowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32"), "GetDpiForWindow")));
    if (getDpi && window) {
        const UINT dpi = getDpi(window);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    HDC dc = GetDC(window);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    ReleaseDC(window, dc);
    return dpi > 0 ? dpi : 96;
}

int scaled(int value, int dpi) {
    return MulDiv(value, dpi, 96);
}

HWND Layout::add(HWND control, int left, int top, int width, int height, int fontHeight, bool bold,
                 int itemHeight) {
    placed_.push_back({control, left, top, width, height, fontHeight, bold, itemHeight});
    return control;
}

void Layout::apply(int dpi) const {
    wchar_t kind[32];
    for (const Placed& p : placed_) {
        GetClassNameW(p.control, kind, 32);
        const bool combo = lstrcmpiW(kind, WC_COMBOBOXW) == 0;
        int height = scaled(p.height, dpi);
        if (combo && p.itemHeight > 0) height += 8 * scaled(p.itemHeight, dpi);  // its list
        SetWindowPos(p.control, nullptr, scaled(p.left, dpi), scaled(p.top, dpi),
                     scaled(p.width, dpi), height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (p.fontHeight > 0)
            SendMessageW(p.control, WM_SETFONT,
                         reinterpret_cast<WPARAM>(windowFont(p.fontHeight, p.bold, dpi)), TRUE);
        if (combo) {
            // The closed box as high as asked: its field is the box less its frame.
            SendMessageW(p.control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                         std::max(scaled(p.height, dpi) - 6, 1));
            if (p.itemHeight > 0) {
                SendMessageW(p.control, CB_SETITEMHEIGHT, 0, scaled(p.itemHeight, dpi));
                // Some systems keep the list's rows at the font's height: set the list too.
                COMBOBOXINFO info{};
                info.cbSize = sizeof info;
                if (GetComboBoxInfo(p.control, &info) && info.hwndList)
                    SendMessageW(info.hwndList, LB_SETITEMHEIGHT, 0, scaled(p.itemHeight, dpi));
            }
        } else if (lstrcmpiW(kind, WC_LISTBOXW) == 0 && p.itemHeight > 0) {
            SendMessageW(p.control, LB_SETITEMHEIGHT, 0, scaled(p.itemHeight, dpi));
        } else if (lstrcmpiW(kind, WC_STATICW) == 0) {
            setCaption(p.control, windowText(p.control));
        }
    }
}

void registerWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

int followDpi(HWND window, const Layout& layout, WPARAM wParam, LPARAM lParam) {
    const int dpi = HIWORD(wParam);
    layout.apply(dpi);
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return dpi;
}

HWND makeControl(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle) {
    return CreateWindowExW(exStyle, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void setScrollRange(HWND bar, int position) {
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 255, 0, position, 0};
    SetScrollInfo(bar, SB_CTL, &info, TRUE);
}

int scrollPosition(HWND bar) {
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(bar, SB_CTL, &info);
    return info.nPos;
}

bool setPositionQuietly(HWND bar, int position) {
    position = std::clamp(position, 0, 255);
    if (position == scrollPosition(bar)) return false;
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, position, 0};
    SetScrollInfo(bar, SB_CTL, &info, TRUE);
    return true;
}

int requestedPosition(HWND bar, WPARAM request) {
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(bar, SB_CTL, &info);
    switch (LOWORD(request)) {
        case SB_LINELEFT:
        case SB_PAGELEFT:
            return info.nPos - 1;
        case SB_LINERIGHT:
        case SB_PAGERIGHT:
            return info.nPos + 1;
        case SB_LEFT:
            return 0;
        case SB_RIGHT:
            return 255;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            return HIWORD(request);  // the range fits the word
        default:
            return info.nPos;
    }
}

bool isChecked(HWND button) {
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool checkQuietly(HWND button, HWND other) {
    if (isChecked(button)) return false;
    SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
    return true;
}

void WindowTimer::attach(HWND owner, UINT_PTR id, UINT interval) {
    owner_ = owner;
    id_ = id;
    interval_ = interval;
}

void WindowTimer::start() {
    if (active_) return;
    active_ = SetTimer(owner_, id_, interval_, nullptr) != 0;
}

void WindowTimer::stop() {
    if (!active_) return;
    KillTimer(owner_, id_);
    active_ = false;  // a tick already in the queue finds the timer stopped
}

void Notice::attach(HWND owner, std::initializer_list<HWND> controls) {
    owner_ = owner;
    controls_.assign(controls);
}

// The tooltip window is made with the first notice: most runs never need one.
void Notice::makeTip() {
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner_,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!tip_) return;
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 480);
    for (HWND control : controls_) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = owner_;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void Notice::show(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    wide_ = kivo::widen(text);
    if (!tip_ && !text_.empty()) makeTip();
    for (HWND control : controls_) {
        if (tip_) {
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = owner_;
            tool.uId = reinterpret_cast<UINT_PTR>(control);
            tool.lpszText = wide_.data();
            SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        InvalidateRect(control, nullptr, TRUE);
    }
    if (tip_) SendMessageW(tip_, TTM_ACTIVATE, !text_.empty(), 0);
}

COLORREF noticeColour() {
    return RGB(255, 200, 200);
}

HBRUSH noticeBrush() {
    static HBRUSH brush = CreateSolidBrush(noticeColour());
    return brush;
}

namespace {

std::vector<HWND>& keyboardWindows() {
    static std::vector<HWND> windows;
    return windows;
}

}  // namespace

void addKeyboardWindow(HWND window) {
    keyboardWindows().push_back(window);
}

bool keyboardMessage(MSG& msg) {
    auto& windows = keyboardWindows();
    windows.erase(
        std::remove_if(windows.begin(), windows.end(), [](HWND w) { return !IsWindow(w); }),
        windows.end());
    for (HWND w : windows)
        if ((msg.hwnd == w || IsChild(w, msg.hwnd)) && IsDialogMessageW(w, &msg)) return true;
    return false;
}

void showHandlerError(std::exception_ptr error) {
    showError(kivo::errorDialogText(error));
}

kivo::HandlerGate& handlerGate() {
    static kivo::HandlerGate gate(showHandlerError);
    return gate;
}

bool handlersHeld() {
    return handlerGate().held();
}

void whenNoHandlerRuns(std::function<void()> work) {
    handlerGate().whenNoHandlerRuns(std::move(work));
}

void letRequestsThrough(std::initializer_list<HWND> windows) {
    handlerGate().holdWhile([&] {
        HWND focus = GetFocus();
        std::vector<HWND> disabled;
        for (HWND w : windows) {
            if (!w || !IsWindow(w) || !IsWindowEnabled(w)) continue;
            EnableWindow(w, FALSE);
            disabled.push_back(w);
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        for (HWND w : disabled)
            if (IsWindow(w)) EnableWindow(w, TRUE);
        if (focus && IsWindow(focus) && IsWindowEnabled(focus)) SetFocus(focus);
    });
}

namespace {

constexpr UINT kLaterMessage = WM_APP + 1;

LRESULT CALLBACK laterProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kLaterMessage) {
        std::unique_ptr<std::function<void()>> work(
            reinterpret_cast<std::function<void()>*>(lParam));
        if (work && *work) (*work)();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND laterWindow() {
    static HWND window = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = laterProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KivoLater";
        RegisterClassExW(&wc);
        return CreateWindowExW(0, L"KivoLater", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }();
    return window;
}

}  // namespace

void later(std::function<void()> work) {
    auto* posted = new std::function<void()>(std::move(work));
    if (!PostMessageW(laterWindow(), kLaterMessage, 0, reinterpret_cast<LPARAM>(posted)))
        delete posted;
}
