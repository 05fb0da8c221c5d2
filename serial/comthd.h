// tcommthread: the line event watcher of a Trs232c. It waits for the port's line events
// on a thread of its own and posts one notification per kind to the component's
// notification window; the handlers then run on the component's owner thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "serial/commapi.h"

class Trs232c;

// The notification numbers, WM_APP + 501 .. 510, in the order postevents tests them.
constexpr unsigned WM_APP = 0x8000;
constexpr unsigned WM_RSBREAK = WM_APP + 501;
constexpr unsigned WM_RSCTS = WM_APP + 502;
constexpr unsigned WM_RSDSR = WM_APP + 503;
constexpr unsigned WM_RSERR = WM_APP + 504;
constexpr unsigned WM_RSRING = WM_APP + 505;
constexpr unsigned WM_RSRLSD = WM_APP + 506;
constexpr unsigned WM_RSPACKET = WM_APP + 507;
constexpr unsigned WM_RSRXCHAR = WM_APP + 508;
constexpr unsigned WM_RSRXFLAG = WM_APP + 509;
constexpr unsigned WM_RSTXEMPTY = WM_APP + 510;

class tcommthread {
  public:
    // Created suspended, the thread starts at Start(); otherwise at once (then `owner`
    // and `hcomm` must not be changed).
    explicit tcommthread(bool createSuspended);
    ~tcommthread();  // requests termination and waits: the owner stops it first anyway
    tcommthread(const tcommthread&) = delete;
    tcommthread& operator=(const tcommthread&) = delete;

    Trs232c* owner = nullptr;
    comm::DWORD events = 0;  // what the last wait returned
    comm::HANDLE hcomm = nullptr;

    void Start();
    void Terminate();
    bool Terminated() const { return terminated_.load(); }
    void WaitFor();

    // The owner's stop: requests termination, then runs `endWait` (which clears the
    // port's event mask) and waits for the thread's end. A wait the thread began after
    // the mask was cleared may block on some drivers; it is ended by clearing again.
    void Stop(const std::function<void()>& endWait);

    // Posts the notifications for `events`, in the fixed order; on the watcher thread.
    void postevents(Trs232c& component);

  private:
    void Execute();
    bool waitEvents(comm::CommApi& api, comm::HANDLE event);

    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::mutex m_;
    std::condition_variable cv_;  // cuts short the pause after a failed wait; reports ends
    bool ended_ = false;
    std::uint64_t waitsBegun_ = 0;  // overlapped waits the driver has taken on
    // The overlapped wait's record and result: the driver writes them until it ends.
    comm::OVERLAPPED ov_{};
    comm::DWORD waitMask_ = 0;
};
