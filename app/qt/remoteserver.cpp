#include "app/qt/remoteserver.h"

#include <QApplication>
#include <QTcpSocket>
#include <QTimer>

#include "app/qt/controls.h"

namespace {

constexpr qint64 kReadChunk = 4096;
// What a socket reads ahead of us; a client sending faster than we serve is held back by
// the connection itself.
constexpr qint64 kReadBuffer = 16 * 1024;
// The system's own send buffer for a client, kept small so that what a client leaves
// unread is bounded by us and not by the system's buffer tuning (megabytes on loopback).
constexpr int kSendBuffer = 32 * 1024;

class SocketLink : public kivo::RemoteLink {
  public:
    SocketLink(QTcpSocket* socket, QObject* server) : socket_(socket), server_(server) {}
    ~SocketLink() override { socket_->deleteLater(); }

    bool waiting() const override { return socket_->bytesAvailable() > 0; }
    bool read(std::string& bytes) override {
        const QByteArray data = socket_->read(kReadChunk);
        bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
        return true;
    }
    bool send(const std::string& reply) override {
        socket_->write(reply.data(), static_cast<qint64>(reply.size()));
        return true;
    }
    std::size_t unread() const override {
        return static_cast<std::size_t>(socket_->bytesToWrite());
    }
    bool finish() override {
        socket_->disconnectFromHost();  // after the reply has gone out; then disconnected
        return false;
    }
    void abort() override {
        socket_->disconnect(server_);
        socket_->abort();
    }

  private:
    QTcpSocket* socket_;
    QObject* server_;
};

}  // namespace

RemoteServer::RemoteServer(kivo::ReceiverControl& control, QObject* parent)
    : QObject(parent), turns_(control, handlerGate()) {
    turns_.postTurn = [this](std::chrono::milliseconds delay) {
        QTimer::singleShot(delay, this, [this] { turns_.takeTurn(); });
    };
    turns_.boxOpen = [] { return QApplication::activeModalWidget() != nullptr; };
    connect(&server_, &QTcpServer::newConnection, this, &RemoteServer::acceptClients);
}

RemoteServer::~RemoteServer() {
    close();
}

bool RemoteServer::listen(const QHostAddress& address, quint16 port) {
    turns_.open();
    return server_.listen(address, port);
}

void RemoteServer::close() {
    server_.close();
    turns_.close();
}

void RemoteServer::acceptClients() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (!turns_.makeRoom()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        socket->setReadBufferSize(kReadBuffer);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBuffer);
        // Bytes already waiting are served from the turn admit() posts, after these.
        kivo::RemoteTurns::Client* client =
            turns_.admit(std::make_unique<SocketLink>(socket, this));
        connect(socket, &QTcpSocket::readyRead, this, [this, client] { turns_.arrived(client); });
        connect(socket, &QTcpSocket::disconnected, this, [this, client] { turns_.gone(client); });
    }
}
