// The remote-control server's sockets. Lines go to the toolkit-free protocol one at a
// time, on the GUI thread, taking the clients in turn; a command that drains the line
// blocks this thread like a user's action, and whatever arrives meanwhile waits in the
// socket. No command runs while a handler (a user's or another command's) is still inside
// a modal box.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

#include "core/receivercontrol.h"
#include "core/remoteprotocol.h"

class QTcpSocket;

class RemoteServer : public QObject {
    Q_OBJECT
  public:
    // Clients at once. A newcomer beyond them takes the place of the client idle longest
    // (nothing received from it and nothing of it waiting or running) once that one has
    // been idle for the idle limit; otherwise the newcomer is closed at once.
    static constexpr int kMaxClients = 8;
    static constexpr std::chrono::milliseconds kIdleLimit = std::chrono::seconds(60);
    // Replies a client leaves unread beyond what the system buffers: it is dropped then.
    static constexpr qint64 kMaxUnreadReplies = 64 * 1024;

    explicit RemoteServer(kivo::ReceiverControl& control, QObject* parent = nullptr);
    ~RemoteServer() override;

    // False with the reason in errorString() when the address cannot be bound.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return server_.errorString(); }
    quint16 serverPort() const { return server_.serverPort(); }
    // Stops listening and drops every client; no command runs after this.
    void close();
    int clientCount() const;
    void setIdleLimit(std::chrono::milliseconds limit) { idleLimit_ = limit; }

  private:
    struct Client;

    void acceptClients();
    void schedule(Client* client);
    void postTurn();
    void takeTurn();
    void serve(Client* client);
    void drop(Client* client);
    void removeDropped();
    bool dropIdlest();

    QTcpServer server_;
    kivo::RemoteProtocol protocol_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::deque<Client*> ready_;  // clients with input, in turn
    Client* current_ = nullptr;  // the client whose line runs
    std::chrono::milliseconds idleLimit_ = kIdleLimit;
    bool turnPosted_ = false;
    bool serving_ = false;
    bool closed_ = false;
};
