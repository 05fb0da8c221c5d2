// The platform's own backend with the far end's flow control timed to the byte: armed with
// a text, it stops a pseudo-terminal's output (as the far end's XOFF would) just before the
// first byte written after that text. Every call goes to the real backend.
#pragma once

#include <string>

#include "serial/commapi.h"
#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

class HoldingCommApi : public comm::CommApi {
  public:
    explicit HoldingCommApi(testenv::Pty& pty) : pty_(pty) {}

    // The line stops once `text` has been written (counted from now; "": before the next
    // write).
    void holdAfter(std::string text) {
        after_ = std::move(text);
        written_.clear();
        armed_ = true;
    }

    comm::BOOL WriteFile(comm::HANDLE h, const void* buffer, comm::DWORD count, comm::DWORD* done,
                         comm::OVERLAPPED* ov) override {
        if (armed_ && written_.ends_with(after_)) {
            armed_ = false;
            pty_.holdOutput(true);
        }
        if (armed_) written_.append(static_cast<const char*>(buffer), count);
        return real_.WriteFile(h, buffer, count, done, ov);
    }

    comm::HANDLE CreateFileA(const char* name, comm::DWORD access, comm::DWORD share,
                             void* security, comm::DWORD creation, comm::DWORD flags,
                             comm::HANDLE templateFile) override {
        return real_.CreateFileA(name, access, share, security, creation, flags, templateFile);
    }
    comm::BOOL SetupComm(comm::HANDLE h, comm::DWORD in, comm::DWORD out) override {
        return real_.SetupComm(h, in, out);
    }
    comm::BOOL GetCommState(comm::HANDLE h, comm::DCB* dcb) override {
        return real_.GetCommState(h, dcb);
    }
    comm::BOOL SetCommState(comm::HANDLE h, comm::DCB* dcb) override {
        return real_.SetCommState(h, dcb);
    }
    comm::BOOL GetCommTimeouts(comm::HANDLE h, comm::COMMTIMEOUTS* t) override {
        return real_.GetCommTimeouts(h, t);
    }
    comm::BOOL SetCommTimeouts(comm::HANDLE h, comm::COMMTIMEOUTS* t) override {
        return real_.SetCommTimeouts(h, t);
    }
    comm::BOOL SetCommMask(comm::HANDLE h, comm::DWORD mask) override {
        return real_.SetCommMask(h, mask);
    }
    comm::BOOL WaitCommEvent(comm::HANDLE h, comm::DWORD* mask, comm::OVERLAPPED* ov) override {
        return real_.WaitCommEvent(h, mask, ov);
    }
    comm::BOOL PurgeComm(comm::HANDLE h, comm::DWORD flags) override {
        return real_.PurgeComm(h, flags);
    }
    comm::BOOL ClearCommError(comm::HANDLE h, comm::DWORD* errors, comm::COMSTAT* stat) override {
        return real_.ClearCommError(h, errors, stat);
    }
    comm::BOOL ReadFile(comm::HANDLE h, void* buffer, comm::DWORD count, comm::DWORD* done,
                        comm::OVERLAPPED* ov) override {
        return real_.ReadFile(h, buffer, count, done, ov);
    }
    comm::BOOL GetOverlappedResult(comm::HANDLE h, comm::OVERLAPPED* ov, comm::DWORD* done,
                                   comm::BOOL wait) override {
        return real_.GetOverlappedResult(h, ov, done, wait);
    }
    comm::DWORD GetLastError() override { return real_.GetLastError(); }
    comm::HANDLE CreateEventA(void* security, comm::BOOL manualReset, comm::BOOL initialState,
                              const char* name) override {
        return real_.CreateEventA(security, manualReset, initialState, name);
    }
    comm::BOOL SetEvent(comm::HANDLE event) override { return real_.SetEvent(event); }
    comm::BOOL ResetEvent(comm::HANDLE event) override { return real_.ResetEvent(event); }
    comm::DWORD WaitForSingleObject(comm::HANDLE h, comm::DWORD ms) override {
        return real_.WaitForSingleObject(h, ms);
    }
    comm::BOOL CloseHandle(comm::HANDLE h) override { return real_.CloseHandle(h); }
    comm::OpenFailure lastOpenFailure() override { return real_.lastOpenFailure(); }

  private:
    testenv::Pty& pty_;
    comm::CommApi& real_ = comm::platformCommApi();
    std::string after_, written_;
    bool armed_ = false;
};
