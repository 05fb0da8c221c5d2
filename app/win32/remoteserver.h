// The remote-control server's sockets: Winsock on the GUI thread, each socket's events
// delivered to a hidden window (WSAAsyncSelect). Lines go to the toolkit-free protocol
// one at a time, taking the clients in turn; a command that drains the line blocks this
// thread like a user's action, and whatever arrives meanwhile waits in the socket. No
// command runs while a handler is inside a modal box or a held line lets the queue
// through.
#pragma once

#include "app/win32/system.h"
// After the system headers.
#include <ws2tcpip.h>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/receivercontrol.h"
#include "core/remoteaddress.h"
#include "core/remoteprotocol.h"

class RemoteServer {
  public:
    // Clients at once. A newcomer beyond them takes the place of the client idle longest
    // (nothing received from it and nothing of it waiting or running) once that one has
    // been idle for the idle limit; otherwise the newcomer is closed at once.
    static constexpr int kMaxClients = 8;
    static constexpr std::chrono::milliseconds kIdleLimit = std::chrono::seconds(60);
    // Replies a client leaves unread beyond what the system buffers: it is dropped then.
    static constexpr std::size_t kMaxUnreadReplies = 64 * 1024;

    explicit RemoteServer(kivo::ReceiverControl& control);
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // False with the system's reason in `error` when the address cannot be bound.
    bool listen(const kivo::RemoteEndpoint& endpoint, std::string& error);
    unsigned short serverPort() const;
    // Stops listening and drops every client; no command runs after this.
    void close();
    int clientCount() const;
    void setIdleLimit(std::chrono::milliseconds limit) { idleLimit_ = limit; }

  private:
    struct Client;

    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void socketEvent(SOCKET socket, int event, int error);
    void acceptClients();
    void schedule(Client* client);
    void postTurn(UINT delay = 0);
    void takeTurn();
    void serve(Client* client);
    bool flush(Client* client);
    void drop(Client* client);
    void removeDropped();
    bool dropIdlest();
    Client* clientOf(SOCKET socket);

    HWND window_ = nullptr;
    SOCKET listener_ = INVALID_SOCKET;
    bool winsock_ = false;
    kivo::RemoteProtocol protocol_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::deque<Client*> ready_;  // clients with input, in turn
    Client* current_ = nullptr;  // the client whose line runs
    std::chrono::milliseconds idleLimit_ = kIdleLimit;
    bool turnPosted_ = false;
    bool serving_ = false;
    bool closed_ = false;
};

// The address check of the endpoint's rules: what Winsock takes as an address of that
// kind, written as it writes it.
std::optional<std::string> socketAddress(const std::string& host, bool ipv6);
