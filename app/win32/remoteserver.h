// The remote-control server's sockets: Winsock on the GUI thread, each socket's events
// delivered to a hidden window (WSAAsyncSelect); the clients and their turns are the
// core's (RemoteTurns). A command that drains the line blocks this thread like a user's
// action, and whatever arrives meanwhile waits in the socket.
#pragma once

#include "app/win32/system.h"
// After the system headers.
#include <ws2tcpip.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/receivercontrol.h"
#include "core/remoteaddress.h"
#include "core/remoteturns.h"

class RemoteServer {
  public:
    static constexpr int kMaxClients = kivo::RemoteTurns::kMaxClients;

    explicit RemoteServer(kivo::ReceiverControl& control);
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // False with the system's reason in `error` when the address cannot be bound.
    bool listen(const kivo::RemoteEndpoint& endpoint, std::string& error);
    unsigned short serverPort() const;
    // Stops listening and drops every client; no command runs after this.
    void close();
    int clientCount() const { return turns_.clientCount(); }
    void setIdleLimit(std::chrono::milliseconds limit) { turns_.setIdleLimit(limit); }

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void socketEvent(SOCKET socket, int event, int error);
    void acceptClients();

    HWND window_ = nullptr;
    SOCKET listener_ = INVALID_SOCKET;
    bool winsock_ = false;
    kivo::RemoteTurns turns_;
};

// The address check of the endpoint's rules: what Winsock takes as an address of that
// kind, written as it writes it.
std::optional<std::string> socketAddress(const std::string& host, bool ipv6);
