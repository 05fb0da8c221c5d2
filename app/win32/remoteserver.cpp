#include "app/win32/remoteserver.h"

#include <algorithm>

#include "app/win32/controls.h"
#include "app/win32/dialogs.h"
#include "serial/win32/openfailure.h"

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT kTurnMessage = WM_APP + 2;
constexpr UINT_PTR kRetryTimer = 1;
constexpr int kReadChunk = 4096;
// The system's own send buffer for a client, kept small so that what a client leaves
// unread is bounded by us and not by the system's buffer tuning.
constexpr int kSendBuffer = 32 * 1024;
}  // namespace

// A client's socket; replies the socket does not take yet wait here until FD_WRITE.
class SocketLink : public kivo::RemoteLink {
  public:
    explicit SocketLink(SOCKET s) : socket(s) {}

    bool waiting() const override { return readable; }
    bool read(std::string& bytes) override {
        char data[kReadChunk];
        const int n = recv(socket, data, sizeof data, 0);
        readable = false;  // the system says again when more has come
        if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) return false;
        if (n > 0) bytes.assign(data, static_cast<std::size_t>(n));
        return true;
    }
    bool send(const std::string& reply) override {
        unsent += reply;
        return flush();
    }
    std::size_t unread() const override { return unsent.size(); }
    bool finish() override {
        closing = true;
        if (!unsent.empty()) return false;
        shutdown(socket, SD_SEND);  // after the reply has gone out
        return true;
    }
    void abort() override { closesocket(socket); }

    // Sends what the socket takes now; false when the client has gone.
    bool flush() {
        while (!unsent.empty()) {
            const int n = ::send(socket, unsent.data(),
                                 static_cast<int>(std::min<std::size_t>(unsent.size(), 65536)), 0);
            if (n > 0) {
                unsent.erase(0, static_cast<std::size_t>(n));
                continue;
            }
            return WSAGetLastError() == WSAEWOULDBLOCK;  // FD_WRITE comes when it may
        }
        return true;
    }

    SOCKET socket;
    std::string unsent;
    bool readable = false;
    bool closing = false;
};

std::optional<std::string> socketAddress(const std::string& host, bool ipv6) {
    unsigned char binary[16];
    if (inet_pton(ipv6 ? AF_INET6 : AF_INET, host.c_str(), binary) != 1) return std::nullopt;
    char text[INET6_ADDRSTRLEN];
    if (!inet_ntop(ipv6 ? AF_INET6 : AF_INET, binary, text, sizeof text)) return std::nullopt;
    return std::string(text);
}

LRESULT CALLBACK RemoteServer::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RemoteServer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        switch (msg) {
            case kSocketMessage:
                self->socketEvent(static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam),
                                  WSAGETSELECTERROR(lParam));
                return 0;
            case kTurnMessage:
                self->turns_.takeTurn();
                return 0;
            case WM_TIMER:
                if (wParam == kRetryTimer) {
                    KillTimer(hwnd, kRetryTimer);
                    self->turns_.takeTurn();
                }
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

RemoteServer::RemoteServer(kivo::ReceiverControl& control) : turns_(control, handlerGate()) {
    turns_.postTurn = [this](std::chrono::milliseconds delay) {
        if (delay.count() > 0)
            SetTimer(window_, kRetryTimer, static_cast<UINT>(delay.count()), nullptr);
        else
            PostMessageW(window_, kTurnMessage, 0, 0);
    };
    turns_.boxOpen = [] { return boxOpen(); };
    WSADATA data;
    winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KivoRemoteServer";
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    window_ = CreateWindowExW(0, L"KivoRemoteServer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

RemoteServer::~RemoteServer() {
    close();
    if (window_) DestroyWindow(window_);
    if (winsock_) WSACleanup();
}

bool RemoteServer::listen(const kivo::RemoteEndpoint& endpoint, std::string& error) {
    turns_.open();
    const int family = endpoint.ipv6 ? AF_INET6 : AF_INET;
    sockaddr_storage address{};
    int size = 0;
    if (endpoint.ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(endpoint.port);
        inet_pton(AF_INET6, endpoint.address.c_str(), &a->sin6_addr);
        size = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&address);
        a->sin_family = AF_INET;
        a->sin_port = htons(endpoint.port);
        inet_pton(AF_INET, endpoint.address.c_str(), &a->sin_addr);
        size = sizeof *a;
    }
    listener_ = socket(family, SOCK_STREAM, IPPROTO_TCP);
    BOOL exclusive = TRUE;  // no other program may take the port beside us
    if (listener_ == INVALID_SOCKET ||
        setsockopt(listener_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive) != 0 ||
        bind(listener_, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0 ||
        WSAAsyncSelect(listener_, window_, kSocketMessage, FD_ACCEPT) != 0) {
        error = comm::systemErrorText(static_cast<unsigned long>(WSAGetLastError()));
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return false;
    }
    return true;
}

unsigned short RemoteServer::serverPort() const {
    sockaddr_storage address{};
    int size = sizeof address;
    if (listener_ == INVALID_SOCKET ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

void RemoteServer::close() {
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    listener_ = INVALID_SOCKET;
    turns_.close();
}

void RemoteServer::socketEvent(SOCKET socket, int event, int error) {
    if (socket == listener_) {
        if (event == FD_ACCEPT) acceptClients();
        return;
    }
    SocketLink* link = nullptr;
    kivo::RemoteTurns::Client* client = turns_.find([&](kivo::RemoteLink& l) {
        link = static_cast<SocketLink*>(&l);
        return link->socket == socket;
    });
    if (!client) return;
    if (event == FD_CLOSE || error != 0) {
        turns_.gone(client);
    } else if (event == FD_READ) {
        link->readable = true;
        turns_.arrived(client);
    } else if (event == FD_WRITE) {
        if (!link->flush() || (link->closing && link->finish())) turns_.gone(client);
    }
}

void RemoteServer::acceptClients() {
    for (;;) {
        SOCKET socket = accept(listener_, nullptr, nullptr);
        if (socket == INVALID_SOCKET) return;
        if (!turns_.makeRoom()) {
            closesocket(socket);
            continue;
        }
        const int buffer = kSendBuffer;
        setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer),
                   sizeof buffer);
        if (WSAAsyncSelect(socket, window_, kSocketMessage, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
            closesocket(socket);
            continue;
        }
        turns_.admit(std::make_unique<SocketLink>(socket));
    }
}
