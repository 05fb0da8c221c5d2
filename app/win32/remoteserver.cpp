#include "app/win32/remoteserver.h"

#include <algorithm>

#include "app/win32/controls.h"
#include "app/win32/dialogs.h"
#include "core/errors.h"
#include "core/remotesession.h"
#include "serial/win32/openfailure.h"

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT kTurnMessage = WM_APP + 2;
constexpr UINT_PTR kRetryTimer = 1;
constexpr int kReadChunk = 4096;
// The system's own send buffer for a client, kept small so that what a client leaves
// unread is bounded by us and not by the system's buffer tuning.
constexpr int kSendBuffer = 32 * 1024;
// While a modal box is up, or a held line lets the queue through, the next turn is looked
// at this often.
constexpr UINT kModalRetryMs = 50;

using Clock = std::chrono::steady_clock;

}  // namespace

struct RemoteServer::Client {
    Client(SOCKET s, kivo::RemoteProtocol& protocol) : socket(s), session(protocol) {}
    SOCKET socket;
    kivo::RemoteSession session;
    std::string unsent;  // replies the socket has not taken yet
    bool readable = false;
    bool queued = false;
    bool dropped = false;
    bool closing = false;  // asked to end: closed once its replies are out
    Clock::time_point lastActive = Clock::now();
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
                self->takeTurn();
                return 0;
            case WM_TIMER:
                if (wParam == kRetryTimer) {
                    KillTimer(hwnd, kRetryTimer);
                    self->takeTurn();
                }
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

RemoteServer::RemoteServer(kivo::ReceiverControl& control) : protocol_(control) {
    // No box: a remote command must not wait for a person.
    protocol_.onHandlerError = [&control](std::exception_ptr error) {
        control.window().setPowerNotice(kivo::errorDialogText(error));
    };
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
    removeDropped();
    if (window_) DestroyWindow(window_);
    if (winsock_) WSACleanup();
}

bool RemoteServer::listen(const kivo::RemoteEndpoint& endpoint, std::string& error) {
    closed_ = false;
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
    closed_ = true;
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    listener_ = INVALID_SOCKET;
    for (auto& client : clients_) drop(client.get());
    ready_.clear();
    if (!serving_) removeDropped();
}

RemoteServer::Client* RemoteServer::clientOf(SOCKET socket) {
    for (auto& c : clients_)
        if (c->socket == socket && !c->dropped) return c.get();
    return nullptr;
}

void RemoteServer::socketEvent(SOCKET socket, int event, int error) {
    if (socket == listener_) {
        if (event == FD_ACCEPT) acceptClients();
        return;
    }
    Client* client = clientOf(socket);
    if (!client) return;
    if (event == FD_CLOSE || error != 0) {
        drop(client);
        if (!serving_) removeDropped();
        return;
    }
    if (event == FD_READ) {
        client->readable = true;
        client->lastActive = Clock::now();
        schedule(client);
    } else if (event == FD_WRITE) {
        if (!flush(client)) return;
        if (client->closing && client->unsent.empty()) {
            shutdown(client->socket, SD_SEND);
            drop(client);
            if (!serving_) removeDropped();
        }
    }
}

void RemoteServer::acceptClients() {
    for (;;) {
        SOCKET socket = accept(listener_, nullptr, nullptr);
        if (socket == INVALID_SOCKET) return;
        if (closed_ || (clientCount() >= kMaxClients && !dropIdlest())) {
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
        clients_.push_back(std::make_unique<Client>(socket, protocol_));
    }
}

void RemoteServer::schedule(Client* client) {
    if (closed_ || client->dropped || client->queued || client->closing) return;
    client->queued = true;
    ready_.push_back(client);
    postTurn();
}

void RemoteServer::postTurn(UINT delay) {
    if (turnPosted_) return;
    turnPosted_ = true;
    if (delay > 0)
        SetTimer(window_, kRetryTimer, delay, nullptr);
    else
        PostMessageW(window_, kTurnMessage, 0, 0);
}

// One command of the first client in turn; the client goes to the back if it has more.
void RemoteServer::takeTurn() {
    turnPosted_ = false;
    // Inside a handler's modal box (ours or a user's), or inside a command: never run a
    // command beside another handler. The outer turn posts the next one itself.
    if (serving_) return;
    // Nor while a handler's command waits on a held line and lets the queue through.
    if (boxOpen() || handlersHeld()) {
        if (!ready_.empty()) postTurn(kModalRetryMs);
        return;
    }
    if (ready_.empty()) return;
    Client* client = ready_.front();
    ready_.pop_front();
    client->queued = false;
    serving_ = true;
    current_ = client;
    {
        HandlerScope running;  // a request to end taken meanwhile closes after the command
        serve(client);
    }
    current_ = nullptr;
    serving_ = false;
    removeDropped();
    if (!ready_.empty()) postTurn();
}

void RemoteServer::serve(Client* client) {
    if (!client->session.hasLine() && client->readable) {
        char data[kReadChunk];
        const int n = recv(client->socket, data, sizeof data, 0);
        client->readable = false;  // the system says again when more has come
        if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
            drop(client);
            return;
        }
        if (n > 0) client->session.receive(std::string_view(data, static_cast<std::size_t>(n)));
    }
    std::string reply;
    client->session.step(reply);
    if (client->dropped) return;  // gone while the command ran
    client->lastActive = Clock::now();
    client->unsent += reply;
    if (!flush(client)) return;
    if (client->session.closed()) {
        client->closing = true;
        if (client->unsent.empty()) {
            shutdown(client->socket, SD_SEND);  // after the reply has gone out
            drop(client);
        }
        return;
    }
    if (client->unsent.size() > kMaxUnreadReplies) {
        drop(client);
        return;
    }
    if (client->session.hasLine()) schedule(client);
}

// Sends what the socket takes now; false when the client has been dropped.
bool RemoteServer::flush(Client* client) {
    while (!client->unsent.empty()) {
        const int n =
            send(client->socket, client->unsent.data(),
                 static_cast<int>(std::min<std::size_t>(client->unsent.size(), 65536)), 0);
        if (n > 0) {
            client->unsent.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (WSAGetLastError() == WSAEWOULDBLOCK) return true;  // FD_WRITE comes when it may
        drop(client);
        return false;
    }
    return true;
}

void RemoteServer::drop(Client* client) {
    if (client->dropped) return;
    client->dropped = true;
    closesocket(client->socket);
    ready_.erase(std::remove(ready_.begin(), ready_.end(), client), ready_.end());
}

int RemoteServer::clientCount() const {
    return static_cast<int>(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return !c->dropped; }));
}

// Room for a newcomer: the client idle longest goes if it has been idle for the limit. One
// with a line waiting or running is not idle, however long ago it sent.
bool RemoteServer::dropIdlest() {
    Client* idlest = nullptr;
    for (const auto& c : clients_) {
        if (c->dropped || c->queued || c.get() == current_ || c->session.hasLine() || c->readable)
            continue;
        if (!idlest || c->lastActive < idlest->lastActive) idlest = c.get();
    }
    if (!idlest || Clock::now() - idlest->lastActive < idleLimit_) return false;
    drop(idlest);
    if (!serving_) removeDropped();
    return true;
}

void RemoteServer::removeDropped() {
    clients_.erase(
        std::remove_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->dropped; }),
        clients_.end());
}
