// The POSIX backend: a real terminal behind the Win32 calls. Handles index one table
// (posix_handles), ports are served by their own worker (posix_port), settings map onto
// termios (posix_termios), names resolve as portnames says.
#include "serial/commapi.h"

#include <memory>

#include "serial/posix/ports/portcheck.h"
#include "serial/posix/ports/portnames.h"
#include "serial/posix/posix_handles.h"
#include "serial/posix/posix_port.h"

namespace comm {
namespace {

using posix::Event;
using posix::Port;

class PosixCommApi final : public CommApi {
  public:
    HANDLE CreateFileA(const char* name, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) override {
        auto path = name ? posix::resolvePortName(name) : std::nullopt;
        if (!path) {
            // The name leads to no device: the link that would be needed is what is missing.
            why = OpenFailure{};
            why.kind = OpenFailure::Kind::Missing;
            if (name && posix::isComName(name) && !posix::portsFolder().empty())
                why.device = posix::portsFolder() + "/" + name;
            else if (name)
                why.device = name;
            return failHandle(ERROR_FILE_NOT_FOUND);
        }
        auto port = Port::open(*path, why);
        if (!port) return failHandle(posix::errorCodeOf(why));
        return succeed(table_.add(std::move(port)));
    }
    OpenFailure lastOpenFailure() override { return why; }

    BOOL SetupComm(HANDLE h, DWORD in, DWORD out) override {
        return onPort(h, [&](Port& p) { return p.setupComm(in, out); });
    }
    BOOL GetCommState(HANDLE h, DCB* dcb) override {
        if (!dcb) return fail(ERROR_INVALID_PARAMETER);
        return onPort(h, [&](Port& p) { return p.getState(*dcb); });
    }
    BOOL SetCommState(HANDLE h, DCB* dcb) override {
        if (!dcb) return fail(ERROR_INVALID_PARAMETER);
        return onPort(h, [&](Port& p) { return p.setState(*dcb); });
    }
    BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) override {
        if (!t) return fail(ERROR_INVALID_PARAMETER);
        return onPort(h, [&](Port& p) { return p.getTimeouts(*t); });
    }
    BOOL SetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) override {
        if (!t) return fail(ERROR_INVALID_PARAMETER);
        return onPort(h, [&](Port& p) { return p.setTimeouts(*t); });
    }
    BOOL SetCommMask(HANDLE h, DWORD mask) override {
        return onPort(h, [&](Port& p) { return p.setMask(mask); });
    }
    BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) override {
        // The overlapped form too completes before it returns: the watcher thread, the
        // one caller, waits either way.
        if (!mask) return fail(ERROR_INVALID_PARAMETER);
        BOOL done = onPort(h, [&](Port& p) { return p.waitEvent(*mask); });
        if (ov) {
            ov->Internal = done ? ERROR_SUCCESS : last;
            ov->InternalHigh = 0;
            if (auto ev = table_.findAs<Event>(ov->hEvent)) ev->set();
        }
        return done;
    }
    BOOL PurgeComm(HANDLE h, DWORD flags) override {
        return onPort(h, [&](Port& p) { return p.purge(flags); });
    }
    BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) override {
        return onPort(h, [&](Port& p) { return p.clearError(errors, stat); });
    }
    BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov) override {
        auto ev = ov ? table_.findAs<Event>(ov->hEvent) : nullptr;
        return onPort(h, [&](Port& p) { return p.read(buffer, count, done, ov, std::move(ev)); });
    }
    BOOL WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* done,
                   OVERLAPPED* ov) override {
        auto ev = ov ? table_.findAs<Event>(ov->hEvent) : nullptr;
        return onPort(h, [&](Port& p) { return p.write(buffer, count, done, ov, std::move(ev)); });
    }
    BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait) override {
        return onPort(h, [&](Port& p) { return p.result(ov, done, wait != 0); });
    }
    DWORD GetLastError() override { return last; }

    HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) override {
        return succeed(table_.add(std::make_shared<Event>(manualReset != 0, initialState != 0)));
    }
    BOOL SetEvent(HANDLE h) override {
        return onEvent(h, [](Event& e) { e.set(); });
    }
    BOOL ResetEvent(HANDLE h) override {
        return onEvent(h, [](Event& e) { e.reset(); });
    }
    DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) override {
        auto e = table_.findAs<Event>(h);
        if (!e) {
            last = ERROR_INVALID_HANDLE;
            return WAIT_FAILED;
        }
        return e->wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    BOOL CloseHandle(HANDLE h) override {
        auto object = table_.remove(h);
        if (!object) return fail(ERROR_INVALID_HANDLE);
        object->shutdown();  // a port ends its worker and lets the device go
        return succeed(1);
    }

  private:
    template <class F>
    BOOL onPort(HANDLE h, F call) {
        auto port = table_.findAs<Port>(h);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        const DWORD error = call(*port);
        return error == ERROR_SUCCESS ? succeed(1) : fail(error);
    }
    template <class F>
    BOOL onEvent(HANDLE h, F call) {
        auto event = table_.findAs<Event>(h);
        if (!event) return fail(ERROR_INVALID_HANDLE);
        call(*event);
        return succeed(1);
    }
    template <class T>
    T succeed(T value) {
        last = ERROR_SUCCESS;
        return value;
    }
    BOOL fail(DWORD error) {
        last = error;
        return 0;
    }
    HANDLE failHandle(DWORD error) {
        last = error;
        return INVALID_HANDLE_VALUE;
    }

    posix::HandleTable table_;
    static thread_local DWORD last;
    static thread_local OpenFailure why;
};

thread_local DWORD PosixCommApi::last = ERROR_SUCCESS;
thread_local OpenFailure PosixCommApi::why;

}  // namespace

CommApi& platformCommApi() {
    static PosixCommApi api;
    return api;
}

}  // namespace comm
