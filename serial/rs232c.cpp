#include "serial/rs232c.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

using namespace comm;

namespace {

std::mutex messageBoxLock;
MessageBoxFunction& messageBoxSlot() {
    static MessageBoxFunction show = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    };
    return show;
}

struct NamedValue {
    const char* name;
    BYTE value;
};

// Stop bits and parity by name, compared byte for byte.
constexpr NamedValue stopBitNames[] = {
    {"1", ONESTOPBIT},
    {"1.5", ONE5STOPBITS},
    {"2", TWOSTOPBITS},
};

constexpr NamedValue parityNames[] = {
    {"無し", NOPARITY},        {"なし", NOPARITY},

    {"奇数", ODDPARITY},       {"きすう", ODDPARITY},       {"ODD", ODDPARITY},
    {"odd", ODDPARITY},        {"ＯＤＤ", ODDPARITY},       {"ｏｄｄ", ODDPARITY},

    {"偶数", EVENPARITY},      {"ぐうすう", EVENPARITY},    {"EVEN", EVENPARITY},
    {"even", EVENPARITY},      {"ＥＶＥＮ", EVENPARITY},    {"ｅｖｅｎ", EVENPARITY},

    {"マーク", MARKPARITY},    {"まーく", MARKPARITY},      {"MARK", MARKPARITY},
    {"mark", MARKPARITY},      {"ＭＡＲＫ", MARKPARITY},    {"ｍａｒｋ", MARKPARITY},

    {"スペース", SPACEPARITY}, {"すぺーす", SPACEPARITY},   {"SPACE", SPACEPARITY},
    {"space", SPACEPARITY},    {"ＳＰＡＣＥ", SPACEPARITY}, {"ｓｐａｃｅ", SPACEPARITY},
};

template <std::size_t N>
void lookUp(const NamedValue (&table)[N], const std::string& name, BYTE& field) {
    for (const auto& entry : table) {
        if (name == entry.name) {
            field = entry.value;
            return;
        }
    }
    // An unknown name keeps what the port had.
}

}  // namespace

namespace {

std::mutex errorHandlerLock;
Rs232cErrorHandler& errorHandlerSlot() {
    static Rs232cErrorHandler handler = [](Trs232c&, std::exception_ptr error) {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "unknown error in an event handler\n");
        }
    };
    return handler;
}

}  // namespace

void setRs232cErrorHandler(Rs232cErrorHandler handler) {
    std::lock_guard<std::mutex> lock(errorHandlerLock);
    errorHandlerSlot() = std::move(handler);
}

void setRs232cMessageBox(MessageBoxFunction show) {
    std::lock_guard<std::mutex> lock(messageBoxLock);
    messageBoxSlot() = std::move(show);
}

Trs232c::Trs232c() : Trs232c(platformCommApi()) {}

Trs232c::Trs232c(CommApi& api)
    : api_(api), notifywnd(makeNotifyWindow([this](TMessage& m) { wndproc(m); })) {
    OnCreate(*this);  // nobody can have assigned it yet; kept for the component's contract
}

Trs232c::~Trs232c() {
    try {
        close();
    } catch (...) {
        // A raising OnClose must not end the program from a destructor.
    }
    releaseHandles();   // whatever a raising OnClose left held
    notifywnd.reset();  // notifications still queued are dropped
}

void Trs232c::wndproc(TMessage& message) {
    // The handlers of WM_RSBREAK .. WM_RSTXEMPTY, in the order of their numbers.
    static constexpr TNotifyEvent Trs232c::*handlers[] = {
        &Trs232c::OnBREAK,  &Trs232c::OnCTS,     &Trs232c::OnDSR,    &Trs232c::OnERR,
        &Trs232c::OnRING,   &Trs232c::OnRLSD,    &Trs232c::OnPACKET, &Trs232c::OnRXCHAR,
        &Trs232c::OnRXFLAG, &Trs232c::OnTXEMPTY,
    };
    try {
        if (message.Msg >= WM_RSBREAK && message.Msg <= WM_RSTXEMPTY)
            (this->*handlers[message.Msg - WM_RSBREAK])(*this);  // removed since: nothing
        else
            message.Result = notifywnd->defaultProcedure(message);
    } catch (...) {
        Rs232cErrorHandler report;
        {
            std::lock_guard<std::mutex> lock(errorHandlerLock);
            report = errorHandlerSlot();
        }
        if (report) report(*this, std::current_exception());
    }
}

bool Trs232c::releaseHandles() {
    for (Direction* d : {&rx, &tx}) {
        if (d->event) api_.CloseHandle(d->event);
        d->event = nullptr;
        d->pending = false;  // a purge or the close itself has ended it
    }
    if (hcomm == nullptr || hcomm == INVALID_HANDLE_VALUE) return false;
    BOOL closed = api_.CloseHandle(hcomm);
    hcomm = INVALID_HANDLE_VALUE;
    return closed != 0;
}

void Trs232c::showError(const char* text) {
    if (!debug) return;
    MessageBoxFunction show;
    {
        std::lock_guard<std::mutex> lock(messageBoxLock);
        show = messageBoxSlot();
    }
    if (show) show(text);
}

bool Trs232c::open() {
    if (opened) return false;
    releaseHandles();  // left held only by an OnClose that raised

    hcomm = api_.CreateFileA(portname.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hcomm == INVALID_HANDLE_VALUE) {
        showError("回線オープンエラー");
        return false;
    }

    // A refused setting purges the port and lets it go again, so that the port is not
    // held by a component that stays closed.
    auto fail = [this](const char* text) {
        showError(text);
        api_.PurgeComm(hcomm, PURGE_TXABORT | PURGE_RXABORT);
        releaseHandles();
        return false;
    };

    if (!api_.SetupComm(hcomm, static_cast<DWORD>(rxbuffsize), static_cast<DWORD>(txbuffsize)))
        return fail("バッファサイズ設定エラー");

    api_.GetCommState(hcomm, &dcb);
    dcb.BaudRate = static_cast<DWORD>(bps);
    lookUp(stopBitNames, stopbit, dcb.StopBits);
    lookUp(parityNames, paritymode, dcb.Parity);
    dcb.ByteSize = static_cast<BYTE>(charbit & 0xFF);
    dcb.Flags = static_cast<DWORD>(flowflag);
    if (XonLim != 0) dcb.XonLim = static_cast<WORD>(XonLim & 0xFFFF);
    if (XoffLim != 0) dcb.XoffLim = static_cast<WORD>(XoffLim & 0xFFFF);
    if (XonChar != 0) dcb.XonChar = XonChar;
    if (XoffChar != 0) dcb.XoffChar = XoffChar;
    if (ErrorChar != 0) dcb.ErrorChar = ErrorChar;
    if (EofChar != 0) dcb.EofChar = EofChar;
    if (EvtChar != 0) dcb.EvtChar = EvtChar;
    if (!api_.SetCommState(hcomm, &dcb)) return fail("通信条件設定エラー");

    api_.GetCommTimeouts(hcomm, &timeouts);
    timeouts.ReadIntervalTimeout = static_cast<DWORD>(readinterval);
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(rxtimeout.load());
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(txtimeout.load());
    if (!api_.SetCommTimeouts(hcomm, &timeouts)) return fail("タイムアウト時間設定エラー");

    evtmask = 0;
    if (OnBREAK) evtmask |= EV_BREAK;
    if (OnCTS) evtmask |= EV_CTS;
    if (OnDSR) evtmask |= EV_DSR;
    if (OnERR) evtmask |= EV_ERR;
    if (OnRING) evtmask |= EV_RING;
    if (OnRLSD) evtmask |= EV_RLSD;
    if (OnRXCHAR) evtmask |= EV_RXCHAR;
    if (OnPACKET) evtmask |= EV_RXCHAR;
    if (OnRXFLAG) evtmask |= EV_RXFLAG;
    if (OnTXEMPTY) evtmask |= EV_TXEMPTY;
    api_.SetCommMask(hcomm, evtmask);

    api_.PurgeComm(hcomm, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

    usethread = evtmask != 0;
    if (usethread) {
        commthread = std::make_unique<tcommthread>(true);
        commthread->owner = this;
        commthread->hcomm = hcomm;
    }

    for (Direction* d : {&rx, &tx}) {
        d->event = api_.CreateEventA(nullptr, 1, 0, nullptr);
        api_.ResetEvent(d->event);
        d->ov = OVERLAPPED{};
        d->ov.hEvent = d->event;
        d->pending = false;
    }

    if (usethread) commthread->Start();  // the transfer events exist now

    opened = true;
    lost = false;
    OnOpen(*this);
    return true;
}

bool Trs232c::close() {
    if (!opened) return false;
    api_.PurgeComm(hcomm, PURGE_TXABORT | PURGE_RXABORT);
    if (usethread && commthread) {
        // Termination is requested before the mask is cleared, so the watcher, woken by
        // the cleared mask, does not wait again.
        commthread->Stop([this] { api_.SetCommMask(hcomm, 0); });
        commthread.reset();
    }
    usethread = false;
    opened = false;
    OnClose(*this);
    return releaseHandles();
}

// A transfer whose wait gave up may still be running on this direction's record and
// buffer. Before the record is used again, end it: take its result if it has finished,
// otherwise abort it and wait for the abort to land. `moved`, when asked for, receives
// what the transfer moved before it ended.
bool Trs232c::settle(Direction& d, DWORD abortFlag, DWORD* moved) {
    if (!d.pending) return true;
    DWORD n = 0;
    if (!api_.GetOverlappedResult(hcomm, &d.ov, &n, 0) &&
        api_.GetLastError() == ERROR_IO_INCOMPLETE) {
        api_.PurgeComm(hcomm, abortFlag);
        if (api_.WaitForSingleObject(d.event, 1000) != WAIT_OBJECT_0) return false;
        if (moved) {
            n = 0;
            api_.GetOverlappedResult(hcomm, &d.ov, &n, 0);  // aborted: what it had by then
        }
    }
    d.pending = false;
    if (moved) *moved = n;
    return true;
}

// Called right after a call failed: remembers whether its error says the device is gone.
// Always false, for the caller to return.
bool Trs232c::noteFailure() {
    if (meansDeviceGone(api_.GetLastError())) lost = true;
    return false;
}

bool Trs232c::transfer(Direction& d, bool write, int count, int timeout, DWORD& moved) {
    api_.ResetEvent(d.event);
    const DWORD n = static_cast<DWORD>(count);
    BOOL done = write ? api_.WriteFile(hcomm, d.buffer.data(), n, &d.immediate, &d.ov)
                      : api_.ReadFile(hcomm, d.buffer.data(), n, &d.immediate, &d.ov);
    if (done) {
        moved = d.immediate;  // completed at once: true whatever the count
        return true;
    }
    if (api_.GetLastError() != ERROR_IO_PENDING) return noteFailure();
    if (api_.WaitForSingleObject(d.event, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
        d.pending = true;
        return false;
    }
    if (!api_.GetOverlappedResult(hcomm, &d.ov, &d.completed, 0)) return noteFailure();
    moved = d.completed;
    return d.completed == n;
}

bool Trs232c::rxdata(std::uint8_t* buffer, int count) {
    if (!opened) return false;
    if (count < 0 || (count > 0 && !buffer)) return false;  // would read into nowhere
    // Read into the component's own buffer: a read the wait gives up on may complete
    // later, and must not write into memory the caller has since reused.
    if (!settle(rx, PURGE_RXABORT)) return false;
    rx.buffer.assign(count > 0 ? static_cast<std::size_t>(count) : 1, 0);
    DWORD moved = 0;
    const bool whole = transfer(rx, false, count, rxtimeout.load(), moved);
    // A read the wait gave up on has taken from the driver whatever arrived meanwhile:
    // end it now, so that those bytes reach the caller instead of being dropped with it.
    if (!whole && rx.pending && !settle(rx, PURGE_RXABORT, &moved)) moved = 0;
    // Bytes that arrived have left the driver: they are the caller's even when fewer
    // came than asked for (the result still says the read fell short).
    if (buffer && count > 0)
        std::copy_n(rx.buffer.begin(), std::min<std::size_t>(moved, rx.buffer.size()), buffer);
    return whole;
}

bool Trs232c::txdata(std::vector<std::uint8_t> bytes, int count) {
    if (!opened) return false;
    // More than the array holds would send whatever lies beyond it.
    if (count < 0 || static_cast<std::size_t>(count) > bytes.size()) return false;
    if (!settle(tx, PURGE_TXABORT)) return false;
    tx.buffer = std::move(bytes);  // kept until the write has ended
    if (tx.buffer.empty()) tx.buffer.push_back(0);
    DWORD moved = 0;
    const bool whole = transfer(tx, true, count, txtimeout.load(), moved);
    tx.late = whole ? 0 : moved;
    return whole;
}

bool Trs232c::rxbyte(char& value) {
    std::uint8_t b = 0;
    if (!rxdata(&b, 1)) return false;
    bytebuf[0] = static_cast<char>(b);
    value = bytebuf[0];
    return true;
}

bool Trs232c::txbyte(char value) {
    bytebuf[0] = value;
    // txdata's way without its copy: the byte goes into the write buffer, whose room
    // stays from one byte to the next, so sending a command allocates nothing.
    if (!opened) return false;
    if (!settle(tx, PURGE_TXABORT)) return false;
    tx.buffer.resize(1);
    tx.buffer[0] = static_cast<std::uint8_t>(bytebuf[0]);
    DWORD moved = 0;
    const bool whole = transfer(tx, true, 1, txtimeout.load(), moved);
    tx.late = whole ? 0 : moved;
    return whole;
}

int Trs232c::queueCount(bool input) {
    if (!opened) return -1;
    DWORD errors = 0;
    COMSTAT stat{};
    // The count stays what the query gave, failed or not; a failure tells only of the loss.
    if (!api_.ClearCommError(hcomm, &errors, &stat)) noteFailure();
    return static_cast<int>(input ? stat.cbInQue : stat.cbOutQue);
}

int Trs232c::rxcount() {
    return queueCount(true);
}
int Trs232c::txcount() {
    return queueCount(false);
}

bool Trs232c::txpurge(int* unsent) {
    if (!opened) return false;
    // The write given up ends first: what it moved after all is then known, and the
    // queue holds only what the driver took before it.
    DWORD moved = 0;
    const bool ended = settle(tx, PURGE_TXABORT, &moved);
    const int queued = std::max(queueCount(false), 0);
    api_.PurgeComm(hcomm, PURGE_TXABORT | PURGE_TXCLEAR);
    if (unsent) *unsent = queued - static_cast<int>(tx.late + moved);
    tx.late = 0;
    return ended;
}
