#include "serial/win32/notifywindow.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <utility>

namespace {

constexpr const char* kClassName = "KivoNotifyWindow";

LRESULT CALLBACK notifyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Messages of the window's creation and destruction come while no object is bound.
    auto* self = reinterpret_cast<Win32NotifyWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
    return self->deliver(msg, wParam, lParam);
}

bool registerClass() {
    static const bool registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = notifyWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// Posted behind the messages a pump runs, so that it ends where it began even while
// the watcher keeps posting.
UINT pumpMark() {
    static const UINT mark = RegisterWindowMessageA("KivoNotifyWindowPumpMark");
    return mark;
}

HWND hwndOf(void* h) {
    return static_cast<HWND>(h);
}

}  // namespace

std::unique_ptr<NotifyWindow> makePlatformNotifyWindow(NotifyWindow::Procedure procedure) {
    if (auto window = Win32NotifyWindow::create(procedure)) return window;
    return std::make_unique<QueueNotifyWindow>(std::move(procedure));
}

std::unique_ptr<Win32NotifyWindow> Win32NotifyWindow::create(Procedure procedure) {
    if (!registerClass()) return nullptr;
    std::unique_ptr<Win32NotifyWindow> window(new Win32NotifyWindow(std::move(procedure)));
    HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!hwnd) return nullptr;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window.get()));
    window->hwnd_ = hwnd;
    return window;
}

Win32NotifyWindow::Win32NotifyWindow(Procedure procedure)
    : procedure_(std::move(procedure)), owner_(std::this_thread::get_id()) {}

Win32NotifyWindow::~Win32NotifyWindow() {
    HWND hwnd = hwndOf(hwnd_);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);  // what still comes is not ours
    // Only the owner thread may destroy it; from elsewhere its loop is asked to.
    if (!DestroyWindow(hwnd)) PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

void Win32NotifyWindow::post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    PostMessageA(hwndOf(hwnd_), msg, wParam, lParam);
}

std::intptr_t Win32NotifyWindow::defaultProcedure(TMessage& message) {
    return DefWindowProcA(hwndOf(hwnd_), message.Msg, message.WParam, message.LParam);
}

std::intptr_t Win32NotifyWindow::deliver(unsigned msg, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
    TMessage message{msg, wParam, lParam, 0};
    try {
        if (procedure_)
            procedure_(message);
        else
            message.Result = defaultProcedure(message);
    } catch (...) {
        // The component's procedure lets nothing out; nothing may cross the system's
        // dispatcher either.
    }
    return message.Result;
}

std::size_t Win32NotifyWindow::pump(std::chrono::milliseconds wait) {
    if (std::this_thread::get_id() != owner_ || pumping_) return 0;
    pumping_ = true;
    HWND hwnd = hwndOf(hwnd_);
    MSG msg;
    // Wait for the first message, if none is there yet.
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    while (!PeekMessageA(&msg, hwnd, 0, 0, PM_NOREMOVE)) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            pumping_ = false;
            return 0;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, 0);
    }
    const bool marked = PostMessageA(hwnd, pumpMark(), 0, 0) != 0;
    std::size_t ran = 0;
    // Without a mark (a full queue) the pump takes at most what a queue holds.
    for (std::size_t limit = 10000; marked || ran < limit;) {
        if (!PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) break;
        if (msg.message == pumpMark()) break;
        DispatchMessageA(&msg);
        ++ran;
    }
    pumping_ = false;
    return ran;
}
