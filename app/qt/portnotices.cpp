#include "app/qt/portnotices.h"

#include <utility>

#include "app/qt/controls.h"

QtPortNotices::QtPortNotices(QObject* parent) : QObject(parent) {
    if (watch_.fd() >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(watch_.fd(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            if (watch_.takeEvents() && changed_) whenNoHandlerRuns(changed_);
        });
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (due_) whenNoHandlerRuns(std::exchange(due_, nullptr));
    });
}

void QtPortNotices::watchPort(const std::string& portname, std::function<void()> changed) {
    changed_ = std::move(changed);
    watch_.watch(portname);
}

void QtPortNotices::stopWatching() {
    changed_ = nullptr;
    watch_.stop();
}

void QtPortNotices::callAfter(std::chrono::milliseconds delay, std::function<void()> due) {
    due_ = std::move(due);
    timer_.start(delay);
}

void QtPortNotices::cancelCall() {
    due_ = nullptr;
    timer_.stop();
}
