// An event property of the serial component: a handler called with the sender.
// The line event watcher reads it on its own thread while the owner may assign it,
// so the handler is held as an immutable object swapped under a lock: a reader gets
// either the old handler or the new one, never a torn one. (A plain lock rather than
// std::atomic<std::shared_ptr>: libstdc++ 12's load releases its spin bit relaxed,
// which does not order its read of the pointer before the next store.)
#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <mutex>

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
        store(std::make_shared<const Handler>(std::move(handler)));
        return *this;
    }
    NotifyEventOf& operator=(std::nullptr_t) {
        clear();
        return *this;
    }

    void clear() { store(nullptr); }
    bool assigned() const { return snapshot() != nullptr; }
    explicit operator bool() const { return assigned(); }

    // The handler as it is now; stays valid however the event is reassigned meanwhile.
    std::shared_ptr<const Handler> snapshot() const {
        std::lock_guard<std::mutex> lock(m_);
        return handler_;
    }

    // Calls the handler if one is assigned; returns whether it did.
    bool operator()(Sender& sender) const {
        auto h = snapshot();
        if (!h) return false;
        (*h)(sender);
        return true;
    }

  private:
    void store(std::shared_ptr<const Handler> handler) {
        {
            std::lock_guard<std::mutex> lock(m_);
            handler_.swap(handler);
        }
        // The old handler (a copy of user state) is released outside the lock.
    }

    mutable std::mutex m_;
    std::shared_ptr<const Handler> handler_;
};
