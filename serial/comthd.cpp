#include "comthd.h"

#include <chrono>

#include "rs232c.h"

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

void tcommthread::Execute() {
    if (!owner) return;
    CommApi& api = owner->api();
    while (!Terminated()) {
        DWORD mask = 0;
        if (api.WaitCommEvent(hcomm, &mask, nullptr)) {
            events = mask;
            postevents(*owner);
        } else {
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait_for(lock, retryPause, [this] { return Terminated(); });
        }
    }
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
