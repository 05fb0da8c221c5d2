#include "tests/windows/winport.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace winport {

using Clock = std::chrono::steady_clock;

bool underWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

PortPair portPair(int index) {
    const char* pairs = std::getenv("KIVO_TEST_COM_PAIRS");
    if (!pairs || !*pairs)
        throw std::runtime_error("KIVO_TEST_COM_PAIRS is not set (run through make test-windows)");
    std::vector<PortPair> found;
    std::stringstream list(pairs);
    for (std::string item; std::getline(list, item, ',');) {
        const auto eq = item.find('=');
        if (eq != std::string::npos) found.push_back({item.substr(0, eq), item.substr(eq + 1)});
    }
    if (index < 0 || index >= static_cast<int>(found.size()))
        throw std::runtime_error("KIVO_TEST_COM_PAIRS has no pair " + std::to_string(index));
    return found[static_cast<std::size_t>(index)];
}

FarEnd::FarEnd(const std::string& name) {
    // Above COM9 a port is known only by its device path.
    const std::string device = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
    HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open the far end " + name);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    SetCommState(h, &dcb);
    // Reads return at once with what is there; writes give up after a while.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.WriteTotalTimeoutConstant = 5000;
    SetCommTimeouts(h, &t);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    h_ = h;
}

FarEnd::~FarEnd() {
    CloseHandle(static_cast<HANDLE>(h_));
}

void FarEnd::write(const std::string& bytes) {
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(h_), bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, nullptr) ||
        written != bytes.size())
        throw std::runtime_error("far end write failed");
}

std::size_t FarEnd::waiting() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(static_cast<HANDLE>(h_), &errors, &stat)) return 0;
    return stat.cbInQue;
}

std::string FarEnd::take(std::size_t n) {
    std::string buf(n, '\0');
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(h_), buf.data(), static_cast<DWORD>(n), &got, nullptr))
        got = 0;
    buf.resize(got);
    return buf;
}

std::string FarEnd::read(std::size_t expected, std::chrono::milliseconds timeout) {
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < expected && Clock::now() < deadline) {
        if (std::size_t n = waiting())
            out += take(std::min(n, expected - out.size()));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return out;
}

std::string FarEnd::drain(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
    std::string out;
    const auto deadline = Clock::now() + timeout;
    auto lastByte = Clock::now();
    while (Clock::now() < deadline && Clock::now() - lastByte < quiet) {
        if (std::size_t n = waiting()) {
            out += take(n);
            lastByte = Clock::now();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return out;
}

UnpluggableFarEnd::UnpluggableFarEnd() : listener_(INVALID_SOCKET), connection_(INVALID_SOCKET) {
    const char* setting = std::getenv("KIVO_TEST_UNPLUGGABLE");
    const std::string text = setting ? setting : "";
    const auto eq = text.find('='), colon = text.rfind(':');
    if (eq == std::string::npos || colon == std::string::npos || colon < eq)
        throw std::runtime_error(
            "KIVO_TEST_UNPLUGGABLE is not set (run through make test-windows)");
    port_ = text.substr(0, eq);
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup");
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<u_short>(std::stoi(text.substr(colon + 1))));
    inet_pton(AF_INET, text.substr(eq + 1, colon - eq - 1).c_str(), &at.sin_addr);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        listen(s, 1) != 0)
        throw std::runtime_error("cannot listen for the unpluggable port's far end");
    listener_ = s;
}

UnpluggableFarEnd::~UnpluggableFarEnd() {
    unplug();
    closesocket(static_cast<SOCKET>(listener_));
    WSACleanup();
}

bool UnpluggableFarEnd::plugIn(std::chrono::milliseconds limit) {
    unplug();
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(static_cast<SOCKET>(listener_), &ready);
    timeval wait{static_cast<long>(limit.count() / 1000),
                 static_cast<long>(limit.count() % 1000) * 1000};
    if (select(0, &ready, nullptr, nullptr, &wait) != 1) return false;
    connection_ = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    return connection_ != INVALID_SOCKET;
}

void UnpluggableFarEnd::unplug() {
    if (connection_ == INVALID_SOCKET) return;
    closesocket(static_cast<SOCKET>(connection_));
    connection_ = INVALID_SOCKET;
}

std::string UnpluggableFarEnd::drain(std::chrono::milliseconds quiet,
                                     std::chrono::milliseconds timeout) {
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (connection_ != INVALID_SOCKET && Clock::now() < deadline) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(static_cast<SOCKET>(connection_), &ready);
        timeval wait{0, static_cast<long>(quiet.count()) * 1000};
        if (select(0, &ready, nullptr, nullptr, &wait) != 1) break;
        char buf[4096];
        const int n = recv(static_cast<SOCKET>(connection_), buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

int processHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return static_cast<int>(count);
}

bool runMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<long long>(left.count(), 50)),
                                  QS_ALLINPUT);
        MSG msg;
        while (!done() && Clock::now() < deadline && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

}  // namespace winport
