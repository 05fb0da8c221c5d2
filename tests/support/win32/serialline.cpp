#include "tests/support/serialline.h"

#include "tests/support/win32/portturn.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testenv {

namespace {

using Clock = std::chrono::steady_clock;

struct Pair {
    std::string nearName, farName;
};

// The pairs come from KIVO_TEST_COM_PAIRS ("COM1=COM11,COM2=COM12"), which the test run
// sets up (a pseudo-terminal pair behind each). Either end of a pair may be the near one.
Pair pairFor(const std::string& name) {
    const char* pairs = std::getenv("KIVO_TEST_COM_PAIRS");
    if (!pairs || !*pairs)
        throw std::runtime_error("KIVO_TEST_COM_PAIRS is not set (run through make test-windows)");
    std::stringstream list(pairs);
    for (std::string item; std::getline(list, item, ',');) {
        const auto eq = item.find('=');
        if (eq == std::string::npos) continue;
        Pair pair{item.substr(0, eq), item.substr(eq + 1)};
        if (name.empty() || name == pair.nearName) return pair;
        if (name == pair.farName) return {pair.farName, pair.nearName};
    }
    throw std::runtime_error("no port pair of the test run has " + name);
}

// One end of a pair opened with the plain (not overlapped) calls, in a known state: the
// pairs live for the whole run, so what one test set or left on them must not reach the next.
// INVALID_HANDLE_VALUE when the end does not open (someone holds it).
HANDLE openEnd(const std::string& name) {
    // Above COM9 a port is known only by its device path.
    const std::string device = "\\\\.\\" + name;
    HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    // Every field set (none taken over from the last user): no flow control of any kind.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    SetCommState(h, &dcb);
    // Reads return at once with what is there; writes give up after a while.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.WriteTotalTimeoutConstant = 5000;
    SetCommTimeouts(h, &t);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return h;
}

std::size_t waiting(HANDLE h) {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(h, &errors, &stat)) return 0;
    return stat.cbInQue;
}

std::string take(HANDLE h, std::size_t n) {
    std::string buf(n, '\0');
    DWORD got = 0;
    if (!ReadFile(h, buf.data(), static_cast<DWORD>(n), &got, nullptr)) got = 0;
    buf.resize(got);
    return buf;
}

// Empties the pair both ways: bytes an earlier test left on the way (a test that ended
// abruptly, a writer faster than its reader) are read off at both ends until the line
// has been quiet for a while. A near end someone holds is the holder's to empty.
void sweep(HANDLE farEnd, const std::string& nearName) {
    HANDLE nearEnd = openEnd(nearName);
    constexpr auto quiet = std::chrono::milliseconds(30);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    auto last = Clock::now();
    while (Clock::now() - last < quiet && Clock::now() < deadline) {
        bool any = false;
        for (HANDLE h : {farEnd, nearEnd})
            if (const std::size_t n = h != INVALID_HANDLE_VALUE ? waiting(h) : 0)
                any = !take(h, n).empty() || any;
        if (any)
            last = Clock::now();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (nearEnd != INVALID_HANDLE_VALUE) CloseHandle(nearEnd);
}

}  // namespace

// The far end, in the run's turn at the ports, on a pair swept clean.
struct SerialLine::FarEnd {
    explicit FarEnd(const std::string& wanted) : pair(pairFor(wanted)), h(openEnd(pair.farName)) {
        if (h == INVALID_HANDLE_VALUE)
            throw std::runtime_error("cannot open the far end " + pair.farName);
        sweep(h, pair.nearName);
    }
    ~FarEnd() { CloseHandle(h); }

    std::size_t waiting() { return testenv::waiting(h); }
    std::string take(std::size_t n) { return testenv::take(h, n); }

    PortTurn turn;  // first taken, last let go
    Pair pair;
    HANDLE h;
};

SerialLine::SerialLine(const std::string& name) : far_(std::make_unique<FarEnd>(name)) {}

SerialLine::~SerialLine() = default;

const std::string& SerialLine::name() const {
    return far_->pair.nearName;
}

void SerialLine::write(const std::string& bytes) {
    DWORD written = 0;
    if (!WriteFile(far_->h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throw std::runtime_error("far end write failed");
}

std::string SerialLine::read(std::size_t expected, std::chrono::milliseconds timeout) {
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < expected && Clock::now() < deadline) {
        if (std::size_t n = far_->waiting())
            out += far_->take(std::min(n, expected - out.size()));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return out;
}

std::string SerialLine::drain(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
    std::string out;
    const auto deadline = Clock::now() + timeout;
    auto lastByte = Clock::now();
    while (Clock::now() < deadline && Clock::now() - lastByte < quiet) {
        if (std::size_t n = far_->waiting()) {
            out += far_->take(n);
            lastByte = Clock::now();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return out;
}

std::string SerialLine::missingPortMessage(const std::string& com) const {
    return "回線オープンエラー\n" + com;  // the Windows calls give no reason of their own
}

}  // namespace testenv
