#include "app/qt/qtnotifywindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <utility>

namespace {

const QEvent::Type notificationType = static_cast<QEvent::Type>(QEvent::registerEventType());

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
        if (e->type() != notificationType) return QObject::event(e);
        if (procedure_) procedure_(static_cast<NotificationEvent*>(e)->message);
        return true;
    }

  private:
    NotifyWindow::Procedure procedure_;
};

}  // namespace

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
    if (receiver_)
        QCoreApplication::postEvent(receiver_,
                                    new NotificationEvent(TMessage{msg, wParam, lParam, 0}));
}

void installQtNotifyWindows() {
    setNotifyWindowFactory([](NotifyWindow::Procedure procedure) -> std::unique_ptr<NotifyWindow> {
        return std::make_unique<QtNotifyWindow>(std::move(procedure));
    });
}
