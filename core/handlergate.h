// The gate every handler passes: handlers run one at a time, none starts while a command
// waiting on a held line lets the event queue through, and work that must not run inside
// a handler (closing the window, say) waits until the outermost one has returned. An
// error escaping a handler, or such work, goes to one place and the program goes on.
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <utility>

namespace kivo {

class HandlerGate {
  public:
    explicit HandlerGate(std::function<void(std::exception_ptr)> onError)
        : onError_(std::move(onError)) {}
    HandlerGate(const HandlerGate&) = delete;
    HandlerGate& operator=(const HandlerGate&) = delete;

    // True while the queue is let through: no handler may start.
    bool held() const { return held_; }

    // Marks a handler running for its lifetime; the outermost one's end runs the work
    // left for later.
    class Scope {
      public:
        explicit Scope(HandlerGate& gate) : gate_(gate) { ++gate_.depth_; }
        ~Scope() { gate_.leave(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        HandlerGate& gate_;
    };

    // Runs `handler` unless the gate is held; an error stops it and goes to onError.
    template <class Handler>
    void run(Handler&& handler) noexcept {
        if (held_) return;
        Scope running(*this);
        guarded(std::forward<Handler>(handler));
    }

    // Runs `work` once no handler is running: at once when none is, else right after the
    // outermost one has returned.
    void whenNoHandlerRuns(std::function<void()> work);

    // Runs `letThrough` (which lets the event queue through) with the gate held; nothing
    // when it is held already.
    void holdWhile(const std::function<void()>& letThrough);

  private:
    template <class Work>
    void guarded(Work&& work) noexcept {
        try {
            std::forward<Work>(work)();
        } catch (...) {
            onError_(std::current_exception());
        }
    }
    void leave();

    std::function<void(std::exception_ptr)> onError_;
    int depth_ = 0;
    bool held_ = false;
    std::deque<std::function<void()>> later_;
};

}  // namespace kivo
