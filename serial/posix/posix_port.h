// An open port of the POSIX backend: the terminal's fd, owned by a worker thread that
// moves bytes between the fd and the port's own queues, completes overlapped transfers
// by their deadlines and raises line events. The API calls only hand work to it under
// the port's lock and wake it through an eventfd; nothing polls on a timer while idle.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/commapi.h"
#include "serial/posix/ports/uucplock.h"
#include "serial/posix/posix_handles.h"
#include "serial/posix/posix_input.h"

namespace comm::posix {

class ModemWatch;

class Port final : public Object {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr Kind kKind = Kind::Port;

    // Opens `path` exclusively as a raw terminal, unless another program holds it;
    // nullptr with `why` filled in on failure (kind None on success).
    static std::shared_ptr<Port> open(const std::string& path, OpenFailure& why);
    ~Port() override;
    void shutdown() override;

    // Each call returns ERROR_SUCCESS, ERROR_IO_PENDING (transfers) or the error.
    DWORD setupComm(DWORD inQueue, DWORD outQueue);
    DWORD getState(DCB& dcb);
    DWORD setState(const DCB& dcb);
    DWORD getTimeouts(COMMTIMEOUTS& t);
    DWORD setTimeouts(const COMMTIMEOUTS& t);
    DWORD setMask(DWORD mask);
    DWORD waitEvent(DWORD& mask);
    DWORD purge(DWORD flags);
    DWORD clearError(DWORD* errors, COMSTAT* stat);
    DWORD read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov, std::shared_ptr<Event> ev);
    DWORD write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov,
                std::shared_ptr<Event> ev);
    DWORD result(OVERLAPPED* ov, DWORD* done, bool wait);

    // Modem line changes seen by the modem watch (EV_CTS, EV_DSR, EV_RLSD, EV_RING).
    void raiseFromModem(DWORD events);

    Port(int fd, int wake);  // use open()

  private:
    // One overlapped transfer in progress.
    struct Transfer {
        bool active = false;
        OVERLAPPED* ov = nullptr;
        std::shared_ptr<Event> event;
        std::uint8_t* buffer = nullptr;  // reads only; writes copy into `out_`
        DWORD want = 0;
        DWORD got = 0;
        Clock::time_point deadline = Clock::time_point::max();
        std::chrono::milliseconds interval{0};  // reads: longest gap between bytes
        Clock::time_point lastByte = Clock::time_point::max();
        bool anyByte = false;  // reads: complete as soon as something is there
    };

    void run();
    void dropStuckOutput();
    void wake();
    void complete(Transfer& t, DWORD status);
    void serveRead();
    void pushInput(const std::uint8_t* raw, std::size_t n);
    // Writes what the kernel takes now and returns how much that was; `failed` when the
    // line has gone.
    std::size_t writeSome(const std::uint8_t* bytes, std::size_t count, bool& failed);
    void flushOutput();
    void checkDeadlines(Clock::time_point now);
    void checkTxEmpty();
    void hangUp();
    DWORD gate() const;
    void raise(DWORD events);
    void noteErrors(DWORD ce);
    DWORD usable() const;
    DWORD outQueued() const;
    Clock::time_point nextDeadline() const;

    const int fd_;
    const int wake_;
    std::thread worker_;
    std::unique_ptr<ModemWatch> modem_;
    std::unique_ptr<UucpLock> lock_;

    mutable std::mutex m_;
    std::condition_variable cv_;  // transfers ending, events raised, mask changes
    bool closed_ = false;
    bool hungUp_ = false;
    bool aborting_ = false;  // fAbortOnError tripped: transfers fail until ClearCommError
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
    std::size_t inSize_ = 4096;
    std::deque<std::uint8_t> in_;
    std::vector<std::uint8_t> out_;  // bytes of the pending write not yet in the kernel
    std::size_t outOff_ = 0;
    bool txBusy_ = false;  // output given since EV_TXEMPTY was last raised
    Transfer read_, write_;
    DWORD mask_ = 0;
    DWORD history_ = 0;  // events seen since the last wait returned
    std::uint64_t maskGeneration_ = 0;
    bool waiting_ = false;
    DWORD errors_ = 0;
    MarkedInput marks_;
    bool haveIcount_ = false;
    struct Counts {
        int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
    } counts_;
};

}  // namespace comm::posix
