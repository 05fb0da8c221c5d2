#include "serial/posix/posix_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "serial/posix/ports/portcheck.h"
#include "serial/posix/posix_input.h"
#include "serial/posix/posix_modem.h"
#include "serial/posix/posix_termios.h"

namespace comm::posix {
namespace {

constexpr DWORD MAXDWORD = 0xFFFFFFFFu;
constexpr DWORD modemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr std::size_t minInQueue = 16;
// While the kernel still holds output, how often to look whether it has gone.
constexpr std::chrono::milliseconds txLook{10};

std::chrono::milliseconds ms(DWORD v) {
    return std::chrono::milliseconds(static_cast<std::int64_t>(v));
}

}  // namespace

std::shared_ptr<Port> Port::open(const std::string& path, OpenFailure& why) {
    // Nothing may touch a device another program holds: the checks come first.
    why = checkDevice(path);
    if (why.kind != OpenFailure::Kind::None) return nullptr;
    const std::string device = why.device;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = failureOf(errno, device);
        return nullptr;
    }
    bool exclusive = false;
    auto fail = [fd, &why, &exclusive](OpenFailure f) -> std::shared_ptr<Port> {
        if (exclusive) ioctl(fd, TIOCNXCL);
        ::close(fd);
        why = std::move(f);
        return nullptr;
    };
    if (!isatty(fd)) return fail(failureOf(ENOTTY, device));
    // Root gets past another holder's exclusive mode: it is seen here instead.
    if (int held = 0; ioctl(fd, TIOCGEXCL, &held) == 0 && held)
        return fail(failureOf(EBUSY, device));
    // The lock stops everyone who opens ports through this backend, in this process too
    // (one lock per open); the UUCP lock tells other serial programs.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(failureOf(EBUSY, device));
    auto lock = std::make_unique<UucpLock>();
    if (LockOwner owner; !lock->take(device, owner))
        return fail(owner.stale ? staleLock(device, owner.pid, owner.file)
                                : inUse(device, owner.pid, owner.file));
    exclusive = ioctl(fd, TIOCEXCL) == 0;
    if (!makeRaw(fd)) return fail(failureOf(EIO, device));
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) return fail(failureOf(errno, device));

    auto port = std::make_shared<Port>(fd, wake);
    port->lock_ = std::move(lock);
    {
        std::lock_guard<std::mutex> lock(port->m_);
        serial_icounter_struct ic{};
        port->haveIcount_ = ioctl(fd, TIOCGICOUNT, &ic) == 0;
        if (port->haveIcount_)
            port->counts_ = {ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun};
        DCB none{};
        none.XonChar = 17;
        none.XoffChar = 19;
        none.Flags = DCB_fBinary | (1u << 4) | (1u << 12);  // DTR and RTS on, as after open
        readDcb(fd, none, port->dcb_);
    }
    port->modem_ = std::make_unique<ModemWatch>(fd, *port);
    port->worker_ = std::thread([p = port.get()] { p->run(); });
    return port;
}

Port::Port(int fd, int wake) : Object(kKind), fd_(fd), wake_(wake) {}

Port::~Port() {
    shutdown();
}

void Port::shutdown() {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (closed_) return;
        closed_ = true;
        if (read_.active) complete(read_, ERROR_OPERATION_ABORTED);
        if (write_.active) complete(write_, ERROR_OPERATION_ABORTED);
        cv_.notify_all();
    }
    wake();
    if (worker_.joinable()) worker_.join();
    modem_.reset();
    dropStuckOutput();
    ioctl(fd_, TIOCNXCL);  // the tty outlives us when someone else holds it open
    ::close(fd_);
    ::close(wake_);
    if (lock_) lock_->release();  // the device is free again
}

// The driver's close waits (up to its closing_wait, 30 s by default) for output still in
// its queue. Output that drains is let go; output held back by flow control, which no
// longer moves, is dropped so that closing the port cannot stall its caller.
void Port::dropStuckOutput() {
    using namespace std::chrono_literals;
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    auto lastProgress = Clock::now();
    while (Clock::now() - lastProgress < 200ms) {
        std::this_thread::sleep_for(10ms);
        int now = 0;
        if (ioctl(fd_, TIOCOUTQ, &now) != 0 || now <= 0) return;
        if (now < queued) lastProgress = Clock::now();
        queued = now;
    }
    tcflush(fd_, TCOFLUSH);
}

void Port::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
}

// ---- the worker ----

void Port::run() {
    std::unique_lock<std::mutex> lock(m_);
    while (!closed_) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {fd_, 0, 0}};
        nfds_t n = 1;
        if (!hungUp_) {
            // A full input queue is not read: the kernel's buffer fills and its flow
            // control engages, as a driver's would.
            if (usable() > 0) fds[1].events |= POLLIN;
            if (outOff_ < out_.size()) fds[1].events |= POLLOUT;
            n = 2;
        }
        int timeout = -1;
        auto next = nextDeadline();
        if (next != Clock::time_point::max()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
            timeout = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 60000));
        }
        lock.unlock();
        ::poll(fds, n, timeout);
        lock.lock();
        if (closed_) break;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto r = ::read(wake_, &count, sizeof count);
        }
        if (n == 2 && !hungUp_) {
            if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                hangUp();
            } else {
                if (fds[1].revents & POLLIN) {
                    std::uint8_t buf[4096];
                    const std::size_t want = std::min<std::size_t>(usable(), sizeof buf);
                    const ssize_t got = want ? ::read(fd_, buf, want) : -1;
                    if (got > 0)
                        pushInput(buf, static_cast<std::size_t>(got));
                    else if (got == 0 || (errno != EAGAIN && errno != EINTR && want))
                        hangUp();
                }
                if (fds[1].revents & POLLOUT) flushOutput();
            }
        }
        checkDeadlines(Clock::now());
        checkTxEmpty();
    }
}

// Room for input: the queue's free space plus what a pending read still takes.
DWORD Port::usable() const {
    std::size_t room = in_.size() < inSize_ ? inSize_ - in_.size() : 0;
    if (read_.active) room += read_.want - read_.got;
    return static_cast<DWORD>(room);
}

DWORD Port::outQueued() const {
    int kernel = 0;
    if (ioctl(fd_, TIOCOUTQ, &kernel) != 0 || kernel < 0) kernel = 0;
    return static_cast<DWORD>(out_.size() - outOff_) + static_cast<DWORD>(kernel);
}

Port::Clock::time_point Port::nextDeadline() const {
    auto next = Clock::time_point::max();
    if (read_.active) {
        next = std::min(next, read_.deadline);
        if (read_.interval.count() > 0 && read_.got > 0)
            next = std::min(next, read_.lastByte + read_.interval);
    }
    if (write_.active) next = std::min(next, write_.deadline);
    if (txBusy_ && outOff_ >= out_.size()) next = std::min(next, Clock::now() + txLook);
    return next;
}

void Port::complete(Transfer& t, DWORD status) {
    t.ov->Internal = status;
    t.ov->InternalHigh = t.got;
    t.active = false;
    t.buffer = nullptr;  // never touched again
    auto event = std::move(t.event);
    t.event.reset();
    if (event) event->set();
    cv_.notify_all();
}

void Port::raise(DWORD events) {
    events &= mask_;
    if (!events) return;
    history_ |= events;
    cv_.notify_all();
}

void Port::raiseFromModem(DWORD events) {
    std::lock_guard<std::mutex> lock(m_);
    raise(events);
}

void Port::noteErrors(DWORD ce) {
    if (!ce) return;
    errors_ |= ce;
    if (dcb_.Flags & DCB_fAbortOnError) {
        aborting_ = true;
        if (read_.active) complete(read_, ERROR_OPERATION_ABORTED);
        if (write_.active) {
            out_.clear();
            outOff_ = 0;
            complete(write_, ERROR_OPERATION_ABORTED);
        }
    }
}

// Takes raw input from the terminal, marks and all.
void Port::pushInput(const std::uint8_t* raw, std::size_t n) {
    DWORD events = 0, ce = 0;
    bool any = false;
    auto deliver = [&](std::uint8_t c, bool errored) {
        if (errored && (dcb_.Flags & DCB_fErrorChar)) c = static_cast<std::uint8_t>(dcb_.ErrorChar);
        if ((dcb_.Flags & DCB_fNull) && c == 0) return;
        in_.push_back(c);
        any = true;
        if (c == static_cast<std::uint8_t>(dcb_.EvtChar)) events |= EV_RXFLAG;
    };
    const MarkedInput::Seen seen = marks_.feed(raw, n, deliver);
    if (seen.breaks) ce |= CE_BREAK;
    if (haveIcount_) {
        serial_icounter_struct ic{};
        if (ioctl(fd_, TIOCGICOUNT, &ic) == 0) {
            if (ic.frame != counts_.frame) ce |= CE_FRAME;
            if (ic.parity != counts_.parity) ce |= CE_RXPARITY;
            if (ic.overrun != counts_.overrun) ce |= CE_OVERRUN;
            if (ic.buf_overrun != counts_.bufOverrun) ce |= CE_RXOVER;
            if (ic.brk != counts_.brk) ce |= CE_BREAK;
            counts_ = {ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun};
        }
    }
    // Where the driver's counters do not say which kind of error it was, the settings do.
    if (seen.errors && !(ce & (CE_FRAME | CE_RXPARITY)))
        ce |= (dcb_.Flags & DCB_fParity) ? CE_RXPARITY : CE_FRAME;
    if (any) events |= EV_RXCHAR;
    if (ce & CE_BREAK) events |= EV_BREAK;
    if (ce & ~CE_BREAK) events |= EV_ERR;
    raise(events);
    noteErrors(ce);
    serveRead();
}

void Port::serveRead() {
    // A read whose time is up ends with what it has: bytes arriving later belong to the
    // next read (its caller has most likely stopped waiting for this one).
    checkDeadlines(Clock::now());
    if (!read_.active) return;
    const std::size_t take = std::min<std::size_t>(read_.want - read_.got, in_.size());
    if (take > 0) {
        std::copy_n(in_.begin(), take, read_.buffer + read_.got);
        in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(take));
        read_.got += static_cast<DWORD>(take);
        read_.lastByte = Clock::now();
    }
    if (read_.got == read_.want || (read_.anyByte && read_.got > 0)) complete(read_, ERROR_SUCCESS);
}

std::size_t Port::writeSome(const std::uint8_t* bytes, std::size_t count, bool& failed) {
    std::size_t sent = 0;
    failed = false;
    while (sent < count) {
        const ssize_t n = ::write(fd_, bytes + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        failed = !(n < 0 && (errno == EAGAIN || errno == EINTR));
        break;
    }
    return sent;
}

void Port::flushOutput() {
    bool failed = false;
    const std::size_t n = writeSome(out_.data() + outOff_, out_.size() - outOff_, failed);
    outOff_ += n;
    if (write_.active) write_.got += static_cast<DWORD>(n);
    if (failed) {
        hangUp();
        return;
    }
    if (outOff_ < out_.size()) return;
    out_.clear();
    outOff_ = 0;
    if (write_.active) complete(write_, ERROR_SUCCESS);
}

void Port::checkDeadlines(Clock::time_point now) {
    if (read_.active) {
        const bool quiet =
            read_.interval.count() > 0 && read_.got > 0 && now - read_.lastByte >= read_.interval;
        if (now >= read_.deadline || quiet) complete(read_, ERROR_SUCCESS);  // short read
    }
    if (write_.active && now >= write_.deadline) {
        out_.clear();  // what the kernel has not taken is not sent
        outOff_ = 0;
        complete(write_, ERROR_SUCCESS);  // short write
    }
}

void Port::checkTxEmpty() {
    if (!txBusy_ || hungUp_ || outOff_ < out_.size()) return;
    if (outQueued() == 0) {
        txBusy_ = false;
        raise(EV_TXEMPTY);
    }
}

void Port::hangUp() {
    hungUp_ = true;
    out_.clear();
    outOff_ = 0;
    txBusy_ = false;
    if (read_.active) complete(read_, ERROR_GEN_FAILURE);
    if (write_.active) complete(write_, ERROR_GEN_FAILURE);
    cv_.notify_all();
}

// ---- the calls ----

DWORD Port::gate() const {
    if (closed_) return ERROR_INVALID_HANDLE;
    if (hungUp_) return ERROR_GEN_FAILURE;
    return ERROR_SUCCESS;
}

DWORD Port::setupComm(DWORD inQueue, DWORD) {
    std::lock_guard<std::mutex> lock(m_);
    if (DWORD e = gate()) return e;
    if (inQueue > 0) inSize_ = std::max<std::size_t>(inQueue, minInQueue);
    wake();
    return ERROR_SUCCESS;
}

DWORD Port::getState(DCB& dcb) {
    std::lock_guard<std::mutex> lock(m_);
    if (DWORD e = gate()) return e;
    return readDcb(fd_, dcb_, dcb) ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

DWORD Port::setState(const DCB& dcb) {
    std::lock_guard<std::mutex> lock(m_);
    if (DWORD e = gate()) return e;
    if (DWORD e = applyDcb(fd_, dcb)) return e;
    DCB now{};
    if (readDcb(fd_, dcb, now)) dcb_ = now;
    return ERROR_SUCCESS;
}

DWORD Port::getTimeouts(COMMTIMEOUTS& t) {
    std::lock_guard<std::mutex> lock(m_);
    if (DWORD e = gate()) return e;
    t = timeouts_;
    return ERROR_SUCCESS;
}

DWORD Port::setTimeouts(const COMMTIMEOUTS& t) {
    std::lock_guard<std::mutex> lock(m_);
    if (DWORD e = gate()) return e;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant == MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    timeouts_ = t;
    return ERROR_SUCCESS;
}

DWORD Port::setMask(DWORD mask) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (DWORD e = gate()) return e;
        mask_ = mask;
        history_ = 0;
        // Output still on its way when EV_TXEMPTY becomes watched is reported once it drains.
        txBusy_ = (mask & EV_TXEMPTY) && !hungUp_ && outQueued() > 0;
        if (txBusy_) wake();  // the worker looks again until it has
        ++maskGeneration_;    // a pending wait returns with nothing
        cv_.notify_all();
        modem_->watch(mask & modemEvents);
    }
    return ERROR_SUCCESS;
}

DWORD Port::waitEvent(DWORD& mask) {
    std::unique_lock<std::mutex> lock(m_);
    mask = 0;
    if (DWORD e = gate()) return e;
    if (waiting_) return ERROR_INVALID_PARAMETER;
    if (mask_ == 0) return ERROR_SUCCESS;  // nothing can come: a stop raced the wait
    const std::uint64_t generation = maskGeneration_;
    waiting_ = true;
    cv_.wait(lock, [&] {
        return (history_ & mask_) || maskGeneration_ != generation || closed_ || hungUp_;
    });
    waiting_ = false;
    if (maskGeneration_ != generation) return ERROR_SUCCESS;
    if (history_ & mask_) {
        mask = history_ & mask_;
        history_ = 0;
        return ERROR_SUCCESS;
    }
    return gate();
}

DWORD Port::purge(DWORD flags) {
    std::lock_guard<std::mutex> lock(m_);
    if (closed_) return ERROR_INVALID_HANDLE;
    if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return ERROR_INVALID_PARAMETER;
    if ((flags & PURGE_TXABORT) && write_.active) {
        out_.clear();
        outOff_ = 0;
        complete(write_, ERROR_OPERATION_ABORTED);
    }
    if ((flags & PURGE_RXABORT) && read_.active) complete(read_, ERROR_OPERATION_ABORTED);
    if (flags & PURGE_TXCLEAR) {
        if (!write_.active) {
            out_.clear();
            outOff_ = 0;
        }
        tcflush(fd_, TCOFLUSH);
    }
    if (flags & PURGE_RXCLEAR) {
        in_.clear();
        marks_.reset();
        tcflush(fd_, TCIFLUSH);
    }
    wake();
    return ERROR_SUCCESS;
}

DWORD Port::clearError(DWORD* errors, COMSTAT* stat) {
    std::lock_guard<std::mutex> lock(m_);
    if (errors) *errors = 0;
    if (stat) *stat = COMSTAT{};
    // Asking after the line is how its loss is learnt: a hang-up the worker has not yet
    // seen counts already.
    if (!closed_ && !hungUp_) {
        pollfd p{fd_, 0, 0};
        if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) hangUp();
    }
    if (DWORD e = gate()) return e;
    if (errors) *errors = errors_;
    errors_ = 0;
    aborting_ = false;
    if (stat) {
        stat->cbInQue = static_cast<DWORD>(in_.size());
        stat->cbOutQue = outQueued();
    }
    return ERROR_SUCCESS;
}

DWORD Port::read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov,
                 std::shared_ptr<Event> ev) {
    std::lock_guard<std::mutex> lock(m_);
    if (done) *done = 0;
    if (DWORD e = gate()) return e;
    if (aborting_) return ERROR_OPERATION_ABORTED;
    if (!ov || !ev || read_.active || (!buffer && count > 0)) return ERROR_INVALID_PARAMETER;
    ev->reset();

    Transfer& t = read_;
    t = Transfer{};
    t.ov = ov;
    t.event = std::move(ev);
    t.buffer = static_cast<std::uint8_t*>(buffer);
    t.want = count;
    const COMMTIMEOUTS& c = timeouts_;
    const bool atOnce = c.ReadIntervalTimeout == MAXDWORD && c.ReadTotalTimeoutMultiplier == 0 &&
                        c.ReadTotalTimeoutConstant == 0;
    t.anyByte = c.ReadIntervalTimeout == MAXDWORD && c.ReadTotalTimeoutMultiplier == MAXDWORD;
    const std::uint64_t total = t.anyByte ? c.ReadTotalTimeoutConstant
                                          : std::uint64_t(c.ReadTotalTimeoutMultiplier) * count +
                                                c.ReadTotalTimeoutConstant;
    if (total > 0) t.deadline = Clock::now() + std::chrono::milliseconds(total);
    if (c.ReadIntervalTimeout != MAXDWORD) t.interval = ms(c.ReadIntervalTimeout);
    t.active = true;
    ov->Internal = ERROR_IO_PENDING;
    ov->InternalHigh = 0;

    serveRead();
    if (t.active && atOnce) complete(t, ERROR_SUCCESS);
    if (!t.active) {
        if (done) *done = static_cast<DWORD>(ov->InternalHigh);
        return static_cast<DWORD>(ov->Internal);
    }
    wake();
    return ERROR_IO_PENDING;
}

DWORD Port::write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov,
                  std::shared_ptr<Event> ev) {
    std::lock_guard<std::mutex> lock(m_);
    if (done) *done = 0;
    if (DWORD e = gate()) return e;
    if (aborting_) return ERROR_OPERATION_ABORTED;
    if (!ov || !ev || write_.active || (!buffer && count > 0)) return ERROR_INVALID_PARAMETER;
    ev->reset();
    // Only a watched EV_TXEMPTY needs the queue asked after each write: that query is a
    // system call as dear as the write itself.
    if (count > 0 && (mask_ & EV_TXEMPTY)) txBusy_ = true;

    // Most writes go to the kernel whole at once: they complete here, from the caller's
    // buffer, without the worker.
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    bool failed = false;
    const std::size_t sent = writeSome(bytes, count, failed);
    if (failed) hangUp();
    if (failed || sent == count) {
        const DWORD status = failed ? ERROR_GEN_FAILURE : ERROR_SUCCESS;
        ov->Internal = status;
        ov->InternalHigh = sent;
        ev->set();
        checkTxEmpty();
        if (txBusy_) wake();  // the kernel still holds some: the worker watches it drain
        if (done) *done = static_cast<DWORD>(sent);
        return status;
    }

    // The rest is copied: the caller's buffer is free as soon as this returns.
    Transfer& t = write_;
    t = Transfer{};
    t.ov = ov;
    t.event = std::move(ev);
    t.want = count;
    t.got = static_cast<DWORD>(sent);
    t.active = true;
    ov->Internal = ERROR_IO_PENDING;
    ov->InternalHigh = 0;
    out_.assign(bytes + sent, bytes + count);
    outOff_ = 0;
    const std::uint64_t total = std::uint64_t(timeouts_.WriteTotalTimeoutMultiplier) * count +
                                timeouts_.WriteTotalTimeoutConstant;
    if (total > 0) t.deadline = Clock::now() + std::chrono::milliseconds(total);
    wake();
    return ERROR_IO_PENDING;
}

DWORD Port::result(OVERLAPPED* ov, DWORD* done, bool wait) {
    std::unique_lock<std::mutex> lock(m_);
    if (!ov) return ERROR_INVALID_PARAMETER;
    auto running = [&] {
        return (read_.active && read_.ov == ov) || (write_.active && write_.ov == ov);
    };
    if (running()) {
        if (!wait) return ERROR_IO_INCOMPLETE;
        cv_.wait(lock, [&] { return !running(); });
    }
    if (done) *done = static_cast<DWORD>(ov->InternalHigh);
    return static_cast<DWORD>(ov->Internal);
}

}  // namespace comm::posix
