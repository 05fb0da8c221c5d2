// The notification window on Windows: a hidden tool window (WS_EX_TOOLWINDOW, WS_POPUP,
// zero size, no parent, never shown) of the thread that creates it. The watcher posts
// to it with PostMessageA; that thread's message loop, whichever runs it, hands each
// message to the procedure in the order posted. pump() is such a loop for this window
// alone, for owners that run none of their own.
#pragma once

#include <memory>
#include <thread>

#include "serial/notifywindow.h"

class Win32NotifyWindow final : public NotifyWindow {
  public:
    // nullptr when the system gives no window.
    static std::unique_ptr<Win32NotifyWindow> create(Procedure procedure);
    ~Win32NotifyWindow() override;
    Win32NotifyWindow(const Win32NotifyWindow&) = delete;
    Win32NotifyWindow& operator=(const Win32NotifyWindow&) = delete;

    void post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    std::size_t pump(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) override;
    std::intptr_t defaultProcedure(TMessage& message) override;  // DefWindowProcA

    void* handle() const { return hwnd_; }  // the HWND
    // Runs the procedure for one message of the window (its window procedure's work).
    std::intptr_t deliver(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

  private:
    explicit Win32NotifyWindow(Procedure procedure);

    const Procedure procedure_;
    const std::thread::id owner_;
    void* hwnd_ = nullptr;
    bool pumping_ = false;
};
