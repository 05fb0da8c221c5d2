// The hand-over of line event notifications from the watcher thread to the thread that
// owns the component. The watcher posts message numbers; the owner thread later runs the
// component's window procedure for each, in the order posted.
//
// The default window is the platform's. On POSIX it is a plain queue: its owner (the
// thread that created it) calls pump() to run what has been posted; nothing runs on its
// own. On Windows it is a hidden window of the creating thread, delivered by that
// thread's message loop (or by pump()). A GUI installs its own window through
// setNotifyWindowFactory() before creating components, e.g. a Qt object living in the
// GUI thread whose post() calls QCoreApplication::postEvent() with an event carrying the
// message, and whose event() hands the message to the procedure; its pump() may then do
// nothing, the event loop delivers. A program without a message loop may install a
// factory that makes the queue. A factory that returns nothing gets the platform's
// window. A handler must not destroy the component whose notification it runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// One window message, as the window procedure sees it.
struct TMessage {
    unsigned Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

class NotifyWindow {
  public:
    using Procedure = std::function<void(TMessage&)>;

    virtual ~NotifyWindow() = default;
    // Queues a message for the owner thread and returns at once; any thread may post.
    // Messages are delivered in the order posted; those still queued when the window is
    // destroyed are dropped.
    virtual void post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Runs the queued messages on the calling thread if it is the owner, first waiting up
    // to `wait` for one to arrive. Returns how many ran. Windows delivered by an event
    // loop need not implement it.
    virtual std::size_t pump(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
        (void)wait;
        return 0;
    }
    // Default processing of messages that are not notifications; its value becomes the
    // message's result.
    virtual std::intptr_t defaultProcedure(TMessage& message) {
        (void)message;
        return 0;
    }
};

// The default window: a queue pumped by the thread that created it.
class QueueNotifyWindow : public NotifyWindow {
  public:
    explicit QueueNotifyWindow(Procedure procedure);
    void post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    std::size_t pump(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) override;
    std::size_t queued() const;

  private:
    const Procedure procedure_;
    const std::thread::id owner_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<TMessage> queue_;
};

// Makes the window for a new component; `procedure` is the component's window procedure.
using NotifyWindowFactory =
    std::function<std::unique_ptr<NotifyWindow>(NotifyWindow::Procedure procedure)>;

// Replaces the factory for components created from now on; nullptr restores the
// platform's window.
void setNotifyWindowFactory(NotifyWindowFactory factory);
std::unique_ptr<NotifyWindow> makeNotifyWindow(NotifyWindow::Procedure procedure);

// The platform's window (the queue on POSIX, the hidden window on Windows).
std::unique_ptr<NotifyWindow> makePlatformNotifyWindow(NotifyWindow::Procedure procedure);
