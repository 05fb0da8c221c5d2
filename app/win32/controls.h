// What the two windows share: texts at the controls (UTF-8 in, UTF-16 at the calls), the
// window font, placing controls for the window's DPI, scroll bars set without a
// notification, the window timer, the notice beside a control, and the handler gate.
#pragma once

#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/win32/system.h"
#include "core/handlergate.h"

// A control's text, UTF-8.
std::string windowText(HWND control);
void setWindowText(HWND control, const std::string& text);

// A label's caption; the label widens to show the whole text (never narrows).
void setCaption(HWND label, const std::string& text);

// "ＭＳ Ｐゴシック" (where the system lacks it, a Japanese face it has) at a pixel height
// given at 96 DPI, for `dpi`. Kept for the program's life.
HFONT windowFont(int pixelHeight, bool bold, int dpi);

// The window's DPI (96 where the system cannot say per window).
int windowDpi(HWND window);
int scaled(int value, int dpi);

// Controls at their places in 96-DPI pixels, placed again for another DPI.
class Layout {
  public:
    // `itemHeight`: a list's rows, or a drop-down's list rows (its height is then the
    // closed box's).
    HWND add(HWND control, int left, int top, int width, int height, int fontHeight = 12,
             bool bold = false, int itemHeight = 0);
    void apply(int dpi) const;

  private:
    struct Placed {
        HWND control;
        int left, top, width, height, fontHeight;
        bool bold;
        int itemHeight;
    };
    std::vector<Placed> placed_;
};

// Registers a top-level window class of the program once: button-face background, the
// program's icon, `procedure`.
void registerWindowClass(const wchar_t* name, WNDPROC procedure);

// The form a window procedure serves: the object given as the creation parameter, kept in
// the window from its first message on (nullptr before, and for messages without one).
template <class Form>
Form* formOf(HWND hwnd, UINT msg, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        return form;
    }
    return reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// WM_DPICHANGED: the controls placed again for the new DPI and the window where the system
// suggests. Returns the new DPI.
int followDpi(HWND window, const Layout& layout, WPARAM wParam, LPARAM lParam);

// Makes a child control of `parent` with the id `id`.
HWND makeControl(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle = 0);

// Horizontal scroll bars 0..255: the position, setting it clamped without a notification
// (true when it changed), and the position a WM_HSCROLL code asks for (the arrows and the
// trough move by one).
void setScrollRange(HWND bar, int position);
int scrollPosition(HWND bar);
bool setPositionQuietly(HWND bar, int position);
int requestedPosition(HWND bar, WPARAM request);

// An auto radio button checked by code, its sibling unchecked; true when it was not
// checked before. No notification.
bool checkQuietly(HWND button, HWND other);
bool isChecked(HWND button);

// A window timer: enabling starts a full interval, enabling a running one leaves it be,
// disabling drops a pending tick.
class WindowTimer {
  public:
    void attach(HWND owner, UINT_PTR id, UINT interval);
    bool isActive() const { return active_; }
    void start();
    void stop();

  private:
    HWND owner_ = nullptr;
    UINT_PTR id_ = 0;
    UINT interval_ = 0;
    bool active_ = false;
};

// A reason shown without a box: a tooltip on the controls and, where the window colours
// it, a marked background. Empty takes it away.
class Notice {
  public:
    void attach(HWND owner, std::initializer_list<HWND> controls);
    void show(const std::string& text);
    const std::string& text() const { return text_; }
    bool shown() const { return !text_.empty(); }

  private:
    void makeTip();

    HWND owner_ = nullptr;
    HWND tip_ = nullptr;
    std::vector<HWND> controls_;
    std::string text_;
    std::wstring wide_;
};

// The colour a notice marks a field with, and its brush.
COLORREF noticeColour();
HBRUSH noticeBrush();

// Top-level windows whose keyboard (Tab, arrows, Enter) the message loop hands to
// IsDialogMessageW; a destroyed one drops out by itself.
void addKeyboardWindow(HWND window);
// True when `msg` was a key for one of them and has been handled.
bool keyboardMessage(MSG& msg);

// The central error handler: shows an error that escaped a handler in the standard
// error dialog.
void showHandlerError(std::exception_ptr error);

// The windows' gate: handlers run one at a time. While a command waits on a held line the
// message queue is let through (letRequestsThrough); no handler may start then.
kivo::HandlerGate& handlerGate();
bool handlersHeld();
void whenNoHandlerRuns(std::function<void()> work);

// Lets the message queue through once while a command waits on a held line: the windows
// repaint and a request to end (the close box, a later start) is taken. The windows are
// disabled meanwhile, so that the user's input does not act; the focus comes back.
void letRequestsThrough(std::initializer_list<HWND> windows);

// Marks a handler running for its lifetime.
class HandlerScope : public kivo::HandlerGate::Scope {
  public:
    HandlerScope() : Scope(handlerGate()) {}
};

// Runs one handler at the boundary between the window procedure and the window code;
// errors stop it and go to the central error handler.
template <class Handler>
void runHandler(Handler&& handler) noexcept {
    handlerGate().run(std::forward<Handler>(handler));
}

// Runs `work` from the message loop (a box's too), after what is queued now.
void later(std::function<void()> work);
