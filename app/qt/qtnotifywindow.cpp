#include "app/qt/qtnotifywindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <utility>

namespace {

const QEvent::Type notificationType = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type callType = static_cast<QEvent::Type>(QEvent::registerEventType());

// Qt hands an event from thread to thread under its own locks, which ThreadSanitizer cannot
// see; this release before the post and acquire before the event is read say the same to
// it, for one atomic add a post.
std::atomic<unsigned> handedOver{0};
void handOver() {
    handedOver.fetch_add(1, std::memory_order_release);
}
void takeOver() {
    (void)handedOver.load(std::memory_order_acquire);
}

class NotificationEvent final : public QEvent {
  public:
    explicit NotificationEvent(const TMessage& message)
        : QEvent(notificationType), message(message) {}
    TMessage message;
};

class Receiver final : public QObject {
  public:
    explicit Receiver(NotifyWindow::Procedure procedure) : procedure_(std::move(procedure)) {}

    bool event(QEvent* e) override {
        takeOver();
        if (e->type() != notificationType) return QObject::event(e);
        if (procedure_) procedure_(static_cast<NotificationEvent*>(e)->message);
        return true;
    }

  private:
    NotifyWindow::Procedure procedure_;
};

class CallEvent final : public QEvent {
  public:
    explicit CallEvent(std::function<void()> work) : QEvent(callType), work(std::move(work)) {}
    std::function<void()> work;
};

class Caller final : public QObject {
  public:
    bool event(QEvent* e) override {
        takeOver();
        if (e->type() != callType) return QObject::event(e);
        if (auto& work = static_cast<CallEvent*>(e)->work) work();
        return true;
    }
};

// Lives as long as the program, on the GUI thread whichever thread made it.
QObject* caller() {
    static QObject* const object = [] {
        auto* o = new Caller;
        o->moveToThread(QCoreApplication::instance()->thread());
        return o;
    }();
    return object;
}

}  // namespace

void callOnGuiThread(std::function<void()> work) {
    auto* e = new CallEvent(std::move(work));
    handOver();
    QCoreApplication::postEvent(caller(), e);
}

QtNotifyWindow::QtNotifyWindow(Procedure procedure)
    : receiver_(new Receiver(std::move(procedure))) {}

QtNotifyWindow::~QtNotifyWindow() {
    QObject* receiver;
    {
        std::lock_guard<std::mutex> lock(lock_);
        receiver = std::exchange(receiver_, nullptr);
    }
    delete receiver;  // its pending events go with it
}

void QtNotifyWindow::post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard<std::mutex> lock(lock_);
    if (!receiver_) return;
    auto* e = new NotificationEvent(TMessage{msg, wParam, lParam, 0});
    handOver();
    QCoreApplication::postEvent(receiver_, e);
}

void installQtNotifyWindows() {
    setNotifyWindowFactory([](NotifyWindow::Procedure procedure) -> std::unique_ptr<NotifyWindow> {
        return std::make_unique<QtNotifyWindow>(std::move(procedure));
    });
}
