// An event property of the serial component: a handler called with the sender.
// The line event watcher reads it on its own thread while the owner may assign it,
// so the handler is held as an immutable object swapped atomically: a reader gets
// either the old handler or the new one, never a torn one.
#pragma once

#include <atomic>
#include <concepts>
#include <functional>
#include <memory>

template <class Sender>
class NotifyEventOf {
  public:
    using Handler = std::function<void(Sender&)>;

    NotifyEventOf() = default;
    NotifyEventOf(const NotifyEventOf&) = delete;
    NotifyEventOf& operator=(const NotifyEventOf&) = delete;

    template <class F>
    requires std::invocable<F&, Sender&> &&
        (!std::same_as<std::decay_t<F>, std::nullptr_t>)NotifyEventOf&
        operator=(F handler) {
        handler_.store(std::make_shared<const Handler>(std::move(handler)));
        return *this;
    }
    NotifyEventOf& operator=(std::nullptr_t) {
        clear();
        return *this;
    }

    void clear() { handler_.store(nullptr); }
    bool assigned() const { return handler_.load() != nullptr; }
    explicit operator bool() const { return assigned(); }

    // The handler as it is now; stays valid however the event is reassigned meanwhile.
    std::shared_ptr<const Handler> snapshot() const { return handler_.load(); }

    // Calls the handler if one is assigned; returns whether it did.
    bool operator()(Sender& sender) const {
        auto h = snapshot();
        if (!h) return false;
        (*h)(sender);
        return true;
    }

  private:
    std::atomic<std::shared_ptr<const Handler>> handler_;
};
