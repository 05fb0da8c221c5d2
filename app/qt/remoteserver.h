// The remote-control server's sockets, on the GUI thread; the clients and their turns are
// the core's (RemoteTurns). A command that drains the line blocks this thread like a
// user's action, and whatever arrives meanwhile waits in the socket.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <chrono>

#include "core/receivercontrol.h"
#include "core/remoteturns.h"

class RemoteServer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxClients = kivo::RemoteTurns::kMaxClients;

    explicit RemoteServer(kivo::ReceiverControl& control, QObject* parent = nullptr);
    ~RemoteServer() override;

    // False with the reason in errorString() when the address cannot be bound.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return server_.errorString(); }
    quint16 serverPort() const { return server_.serverPort(); }
    // Stops listening and drops every client; no command runs after this.
    void close();
    int clientCount() const { return turns_.clientCount(); }
    void setIdleLimit(std::chrono::milliseconds limit) { turns_.setIdleLimit(limit); }

  private:
    void acceptClients();

    QTcpServer server_;
    kivo::RemoteTurns turns_;
};
