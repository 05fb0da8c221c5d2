#include "serial/comthd.h"

#include <chrono>

#include "serial/rs232c.h"

using namespace comm;

namespace {

// A wait that fails (a port hung up) fails again at once: pause between tries.
constexpr std::chrono::milliseconds retryPause{25};

}  // namespace

tcommthread::tcommthread(bool createSuspended) {
    if (!createSuspended) Start();
}

tcommthread::~tcommthread() {
    Terminate();
    WaitFor();
}

void tcommthread::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void tcommthread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(m_);
        terminated_ = true;
    }
    cv_.notify_all();
}

void tcommthread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void tcommthread::Stop(const std::function<void()>& endWait) {
    Terminate();
    std::unique_lock<std::mutex> lock(m_);
    std::uint64_t seen = waitsBegun_;
    lock.unlock();
    endWait();
    lock.lock();
    if (thread_.joinable()) {
        while (!ended_) {
            cv_.wait(lock, [&] { return ended_ || waitsBegun_ != seen; });
            if (ended_) break;
            // This wait began after the mask was cleared: now that it is there, clearing
            // again ends it.
            seen = waitsBegun_;
            lock.unlock();
            endWait();
            lock.lock();
        }
    }
    lock.unlock();
    WaitFor();
}

void tcommthread::Execute() {
    if (owner) {
        CommApi& api = owner->api();
        // The port is opened for overlapped transfers: its wait gets a record and an
        // event of its own (without one it would be signalled by the transfers too).
        HANDLE event = api.CreateEventA(nullptr, 1, 0, nullptr);
        while (!Terminated()) {
            if (waitEvents(api, event)) {
                events = waitMask_;
                postevents(*owner);
            } else {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait_for(lock, retryPause, [this] { return Terminated(); });
            }
        }
        if (event) api.CloseHandle(event);
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        ended_ = true;
    }
    cv_.notify_all();
}

// One wait for line events, to its end: nothing of it is left pending on return.
bool tcommthread::waitEvents(CommApi& api, HANDLE event) {
    waitMask_ = 0;
    if (!event) return api.WaitCommEvent(hcomm, &waitMask_, nullptr) != 0;
    ov_ = OVERLAPPED{};
    ov_.hEvent = event;
    api.ResetEvent(event);
    if (api.WaitCommEvent(hcomm, &waitMask_, &ov_)) return true;
    if (api.GetLastError() != ERROR_IO_PENDING) return false;
    {
        std::lock_guard<std::mutex> lock(m_);
        ++waitsBegun_;
    }
    cv_.notify_all();
    DWORD moved = 0;
    return api.GetOverlappedResult(hcomm, &ov_, &moved, 1) != 0;  // waits on the event
}

void tcommthread::postevents(Trs232c& c) {
    NotifyWindow& window = c.notifyWindow();
    auto post = [&](DWORD bit, const TNotifyEvent& handler, unsigned msg) {
        if ((events & bit) && handler) window.post(msg, 0, 0);
    };
    post(EV_BREAK, c.OnBREAK, WM_RSBREAK);
    post(EV_CTS, c.OnCTS, WM_RSCTS);
    post(EV_DSR, c.OnDSR, WM_RSDSR);
    post(EV_ERR, c.OnERR, WM_RSERR);
    post(EV_RING, c.OnRING, WM_RSRING);
    post(EV_RLSD, c.OnRLSD, WM_RSRLSD);
    if (events & EV_RXCHAR) {
        DWORD errors = 0;
        COMSTAT stat{};
        c.api().ClearCommError(hcomm, &errors, &stat);
        // A level, not a count since the last notice; compared signed, so a negative
        // packetsize fires at every arrival.
        const int size = c.packetsize.load();
        if (c.OnPACKET && size != 0 && static_cast<std::int64_t>(stat.cbInQue) >= size)
            window.post(WM_RSPACKET, 0, 0);
        if (c.OnRXCHAR) window.post(WM_RSRXCHAR, 0, 0);
    }
    post(EV_RXFLAG, c.OnRXFLAG, WM_RSRXFLAG);
    post(EV_TXEMPTY, c.OnTXEMPTY, WM_RSTXEMPTY);
}
