// The Win32 backend: every call goes straight to kernel32 with the caller's records,
// which are laid out as the system's own (checked below). Nothing is emulated.
//
// The interface's constants share their names with <windows.h>'s macros, so it is read
// first and the system header after it; below this point only the system's names are
// used.
#include "serial/commapi.h"

#include "serial/win32/openfailure.h"

#undef INVALID_HANDLE_VALUE
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cctype>
#include <cstddef>
#include <string>

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

// "COM" and digits reach the device by its name in the device namespace: the plain name
// finds COM1 to COM9 only.
std::string deviceName(const char* name) {
    std::string text = name ? name : "";
    if (text.size() < 4 || (text.compare(0, 3, "COM") != 0 && text.compare(0, 3, "com") != 0))
        return text;
    for (std::size_t i = 3; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return text;
    return "\\\\.\\" + text;
}

}  // namespace

std::string systemErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const ::DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0,
                                             nullptr, nullptr);
        text.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), text.data(), size, nullptr,
                                nullptr);
    }
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

OpenFailure openFailureOf(const std::string& device, unsigned long error, bool queryOpens) {
    OpenFailure why;
    why.device = device;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            why.kind = OpenFailure::Kind::Missing;
            break;
        case ERROR_SHARING_VIOLATION:
            why.kind = OpenFailure::Kind::InUse;
            break;
        case ERROR_ACCESS_DENIED:
            // A port another program has open refuses every open, even one that asks
            // for no access; one this user may not use takes that one.
            why.kind = queryOpens ? OpenFailure::Kind::Denied : OpenFailure::Kind::InUse;
            break;
        default:
            why.kind = OpenFailure::Kind::Other;
            why.systemError = static_cast<int>(error);
            why.detail = systemErrorText(error);
            break;
    }
    return why;
}

namespace {

class Win32CommApi final : public CommApi {
  public:
    comm::HANDLE CreateFileA(const char* name, comm::DWORD access, comm::DWORD share,
                             void* security, comm::DWORD creation, comm::DWORD flags,
                             comm::HANDLE templateFile) override {
        const std::string device = deviceName(name);
        ::HANDLE h = ::CreateFileA(device.c_str(), access, share,
                                   static_cast<LPSECURITY_ATTRIBUTES>(security), creation, flags,
                                   templateFile);
        if (h != INVALID_HANDLE_VALUE) {
            last_ = OpenFailure{};
            last_.kind = OpenFailure::Kind::None;
            last_.device = name ? name : "";
            return h;
        }
        const ::DWORD error = ::GetLastError();
        bool queryOpens = false;
        if (error == ERROR_ACCESS_DENIED) {
            ::HANDLE query = ::CreateFileA(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
            queryOpens = query != INVALID_HANDLE_VALUE;
            if (queryOpens) ::CloseHandle(query);
        }
        last_ = openFailureOf(name ? name : "", error, queryOpens);
        ::SetLastError(error);
        return h;
    }
    OpenFailure lastOpenFailure() override { return last_; }
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

  private:
    static thread_local OpenFailure last_;
};

thread_local OpenFailure Win32CommApi::last_;

}  // namespace

CommApi& platformCommApi() {
    static Win32CommApi api;
    return api;
}

}  // namespace comm
