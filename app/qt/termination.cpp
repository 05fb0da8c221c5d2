#include "app/qt/termination.h"

#include <QObject>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int wakeFds[2] = {-1, -1};

void onSignal(int) {
    char byte = 1;
    // Only async-signal-safe work here: the event loop does the rest.
    [[maybe_unused]] ssize_t n = ::write(wakeFds[0], &byte, 1);
}

}  // namespace

void holdTerminationSignals() {
    if (wakeFds[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFds) != 0) {
        wakeFds[0] = wakeFds[1] = -1;
        return;  // the signals keep their default action
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

void closeOnTerminationSignals(QObject* context, std::function<void()> close) {
    holdTerminationSignals();
    if (wakeFds[1] < 0) return;
    // Signals that came before are waiting in the socket: the notifier sees them at once.
    auto* notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [close = std::move(close)] {
        char byte;
        if (::read(wakeFds[1], &byte, 1) == 1) close();
    });
}

#else

void holdTerminationSignals() {}
void closeOnTerminationSignals(QObject*, std::function<void()>) {}

#endif
