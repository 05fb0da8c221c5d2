// The serial component's notification window in a Qt program: the watcher thread posts
// events to an object of the GUI thread, and the event loop runs the component's window
// procedure for each, in the order posted.
#pragma once

#include <functional>
#include <mutex>

#include "serial/notifywindow.h"

class QObject;

class QtNotifyWindow final : public NotifyWindow {
  public:
    // Create on the thread whose event loop is to run the procedure.
    explicit QtNotifyWindow(Procedure procedure);
    ~QtNotifyWindow() override;  // drops what is still queued

    void post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;

  private:
    std::mutex lock_;
    QObject* receiver_;  // guarded by lock_ against posts racing the destructor
};

// Makes every serial component created from now on deliver through the event loop.
void installQtNotifyWindows();

// Runs `work` on the GUI thread's event loop, from any thread, in the order posted.
void callOnGuiThread(std::function<void()> work);
