// Trs232c: one RS-232C port with its line settings, timed transfers, queue counts and
// line event handlers. It never throws: operations answer true/false (-1 for the counts
// of a closed port); with `debug` set, a failing open shows why in a message box.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "serial/commapi.h"
#include "serial/comthd.h"
#include "serial/notifyevent.h"
#include "serial/notifywindow.h"

class Trs232c;

// One element per bit 0..14 of the device-control flag word.
enum rsflow {
    dfBinary,
    dfParity,
    dfOutxCtsFlow,
    dfOutxDsrFlow,
    dfDtrControl_b0,
    dfDtrControl_b1,
    dfDsrSensitivity,
    dfTXContinueOnXoff,
    dfOutX,
    dfInX,
    dfErrorChar,
    dfNull,
    dfRtsControl_b0,
    dfRtsControl_b1,
    dfAbortOnError,
};

class rsflowset {
  public:
    constexpr rsflowset() = default;
    constexpr rsflowset(std::initializer_list<rsflow> elements) {
        for (rsflow e : elements) insert(e);
    }
    static constexpr rsflowset fromBits(std::uint32_t bits) {
        rsflowset s;
        s.bits_ = static_cast<std::uint16_t>(bits & 0x7FFF);
        return s;
    }
    constexpr std::uint32_t bits() const { return bits_; }
    constexpr bool contains(rsflow e) const { return (bits_ >> e) & 1u; }
    constexpr void insert(rsflow e) { bits_ = static_cast<std::uint16_t>(bits_ | (1u << e)); }
    constexpr void erase(rsflow e) { bits_ = static_cast<std::uint16_t>(bits_ & ~(1u << e)); }
    constexpr bool empty() const { return bits_ == 0; }
    friend constexpr bool operator==(rsflowset, rsflowset) = default;

  private:
    std::uint16_t bits_ = 0;
};

using TNotifyEvent = NotifyEventOf<Trs232c>;

// Shows the component's messages (open failures with `debug` set). The default
// writes to stderr; the application installs its message box, tests capture the text.
using MessageBoxFunction = std::function<void(const std::string& text)>;
void setRs232cMessageBox(MessageBoxFunction show);

// The application's central error handler: receives what escapes an event handler run
// by the notification window, with the component as sender; the component goes on. The
// default writes the error to stderr.
using Rs232cErrorHandler = std::function<void(Trs232c& sender, std::exception_ptr error)>;
void setRs232cErrorHandler(Rs232cErrorHandler handler);

class Trs232c {
  public:
    Trs232c();  // on the platform's communications backend
    explicit Trs232c(comm::CommApi& api);
    ~Trs232c();
    Trs232c(const Trs232c&) = delete;
    Trs232c& operator=(const Trs232c&) = delete;

    // Line settings; they take effect at the next open.
    int charbit = 8;
    std::string stopbit = "1";
    int bps = 9600;
    std::string portname = "COM1";
    int rxbuffsize = 1024;
    int txbuffsize = 1024;
    int readinterval = 0;
    std::atomic<int> txtimeout{30000};  // also each write's wait bound
    std::atomic<int> rxtimeout{30000};  // also each read's wait bound
    std::string paritymode = "無し";
    int flowflag = 1;
    std::atomic<int> packetsize{0};  // read by the line event watcher at each event
    bool debug = false;
    int XonLim = 0;
    int XoffLim = 0;
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    rsflowset flow() const { return rsflowset::fromBits(static_cast<std::uint32_t>(flowflag)); }
    void setflow(rsflowset s) { flowflag = static_cast<int>(s.bits()); }

    // Line event handlers: their assignment at open decides which events are watched.
    TNotifyEvent OnBREAK;
    TNotifyEvent OnCTS;
    TNotifyEvent OnDSR;
    TNotifyEvent OnERR;
    TNotifyEvent OnRING;
    TNotifyEvent OnRLSD;
    TNotifyEvent OnRXCHAR;
    TNotifyEvent OnRXFLAG;
    TNotifyEvent OnTXEMPTY;
    TNotifyEvent OnCreate;
    TNotifyEvent OnOpen;
    TNotifyEvent OnClose;
    TNotifyEvent OnPACKET;

    bool open();
    bool close();

    bool rxdata(std::uint8_t* buffer, int count);
    bool txdata(std::vector<std::uint8_t> bytes, int count);
    bool rxbyte(char& value);
    bool txbyte(char value);
    int rxcount();
    int txcount();
    // Withdraws output not yet sent: a write still pending is aborted and the driver's
    // output queue emptied. False when the component is not open. `unsent`, when asked
    // for, receives how many bytes of writes reported done the purge kept back, less those
    // the last write, reported failed, moved all the same: what the purge takes from the
    // bytes the caller counts as sent (negative when the failed write got further).
    bool txpurge(int* unsent = nullptr);

    bool isOpen() const { return opened; }
    // True once a transfer or a queue count of this opening has met the device gone
    // (unplugged, switched off, the line hung up): every transfer fails from then on, as it
    // does anyway, and only a new open can bring the line back. False again after open.
    bool lineLost() const { return lost; }
    comm::CommApi& api() { return api_; }
    comm::HANDLE handle() const { return hcomm; }

    // The notification window: created with the component on the thread that builds it,
    // which is the thread its handlers run on.
    NotifyWindow& notifyWindow() { return *notifywnd; }
    // Runs the notifications posted so far (waiting up to `wait` for one) when the
    // platform's window is in use (the queue, or the hidden window on Windows); call it
    // on the owner thread.
    std::size_t pump(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
        return notifywnd->pump(wait);
    }
    // The window procedure: runs the handler of a notification, passes other messages
    // to the window's default processing; nothing thrown leaves it.
    void wndproc(TMessage& message);

  private:
    // One transfer direction: its event, its OVERLAPPED record and the buffer a
    // transfer left pending after a given-up wait may still use.
    struct Direction {
        comm::HANDLE event = nullptr;
        comm::OVERLAPPED ov{};
        comm::DWORD immediate = 0;  // count reported by a transfer that completed at once
        comm::DWORD completed = 0;  // count reported by GetOverlappedResult
        comm::DWORD late = 0;       // bytes a transfer reported failed moved all the same
        std::vector<std::uint8_t> buffer;
        bool pending = false;  // a wait gave up on the last transfer
    };

    void showError(const char* text);
    bool releaseHandles();
    bool settle(Direction& d, comm::DWORD abortFlag, comm::DWORD* moved = nullptr);
    bool transfer(Direction& d, bool write, int count, int timeout, comm::DWORD& moved);
    int queueCount(bool input);
    bool noteFailure();

    comm::CommApi& api_;
    bool opened = false;
    bool lost = false;
    comm::HANDLE hcomm = nullptr;
    comm::DCB dcb{};
    comm::COMMTIMEOUTS timeouts{};
    comm::DWORD evtmask = 0;
    bool usethread = false;
    std::unique_ptr<tcommthread> commthread;
    Direction rx, tx;
    std::unique_ptr<NotifyWindow> notifywnd;
    char bytebuf[2] = {0, 0};
};
