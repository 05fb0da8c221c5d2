// The Win32 backend: every call goes straight to kernel32 with the caller's records,
// which are laid out as the system's own (checked below). Nothing is emulated.
//
// The interface's constants share their names with <windows.h>'s macros, so it is read
// first and the system header after it; below this point only the system's names are
// used.
#include "serial/commapi.h"

#undef INVALID_HANDLE_VALUE
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>

namespace comm {
namespace {

static_assert(sizeof(comm::DWORD) == sizeof(::DWORD));
static_assert(sizeof(comm::DCB) == sizeof(::DCB));
static_assert(offsetof(comm::DCB, BaudRate) == offsetof(::DCB, BaudRate));
static_assert(offsetof(comm::DCB, wReserved) == offsetof(::DCB, wReserved));
static_assert(offsetof(comm::DCB, XonLim) == offsetof(::DCB, XonLim));
static_assert(offsetof(comm::DCB, ByteSize) == offsetof(::DCB, ByteSize));
static_assert(offsetof(comm::DCB, EvtChar) == offsetof(::DCB, EvtChar));
static_assert(offsetof(comm::DCB, wReserved1) == offsetof(::DCB, wReserved1));
static_assert(sizeof(comm::COMMTIMEOUTS) == sizeof(::COMMTIMEOUTS));
static_assert(offsetof(comm::COMMTIMEOUTS, WriteTotalTimeoutConstant) ==
              offsetof(::COMMTIMEOUTS, WriteTotalTimeoutConstant));
static_assert(sizeof(comm::COMSTAT) == sizeof(::COMSTAT));
static_assert(offsetof(comm::COMSTAT, cbInQue) == offsetof(::COMSTAT, cbInQue));
static_assert(offsetof(comm::COMSTAT, cbOutQue) == offsetof(::COMSTAT, cbOutQue));
static_assert(sizeof(comm::OVERLAPPED) == sizeof(::OVERLAPPED));
static_assert(offsetof(comm::OVERLAPPED, Offset) == offsetof(::OVERLAPPED, Offset));
static_assert(offsetof(comm::OVERLAPPED, hEvent) == offsetof(::OVERLAPPED, hEvent));

// The same bytes seen with the system's types.
template <class System, class Ours>
System* as(Ours* p) {
    return reinterpret_cast<System*>(p);
}

class Win32CommApi final : public CommApi {
  public:
    comm::HANDLE CreateFileA(const char* name, comm::DWORD access, comm::DWORD share,
                             void* security, comm::DWORD creation, comm::DWORD flags,
                             comm::HANDLE templateFile) override {
        return ::CreateFileA(name, access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                             creation, flags, templateFile);
    }
    comm::BOOL SetupComm(comm::HANDLE h, comm::DWORD in, comm::DWORD out) override {
        return ::SetupComm(h, in, out);
    }
    comm::BOOL GetCommState(comm::HANDLE h, comm::DCB* dcb) override {
        return ::GetCommState(h, as<::DCB>(dcb));
    }
    comm::BOOL SetCommState(comm::HANDLE h, comm::DCB* dcb) override {
        return ::SetCommState(h, as<::DCB>(dcb));
    }
    comm::BOOL GetCommTimeouts(comm::HANDLE h, comm::COMMTIMEOUTS* t) override {
        return ::GetCommTimeouts(h, as<::COMMTIMEOUTS>(t));
    }
    comm::BOOL SetCommTimeouts(comm::HANDLE h, comm::COMMTIMEOUTS* t) override {
        return ::SetCommTimeouts(h, as<::COMMTIMEOUTS>(t));
    }
    comm::BOOL SetCommMask(comm::HANDLE h, comm::DWORD mask) override {
        return ::SetCommMask(h, mask);
    }
    comm::BOOL WaitCommEvent(comm::HANDLE h, comm::DWORD* mask, comm::OVERLAPPED* ov) override {
        return ::WaitCommEvent(h, as<::DWORD>(mask), as<::OVERLAPPED>(ov));
    }
    comm::BOOL PurgeComm(comm::HANDLE h, comm::DWORD flags) override {
        return ::PurgeComm(h, flags);
    }
    comm::BOOL ClearCommError(comm::HANDLE h, comm::DWORD* errors, comm::COMSTAT* stat) override {
        return ::ClearCommError(h, as<::DWORD>(errors), as<::COMSTAT>(stat));
    }
    comm::BOOL ReadFile(comm::HANDLE h, void* buffer, comm::DWORD count, comm::DWORD* done,
                        comm::OVERLAPPED* ov) override {
        return ::ReadFile(h, buffer, count, as<::DWORD>(done), as<::OVERLAPPED>(ov));
    }
    comm::BOOL WriteFile(comm::HANDLE h, const void* buffer, comm::DWORD count, comm::DWORD* done,
                         comm::OVERLAPPED* ov) override {
        return ::WriteFile(h, buffer, count, as<::DWORD>(done), as<::OVERLAPPED>(ov));
    }
    comm::BOOL GetOverlappedResult(comm::HANDLE h, comm::OVERLAPPED* ov, comm::DWORD* done,
                                   comm::BOOL wait) override {
        return ::GetOverlappedResult(h, as<::OVERLAPPED>(ov), as<::DWORD>(done), wait);
    }
    comm::DWORD GetLastError() override { return ::GetLastError(); }
    comm::HANDLE CreateEventA(void* security, comm::BOOL manualReset, comm::BOOL initialState,
                              const char* name) override {
        return ::CreateEventA(static_cast<LPSECURITY_ATTRIBUTES>(security), manualReset,
                              initialState, name);
    }
    comm::BOOL SetEvent(comm::HANDLE event) override { return ::SetEvent(event); }
    comm::BOOL ResetEvent(comm::HANDLE event) override { return ::ResetEvent(event); }
    comm::DWORD WaitForSingleObject(comm::HANDLE h, comm::DWORD milliseconds) override {
        return ::WaitForSingleObject(h, milliseconds);
    }
    comm::BOOL CloseHandle(comm::HANDLE h) override { return ::CloseHandle(h); }
};

}  // namespace

CommApi& platformCommApi() {
    static Win32CommApi api;
    return api;
}

}  // namespace comm
