#include "tests/support/fake_commapi.h"

#include <cstring>
#include <sstream>

using namespace comm;

namespace {
thread_local DWORD lastError = 0;

std::string hex(DWORD v) {
    std::ostringstream s;
    s << "0x" << std::hex << std::uppercase << v;
    return s.str();
}
}  // namespace

FakeCommApi::FakeCommApi() {
    portState.DCBlength = sizeof(DCB);
    portState.BaudRate = 1200;
    portState.Flags = 0x3;
    portState.XonLim = 2048;
    portState.XoffLim = 512;
    portState.ByteSize = 7;
    portState.Parity = EVENPARITY;
    portState.StopBits = TWOSTOPBITS;
    portState.XonChar = 0x11;
    portState.XoffChar = 0x13;
    portState.ErrorChar = '?';
    portState.EofChar = 0x1A;
    portState.EvtChar = 0x7E;
    portState.wReserved = 0x1234;
    portState.wReserved1 = 0x5678;
    portTimeouts = {1, 2, 3, 4, 5};
}

void FakeCommApi::log(const std::string& call) {
    calls_.push_back(call);
}

bool FakeCommApi::failing(const std::string& name) {
    auto it = failing_.find(name);
    if (it == failing_.end()) return false;
    if (it->second) lastError = it->second;
    return true;
}

std::vector<std::string> FakeCommApi::calls() const {
    std::lock_guard<std::mutex> g(lock_);
    return calls_;
}

void FakeCommApi::clearCalls() {
    std::lock_guard<std::mutex> g(lock_);
    calls_.clear();
}

std::vector<std::string> FakeCommApi::callsOf(const std::string& name) const {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<std::string> out;
    for (const auto& c : calls_)
        if (c.compare(0, name.size() + 1, name + "(") == 0) out.push_back(c);
    return out;
}

void FakeCommApi::fail(const std::string& name, DWORD error) {
    std::lock_guard<std::mutex> g(lock_);
    failing_[name] = error;
}

std::set<HANDLE> FakeCommApi::liveHandles() const {
    std::lock_guard<std::mutex> g(lock_);
    std::set<HANDLE> out;
    for (const auto& [h, name] : handles_) out.insert(h);
    return out;
}

std::string FakeCommApi::nameOf(HANDLE h) const {
    auto it = handles_.find(h);
    if (it != handles_.end()) return it->second;
    if (h == INVALID_HANDLE_VALUE) return "invalid";
    return h ? "unknown" : "null";
}

HANDLE FakeCommApi::CreateFileA(const char* name, DWORD access, DWORD share, void* security,
                                DWORD creation, DWORD flags, HANDLE templateFile) {
    std::lock_guard<std::mutex> g(lock_);
    log("CreateFileA(" + std::string(name) + "," + hex(access) + "," + std::to_string(share) + "," +
        (security ? "sec" : "null") + "," + std::to_string(creation) + "," + hex(flags) + "," +
        (templateFile ? "tmpl" : "null") + ")");
    if (failing("CreateFileA")) {
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x1000 + nextId_++));
    handles_[h] = "port";
    return h;
}

BOOL FakeCommApi::SetupComm(HANDLE h, DWORD in, DWORD out) {
    std::lock_guard<std::mutex> g(lock_);
    log("SetupComm(" + nameOf(h) + "," + std::to_string(in) + "," + std::to_string(out) + ")");
    return failing("SetupComm") ? 0 : 1;
}

BOOL FakeCommApi::GetCommState(HANDLE h, DCB* dcb) {
    std::lock_guard<std::mutex> g(lock_);
    log("GetCommState(" + nameOf(h) + ")");
    if (failing("GetCommState")) return 0;
    *dcb = portState;
    return 1;
}

BOOL FakeCommApi::SetCommState(HANDLE h, DCB* dcb) {
    std::lock_guard<std::mutex> g(lock_);
    log("SetCommState(" + nameOf(h) + ")");
    lastSetState = *dcb;
    return failing("SetCommState") ? 0 : 1;
}

BOOL FakeCommApi::GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    std::lock_guard<std::mutex> g(lock_);
    log("GetCommTimeouts(" + nameOf(h) + ")");
    if (failing("GetCommTimeouts")) return 0;
    *t = portTimeouts;
    return 1;
}

BOOL FakeCommApi::SetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    std::lock_guard<std::mutex> g(lock_);
    log("SetCommTimeouts(" + nameOf(h) + ")");
    lastSetTimeouts = *t;
    return failing("SetCommTimeouts") ? 0 : 1;
}

BOOL FakeCommApi::SetCommMask(HANDLE h, DWORD mask) {
    std::lock_guard<std::mutex> g(lock_);
    log("SetCommMask(" + nameOf(h) + "," + hex(mask) + ")");
    mask_ = mask;
    ++maskGeneration_;
    changed_.notify_all();
    return 1;
}

void FakeCommApi::raise(DWORD mask) {
    std::lock_guard<std::mutex> g(lock_);
    pendingEvents_.push_back(mask);
    changed_.notify_all();
}

BOOL FakeCommApi::WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED*) {
    std::unique_lock<std::mutex> g(lock_);
    if (failing("WaitCommEvent")) {
        lastError = ERROR_GEN_FAILURE;
        return 0;
    }
    if (mask_ == 0) {  // nothing selected: the wait ends at once
        *mask = 0;
        return 1;
    }
    unsigned generation = maskGeneration_;
    changed_.wait_for(g, std::chrono::seconds(10),
                      [&] { return maskGeneration_ != generation || !pendingEvents_.empty(); });
    (void)h;
    if (maskGeneration_ != generation || pendingEvents_.empty()) {
        *mask = 0;
        return 1;
    }
    *mask = pendingEvents_.front() & mask_;
    pendingEvents_.pop_front();
    return 1;
}

BOOL FakeCommApi::PurgeComm(HANDLE h, DWORD flags) {
    std::lock_guard<std::mutex> g(lock_);
    log("PurgeComm(" + nameOf(h) + "," + std::to_string(flags) + ")");
    // Aborting ends every running transfer of that direction.
    if (flags & (PURGE_TXABORT | PURGE_RXABORT)) {
        for (auto& [ov, t] : running_) {
            t.resultOk = false;
            t.moved = 0;
            ov->Internal = ERROR_OPERATION_ABORTED;
        }
        running_.clear();
    }
    return failing("PurgeComm") ? 0 : 1;
}

BOOL FakeCommApi::ClearCommError(HANDLE h, DWORD* errors, COMSTAT* s) {
    std::lock_guard<std::mutex> g(lock_);
    log("ClearCommError(" + nameOf(h) + ")");
    if (errors) *errors = 0;
    if (failing("ClearCommError")) return 0;
    if (s) *s = stat;
    return 1;
}

BOOL FakeCommApi::transfer(std::deque<Transfer>& queue, void* readInto, const void* writeFrom,
                           DWORD count, DWORD* done, OVERLAPPED* ov) {
    Transfer t;
    if (!queue.empty()) {
        t = queue.front();
        queue.pop_front();
    } else {
        t.moved = count;  // by default everything moves at once
        if (readInto) t.data.assign(count, '\0');
    }
    if (readInto) std::memcpy(readInto, t.data.data(), std::min<std::size_t>(t.data.size(), count));
    if (writeFrom) {
        auto* p = static_cast<const std::uint8_t*>(writeFrom);
        written.insert(written.end(), p, p + std::min(t.moved, count));
    }
    if (t.immediate) {
        if (done) *done = t.moved;
        return 1;
    }
    lastError = t.error;
    running_[ov] = t;
    return 0;
}

BOOL FakeCommApi::ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* done, OVERLAPPED* ov) {
    std::lock_guard<std::mutex> g(lock_);
    log("ReadFile(" + nameOf(h) + "," + std::to_string(count) + "," + nameOf(ov->hEvent) + ")");
    return transfer(reads, buffer, nullptr, count, done, ov);
}

BOOL FakeCommApi::WriteFile(HANDLE h, const void* buffer, DWORD count, DWORD* done,
                            OVERLAPPED* ov) {
    std::lock_guard<std::mutex> g(lock_);
    log("WriteFile(" + nameOf(h) + "," + std::to_string(count) + "," + nameOf(ov->hEvent) + ")");
    return transfer(writes, nullptr, buffer, count, done, ov);
}

BOOL FakeCommApi::GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait) {
    std::lock_guard<std::mutex> g(lock_);
    log("GetOverlappedResult(" + nameOf(h) + "," + nameOf(ov->hEvent) + "," + std::to_string(wait) +
        ")");
    auto it = running_.find(ov);
    if (it == running_.end()) {
        // Aborted, or never started here.
        lastError = ov->Internal == ERROR_OPERATION_ABORTED ? ERROR_OPERATION_ABORTED
                                                            : ERROR_INVALID_PARAMETER;
        return 0;
    }
    Transfer t = it->second;
    if (t.wait != WAIT_OBJECT_0) {  // still running
        lastError = ERROR_IO_INCOMPLETE;
        return 0;
    }
    running_.erase(it);
    if (done) *done = t.moved;
    if (!t.resultOk && t.resultError) lastError = t.resultError;
    return t.resultOk ? 1 : 0;
}

DWORD FakeCommApi::GetLastError() {
    return lastError;
}

HANDLE FakeCommApi::CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                                 const char* name) {
    std::lock_guard<std::mutex> g(lock_);
    log("CreateEventA(" + std::string(security ? "sec" : "null") + "," +
        std::to_string(manualReset) + "," + std::to_string(initialState) + "," +
        (name ? name : "null") + ")");
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x1000 + nextId_));
    handles_[h] = "event" + std::to_string(nextId_++);
    return h;
}

BOOL FakeCommApi::SetEvent(HANDLE event) {
    std::lock_guard<std::mutex> g(lock_);
    log("SetEvent(" + nameOf(event) + ")");
    return 1;
}

BOOL FakeCommApi::ResetEvent(HANDLE event) {
    std::lock_guard<std::mutex> g(lock_);
    log("ResetEvent(" + nameOf(event) + ")");
    return 1;
}

DWORD FakeCommApi::WaitForSingleObject(HANDLE h, DWORD milliseconds) {
    std::lock_guard<std::mutex> g(lock_);
    log("WaitForSingleObject(" + nameOf(h) + "," + std::to_string(milliseconds) + ")");
    // The transfer bound to this event decides; an aborted one has signalled it.
    for (const auto& [ov, t] : running_)
        if (ov->hEvent == h) return t.wait;
    return WAIT_OBJECT_0;
}

BOOL FakeCommApi::CloseHandle(HANDLE h) {
    std::lock_guard<std::mutex> g(lock_);
    log("CloseHandle(" + nameOf(h) + ")");
    if (failing("CloseHandle")) return 0;
    return handles_.erase(h) ? 1 : 0;
}
