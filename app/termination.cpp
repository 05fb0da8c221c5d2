#include "termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <pthread.h>
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

sigset_t terminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
    return set;
}

void releaseTerminationSignals() {
    sigset_t set = terminationSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

void holdTerminationSignals() {
    sigset_t set = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void closeOnTerminationSignals(std::function<void()> close) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, wakeFds) != 0) {
        releaseTerminationSignals();  // their default action, rather than none at all
        return;
    }
    auto* notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [close = std::move(close)] {
        char byte;
        if (::read(wakeFds[1], &byte, 1) == 1) close();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    releaseTerminationSignals();
}

#else

void holdTerminationSignals() {}
void closeOnTerminationSignals(std::function<void()>) {}

#endif
