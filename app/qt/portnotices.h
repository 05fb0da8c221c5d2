// The port's name watched from the Qt event loop: the port services' inotify watch, whose
// descriptor the loop polls with everything else (no thread, no timer while nothing
// happens), and a one-shot timer for the pause between restores. Both callbacks go
// through the windows' handler gate: never inside a handler or a held line's wait.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/portnotices.h"
#include "serial/posix/ports/portwatch.h"

class QtPortNotices : public QObject, public kivo::PortNotices {
    Q_OBJECT
  public:
    explicit QtPortNotices(QObject* parent = nullptr);

    void watchPort(const std::string& portname, std::function<void()> changed) override;
    void stopWatching() override;
    void callAfter(std::chrono::milliseconds delay, std::function<void()> due) override;
    void cancelCall() override;

  private:
    comm::posix::PortNameWatch watch_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
    std::function<void()> changed_;
    std::function<void()> due_;
};
