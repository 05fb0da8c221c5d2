#include "serial/posix/posix_modem.h"

#include <linux/serial.h>
#include <pthread.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <csignal>
#include <mutex>

#include "serial/posix/posix_port.h"

namespace comm::posix {
namespace {

// TIOCMIWAIT can only be interrupted by a signal. SIGURG is ignored by default, so a
// stray one harms nobody; its handler does nothing, and without SA_RESTART the wait
// returns EINTR. An application's own SIGURG handler is left in place.
constexpr int wakeSignal = SIGURG;

void noop(int) {}

void installWakeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old {};
        sigaction(wakeSignal, nullptr, &old);
        if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) return;
        struct sigaction sa {};
        sa.sa_handler = noop;
        sigemptyset(&sa.sa_mask);
        sigaction(wakeSignal, &sa, nullptr);
    });
}

}  // namespace

ModemWatch::ModemWatch(int fd, Port& port) : fd_(fd), port_(port) {}

ModemWatch::~ModemWatch() {
    if (!thread_.joinable()) return;
    stop_ = true;
    std::unique_lock<std::mutex> lock(m_);
    // The signal may land just before the thread enters its wait: send it again until
    // the thread has seen the stop.
    while (!done_) {
        pthread_kill(thread_.native_handle(), wakeSignal);
        cv_.wait_for(lock, std::chrono::milliseconds(20));
    }
    lock.unlock();
    thread_.join();
}

void ModemWatch::watch(DWORD events) {
    if (thread_.joinable() || !(events & (EV_CTS | EV_DSR | EV_RLSD | EV_RING))) return;
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return;  // no modem lines here
    installWakeSignal();
    thread_ = std::thread([this] { run(); });
}

void ModemWatch::run() {
    // The wake-up must reach this thread even where the application blocks the signal.
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, wakeSignal);
    pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);

    int lines = 0;
    ioctl(fd_, TIOCMGET, &lines);
    serial_icounter_struct before{};
    const bool counters = ioctl(fd_, TIOCGICOUNT, &before) == 0;
    while (!stop_) {
        if (ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG) != 0) {
            if (errno == EINTR) continue;
            break;  // hang-up or no support: nothing more will come
        }
        DWORD events = 0;
        serial_icounter_struct now{};
        int after = 0;
        if (counters && ioctl(fd_, TIOCGICOUNT, &now) == 0) {
            // Counters catch a pulse (a ring) that is over before we look.
            if (now.cts != before.cts) events |= EV_CTS;
            if (now.dsr != before.dsr) events |= EV_DSR;
            if (now.dcd != before.dcd) events |= EV_RLSD;
            if (now.rng != before.rng) events |= EV_RING;
            before = now;
        } else if (ioctl(fd_, TIOCMGET, &after) == 0) {
            const int changed = lines ^ after;
            if (changed & TIOCM_CTS) events |= EV_CTS;
            if (changed & TIOCM_DSR) events |= EV_DSR;
            if (changed & TIOCM_CD) events |= EV_RLSD;
            if (changed & TIOCM_RNG) events |= EV_RING;
            lines = after;
        } else {
            break;
        }
        port_.raiseFromModem(events);
    }
    std::lock_guard<std::mutex> lock(m_);
    done_ = true;
    cv_.notify_all();
}

}  // namespace comm::posix
