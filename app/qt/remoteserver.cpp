#include "app/qt/remoteserver.h"

#include <QApplication>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

#include "app/qt/controls.h"
#include "core/errors.h"
#include "core/remotesession.h"

namespace {

constexpr qint64 kReadChunk = 4096;
// What a socket reads ahead of us; a client sending faster than we serve is held back by
// the connection itself.
constexpr qint64 kReadBuffer = 16 * 1024;
// The system's own send buffer for a client, kept small so that what a client leaves
// unread is bounded by us and not by the system's buffer tuning (megabytes on loopback).
constexpr int kSendBuffer = 32 * 1024;
// While a modal box is up, or a held line lets the queue through, the next turn is looked
// at this often.
constexpr int kModalRetryMs = 50;

using Clock = std::chrono::steady_clock;

}  // namespace

struct RemoteServer::Client {
    Client(QTcpSocket* s, kivo::RemoteProtocol& protocol) : socket(s), session(protocol) {}
    QTcpSocket* socket;
    kivo::RemoteSession session;
    bool queued = false;
    bool dropped = false;
    Clock::time_point lastActive = Clock::now();  // bytes received, or a line answered
};

RemoteServer::RemoteServer(kivo::ReceiverControl& control, QObject* parent)
    : QObject(parent), protocol_(control) {
    // No box: a remote command must not wait for a person.
    protocol_.onHandlerError = [&control](std::exception_ptr error) {
        control.window().setPowerNotice(kivo::errorDialogText(error));
    };
    connect(&server_, &QTcpServer::newConnection, this, &RemoteServer::acceptClients);
}

RemoteServer::~RemoteServer() {
    close();
}

bool RemoteServer::listen(const QHostAddress& address, quint16 port) {
    closed_ = false;
    return server_.listen(address, port);
}

void RemoteServer::close() {
    closed_ = true;
    server_.close();
    for (auto& client : clients_) drop(client.get());
    ready_.clear();
    if (!serving_) removeDropped();
}

void RemoteServer::acceptClients() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (closed_ || (clientCount() >= kMaxClients && !dropIdlest())) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        socket->setReadBufferSize(kReadBuffer);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBuffer);
        clients_.push_back(std::make_unique<Client>(socket, protocol_));
        Client* client = clients_.back().get();
        connect(socket, &QTcpSocket::readyRead, this, [this, client] {
            client->lastActive = Clock::now();
            schedule(client);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, client] {
            drop(client);
            if (!serving_) removeDropped();
        });
        // Bytes may already be waiting.
        if (socket->bytesAvailable() > 0) schedule(client);
    }
}

void RemoteServer::schedule(Client* client) {
    if (closed_ || client->dropped || client->queued) return;
    client->queued = true;
    ready_.push_back(client);
    postTurn();
}

void RemoteServer::postTurn() {
    if (turnPosted_) return;
    turnPosted_ = true;
    QTimer::singleShot(0, this, &RemoteServer::takeTurn);
}

// One line of the first client in turn; the client goes to the back if it has more.
void RemoteServer::takeTurn() {
    turnPosted_ = false;
    // Inside a handler's modal box (ours or a user's), or inside a command: never run
    // a command beside another handler. The outer turn posts the next one itself.
    if (serving_) return;
    // Nor while a handler's command waits on a held line and lets the queue through.
    if (QApplication::activeModalWidget() || handlersHeld()) {
        if (!ready_.empty() && !turnPosted_) {
            turnPosted_ = true;
            QTimer::singleShot(kModalRetryMs, this, &RemoteServer::takeTurn);
        }
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
    QTcpSocket* socket = client->socket;
    if (!client->session.hasLine() && socket->bytesAvailable() > 0) {
        const QByteArray data = socket->read(kReadChunk);
        client->session.receive(std::string_view(data.constData(), data.size()));
    }
    std::string reply;
    client->session.step(reply);
    if (client->dropped) return;  // gone while the command ran
    client->lastActive = Clock::now();
    if (!reply.empty()) socket->write(reply.data(), static_cast<qint64>(reply.size()));
    if (client->session.closed()) {
        socket->disconnectFromHost();  // after the reply has gone out
        return;
    }
    if (socket->bytesToWrite() > kMaxUnreadReplies) {
        drop(client);
        return;
    }
    if (client->session.hasLine() || socket->bytesAvailable() > 0) schedule(client);
}

void RemoteServer::drop(Client* client) {
    if (client->dropped) return;
    client->dropped = true;
    client->socket->disconnect(this);
    client->socket->abort();
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
        if (c->dropped || c->queued || c.get() == current_ || c->session.hasLine() ||
            c->socket->bytesAvailable() > 0)
            continue;
        if (!idlest || c->lastActive < idlest->lastActive) idlest = c.get();
    }
    if (!idlest || Clock::now() - idlest->lastActive < idleLimit_) return false;
    drop(idlest);
    if (!serving_) removeDropped();
    return true;
}

void RemoteServer::removeDropped() {
    auto gone = std::remove_if(clients_.begin(), clients_.end(), [](const auto& c) {
        if (!c->dropped) return false;
        c->socket->deleteLater();
        return true;
    });
    clients_.erase(gone, clients_.end());
}
