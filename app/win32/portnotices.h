// The port's name watched through the system's device-change notice, which the owner
// window hands in (WM_DEVICECHANGE), and a one-shot window timer for the pause between
// restores: nothing wakes the program while nothing happens. Both callbacks go through
// the windows' handler gate: never inside a handler or a held line's wait.
#pragma once

#include <functional>
#include <string>

#include "app/win32/system.h"
#include "core/portnotices.h"

class Win32PortNotices : public kivo::PortNotices {
  public:
    Win32PortNotices() = default;
    ~Win32PortNotices() override;
    Win32PortNotices(const Win32PortNotices&) = delete;
    Win32PortNotices& operator=(const Win32PortNotices&) = delete;

    // The window that gets the notices and owns the timer `timerId`.
    void attach(HWND owner, UINT_PTR timerId);

    void watchPort(const std::string& portname, std::function<void()> changed) override;
    void stopWatching() override;
    void callAfter(std::chrono::milliseconds delay, std::function<void()> due) override;
    void cancelCall() override;

    // From the owner's window procedure: WM_DEVICECHANGE, and WM_TIMER for `timerId`.
    void deviceChanged(WPARAM event, LPARAM data);
    void timerDue();

  private:
    bool concernsPort(const void* broadcast) const;

    HWND owner_ = nullptr;
    UINT_PTR timerId_ = 0;
    HDEVNOTIFY registration_ = nullptr;
    std::string port_;
    std::function<void()> changed_;
    std::function<void()> due_;
};
