// Modem line changes (CTS, DSR, DCD, RI) for the line events EV_CTS, EV_DSR, EV_RLSD
// and EV_RING. The kernel reports them only to a thread blocked in TIOCMIWAIT, so a
// thread of its own waits there, started the first time a mask asks for them and only
// when the driver has modem lines at all (a pseudo-terminal has none: no thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "serial/commapi.h"

namespace comm::posix {

class Port;

class ModemWatch {
  public:
    ModemWatch(int fd, Port& port);
    ~ModemWatch();  // ends the wait and joins
    ModemWatch(const ModemWatch&) = delete;
    ModemWatch& operator=(const ModemWatch&) = delete;

    // Starts watching when `events` holds a modem event and the driver reports them.
    void watch(DWORD events);

  private:
    void run();

    const int fd_;
    Port& port_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
};

}  // namespace comm::posix
