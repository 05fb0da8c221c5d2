#include "serial/notifywindow.h"

#include <utility>

namespace {

std::mutex factoryLock;
NotifyWindowFactory& factorySlot() {
    static NotifyWindowFactory factory;
    return factory;
}

}  // namespace

QueueNotifyWindow::QueueNotifyWindow(Procedure procedure)
    : procedure_(std::move(procedure)), owner_(std::this_thread::get_id()) {}

void QueueNotifyWindow::post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    {
        std::lock_guard<std::mutex> lock(m_);
        queue_.push_back(TMessage{msg, wParam, lParam, 0});
    }
    cv_.notify_all();
}

std::size_t QueueNotifyWindow::pump(std::chrono::milliseconds wait) {
    if (std::this_thread::get_id() != owner_) return 0;  // handlers run on the owner only
    std::deque<TMessage> batch;
    {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, wait, [this] { return !queue_.empty(); });
        batch.swap(queue_);
    }
    // Run without the lock: a handler may cause more posts.
    for (TMessage& message : batch)
        if (procedure_) procedure_(message);
    return batch.size();
}

std::size_t QueueNotifyWindow::queued() const {
    std::lock_guard<std::mutex> lock(m_);
    return queue_.size();
}

void setNotifyWindowFactory(NotifyWindowFactory factory) {
    std::lock_guard<std::mutex> lock(factoryLock);
    factorySlot() = std::move(factory);
}

std::unique_ptr<NotifyWindow> makeNotifyWindow(NotifyWindow::Procedure procedure) {
    NotifyWindowFactory factory;
    {
        std::lock_guard<std::mutex> lock(factoryLock);
        factory = factorySlot();
    }
    if (factory) {
        if (auto window = factory(procedure)) return window;
    }
    return makePlatformNotifyWindow(std::move(procedure));
}
