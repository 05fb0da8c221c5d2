#include "core/remoteturns.h"

#include <algorithm>

#include "core/errors.h"

namespace kivo {

using Clock = std::chrono::steady_clock;

struct RemoteTurns::Client {
    Client(std::unique_ptr<RemoteLink> l, RemoteProtocol& protocol)
        : link(std::move(l)), session(protocol) {}
    std::unique_ptr<RemoteLink> link;
    RemoteSession session;
    bool queued = false;
    bool dropped = false;
    bool finishing = false;                       // asked to end, its replies going out
    Clock::time_point lastActive = Clock::now();  // bytes received, or a line answered
};

RemoteTurns::RemoteTurns(ReceiverControl& control, HandlerGate& gate)
    : protocol_(control), gate_(gate) {
    // No box: a remote command must not wait for a person.
    protocol_.onHandlerError = [&control](std::exception_ptr error) {
        control.window().setPowerNotice(errorDialogText(error));
    };
}

RemoteTurns::~RemoteTurns() {
    close();
    removeDropped();
}

bool RemoteTurns::makeRoom() {
    return !closed_ && (clientCount() < kMaxClients || dropIdlest());
}

RemoteTurns::Client* RemoteTurns::admit(std::unique_ptr<RemoteLink> link) {
    clients_.push_back(std::make_unique<Client>(std::move(link), protocol_));
    Client* client = clients_.back().get();
    // Bytes may already be waiting.
    if (client->link->waiting()) schedule(client);
    return client;
}

void RemoteTurns::arrived(Client* client) {
    client->lastActive = Clock::now();
    schedule(client);
}

void RemoteTurns::gone(Client* client) {
    drop(client);
    if (!serving_) removeDropped();
}

RemoteTurns::Client* RemoteTurns::find(const std::function<bool(RemoteLink&)>& match) {
    for (auto& c : clients_)
        if (!c->dropped && match(*c->link)) return c.get();
    return nullptr;
}

void RemoteTurns::schedule(Client* client) {
    if (closed_ || client->dropped || client->queued || client->finishing) return;
    client->queued = true;
    ready_.push_back(client);
    requestTurn(std::chrono::milliseconds(0));
}

void RemoteTurns::requestTurn(std::chrono::milliseconds delay) {
    if (turnPosted_ || !postTurn) return;
    turnPosted_ = true;
    postTurn(delay);
}

// One command of the first client in turn; the client goes to the back if it has more.
void RemoteTurns::takeTurn() {
    turnPosted_ = false;
    // Inside a handler's modal box (ours or a user's), or inside a command: never run a
    // command beside another handler. The outer turn posts the next one itself.
    if (serving_) return;
    // Nor while a handler's command waits on a held line and lets the queue through.
    if ((boxOpen && boxOpen()) || gate_.held()) {
        if (!ready_.empty()) requestTurn(kModalRetry);
        return;
    }
    if (ready_.empty()) return;
    Client* client = ready_.front();
    ready_.pop_front();
    client->queued = false;
    serving_ = true;
    current_ = client;
    {
        HandlerGate::Scope running(gate_);  // a request to end taken meanwhile closes after
        serve(client);
    }
    current_ = nullptr;
    serving_ = false;
    removeDropped();
    if (!ready_.empty()) requestTurn(std::chrono::milliseconds(0));
}

void RemoteTurns::serve(Client* client) {
    RemoteLink& link = *client->link;
    if (!client->session.hasLine() && link.waiting()) {
        std::string bytes;
        if (!link.read(bytes)) {
            drop(client);
            return;
        }
        client->session.receive(bytes);
    }
    std::string reply;
    client->session.step(reply);
    if (client->dropped) return;  // gone while the command ran
    client->lastActive = Clock::now();
    if (!reply.empty() && !link.send(reply)) {
        drop(client);
        return;
    }
    if (client->session.closed()) {
        client->finishing = true;
        if (link.finish()) drop(client);
        return;
    }
    if (link.unread() > kMaxUnreadReplies) {
        drop(client);
        return;
    }
    if (client->session.hasLine() || link.waiting()) schedule(client);
}

void RemoteTurns::drop(Client* client) {
    if (client->dropped) return;
    client->dropped = true;
    client->link->abort();
    ready_.erase(std::remove(ready_.begin(), ready_.end(), client), ready_.end());
}

void RemoteTurns::close() {
    closed_ = true;
    for (auto& client : clients_) drop(client.get());
    ready_.clear();
    if (!serving_) removeDropped();
}

int RemoteTurns::clientCount() const {
    return static_cast<int>(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return !c->dropped; }));
}

// Room for a newcomer: the client idle longest goes if it has been idle for the limit. One
// with a line waiting or running is not idle, however long ago it sent.
bool RemoteTurns::dropIdlest() {
    Client* idlest = nullptr;
    for (const auto& c : clients_) {
        if (c->dropped || c->queued || c.get() == current_ || c->session.hasLine() ||
            c->link->waiting())
            continue;
        if (!idlest || c->lastActive < idlest->lastActive) idlest = c.get();
    }
    if (!idlest || Clock::now() - idlest->lastActive < idleLimit_) return false;
    drop(idlest);
    if (!serving_) removeDropped();
    return true;
}

void RemoteTurns::removeDropped() {
    clients_.erase(
        std::remove_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->dropped; }),
        clients_.end());
}

}  // namespace kivo
