#include "tests/support/win32/unpluggable.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <stdexcept>

namespace testenv {

using Clock = std::chrono::steady_clock;

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
        listen(s, 1) != 0) {
        if (s != INVALID_SOCKET) closesocket(s);
        WSACleanup();
        throw std::runtime_error("cannot listen for the unpluggable port's far end");
    }
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

}  // namespace testenv
