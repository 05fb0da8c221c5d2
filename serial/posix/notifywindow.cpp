// Without a window system in this layer, notifications wait in a queue for the owner.
#include "serial/notifywindow.h"

#include <utility>

std::unique_ptr<NotifyWindow> makePlatformNotifyWindow(NotifyWindow::Procedure procedure) {
    return std::make_unique<QueueNotifyWindow>(std::move(procedure));
}
