// Code beneath the windows may end the program with exit() while they are up: the
// toolkit does so when the display's connection is lost. The stack is not unwound then,
// so no window closes; the closing sequence runs from an exit-time hook instead.
#pragma once

#include <functional>
#include <thread>

class CloseAtExit {
  public:
    // From now until this guard ends (main returning), exit() called on this thread runs
    // `close` once first. exit() on another thread leaves it alone: the windows are not
    // that thread's to touch.
    explicit CloseAtExit(std::function<void()> close);
    ~CloseAtExit();
    CloseAtExit(const CloseAtExit&) = delete;
    CloseAtExit& operator=(const CloseAtExit&) = delete;

  private:
    static void atExit();

    std::function<void()> close_;
    std::thread::id thread_;
};
