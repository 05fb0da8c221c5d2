// A scriptable CommApi for the failure steps a real port cannot be made to show: it
// records every call with its arguments and fails the calls it is told to.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "serial/commapi.h"

class FakeCommApi : public comm::CommApi {
  public:
    // How the next ReadFile/WriteFile behaves.
    struct Transfer {
        bool immediate = true;  // completes at once (non-zero result)
        comm::DWORD moved = 0;  // bytes reported (at once or by GetOverlappedResult)
        comm::DWORD error = comm::ERROR_IO_PENDING;  // last error when not immediate
        comm::DWORD wait = comm::WAIT_OBJECT_0;      // what the event wait answers
        bool resultOk = true;                        // GetOverlappedResult's result
        std::string data;                            // bytes a read delivers
        comm::DWORD resultError = 0;                 // last error when resultOk is false
    };

    FakeCommApi();

    // Calls in order, e.g. "SetupComm(1024,1024)".
    std::vector<std::string> calls() const;
    void clearCalls();
    // The calls whose name is `name`, with their arguments.
    std::vector<std::string> callsOf(const std::string& name) const;

    // Makes every later call of `name` fail (CreateFileA answers INVALID_HANDLE_VALUE),
    // with `error` as the last error when given.
    void fail(const std::string& name, comm::DWORD error = 0);

    comm::DCB portState;     // what GetCommState reports
    comm::DCB lastSetState;  // what SetCommState received
    comm::COMMTIMEOUTS portTimeouts;
    comm::COMMTIMEOUTS lastSetTimeouts;
    comm::COMSTAT stat;  // what ClearCommError reports
    std::deque<Transfer> reads, writes;
    std::vector<std::uint8_t> written;  // bytes of every write that moved them
    std::set<comm::HANDLE> liveHandles() const;

    comm::HANDLE CreateFileA(const char* name, comm::DWORD access, comm::DWORD share,
                             void* security, comm::DWORD creation, comm::DWORD flags,
                             comm::HANDLE templateFile) override;
    comm::BOOL SetupComm(comm::HANDLE h, comm::DWORD in, comm::DWORD out) override;
    comm::BOOL GetCommState(comm::HANDLE h, comm::DCB* dcb) override;
    comm::BOOL SetCommState(comm::HANDLE h, comm::DCB* dcb) override;
    comm::BOOL GetCommTimeouts(comm::HANDLE h, comm::COMMTIMEOUTS* t) override;
    comm::BOOL SetCommTimeouts(comm::HANDLE h, comm::COMMTIMEOUTS* t) override;
    comm::BOOL SetCommMask(comm::HANDLE h, comm::DWORD mask) override;
    comm::BOOL WaitCommEvent(comm::HANDLE h, comm::DWORD* mask, comm::OVERLAPPED* ov) override;
    comm::BOOL PurgeComm(comm::HANDLE h, comm::DWORD flags) override;
    comm::BOOL ClearCommError(comm::HANDLE h, comm::DWORD* errors, comm::COMSTAT* stat) override;
    comm::BOOL ReadFile(comm::HANDLE h, void* buffer, comm::DWORD count, comm::DWORD* done,
                        comm::OVERLAPPED* ov) override;
    comm::BOOL WriteFile(comm::HANDLE h, const void* buffer, comm::DWORD count, comm::DWORD* done,
                         comm::OVERLAPPED* ov) override;
    comm::BOOL GetOverlappedResult(comm::HANDLE h, comm::OVERLAPPED* ov, comm::DWORD* done,
                                   comm::BOOL wait) override;
    comm::DWORD GetLastError() override;
    comm::HANDLE CreateEventA(void* security, comm::BOOL manualReset, comm::BOOL initialState,
                              const char* name) override;
    comm::BOOL SetEvent(comm::HANDLE event) override;
    comm::BOOL ResetEvent(comm::HANDLE event) override;
    comm::DWORD WaitForSingleObject(comm::HANDLE h, comm::DWORD milliseconds) override;
    comm::BOOL CloseHandle(comm::HANDLE h) override;

    // Line events for WaitCommEvent: the next wait returns `mask` (bounded by the mask set).
    void raise(comm::DWORD mask);

    // Names handles readably in the call log: "port", "event1", "event2", ...
    std::string nameOf(comm::HANDLE h) const;

  private:
    void log(const std::string& call);
    bool failing(const std::string& name);
    comm::BOOL transfer(std::deque<Transfer>& queue, void* readInto, const void* writeFrom,
                        comm::DWORD count, comm::DWORD* done, comm::OVERLAPPED* ov);

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::map<std::string, comm::DWORD> failing_;
    std::map<comm::HANDLE, std::string> handles_;
    int nextId_ = 1;
    comm::DWORD mask_ = 0;
    unsigned maskGeneration_ = 0;
    std::deque<comm::DWORD> pendingEvents_;
    std::map<comm::OVERLAPPED*, Transfer> running_;
};
