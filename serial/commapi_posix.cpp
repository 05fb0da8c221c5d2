// Interim backend: every port is missing until the tty emulation lands.
#include "commapi.h"

namespace comm {
namespace {

class UnavailableApi final : public CommApi {
  public:
    HANDLE CreateFileA(const char*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) override {
        last = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    BOOL SetupComm(HANDLE, DWORD, DWORD) override { return fail(); }
    BOOL GetCommState(HANDLE, DCB*) override { return fail(); }
    BOOL SetCommState(HANDLE, DCB*) override { return fail(); }
    BOOL GetCommTimeouts(HANDLE, COMMTIMEOUTS*) override { return fail(); }
    BOOL SetCommTimeouts(HANDLE, COMMTIMEOUTS*) override { return fail(); }
    BOOL SetCommMask(HANDLE, DWORD) override { return fail(); }
    BOOL WaitCommEvent(HANDLE, DWORD*, OVERLAPPED*) override { return fail(); }
    BOOL PurgeComm(HANDLE, DWORD) override { return fail(); }
    BOOL ClearCommError(HANDLE, DWORD*, COMSTAT*) override { return fail(); }
    BOOL ReadFile(HANDLE, void*, DWORD, DWORD*, OVERLAPPED*) override { return fail(); }
    BOOL WriteFile(HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*) override { return fail(); }
    BOOL GetOverlappedResult(HANDLE, OVERLAPPED*, DWORD*, BOOL) override { return fail(); }
    DWORD GetLastError() override { return last; }
    HANDLE CreateEventA(void*, BOOL, BOOL, const char*) override { return nullptr; }
    BOOL SetEvent(HANDLE) override { return fail(); }
    BOOL ResetEvent(HANDLE) override { return fail(); }
    DWORD WaitForSingleObject(HANDLE, DWORD) override { return WAIT_FAILED; }
    BOOL CloseHandle(HANDLE) override { return fail(); }

  private:
    BOOL fail() {
        last = ERROR_INVALID_HANDLE;
        return 0;
    }
    static thread_local DWORD last;
};

thread_local DWORD UnavailableApi::last = 0;

}  // namespace

CommApi& platformCommApi() {
    static UnavailableApi api;
    return api;
}

}  // namespace comm
