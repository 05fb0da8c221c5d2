// The remote-control server's clients and their turns, whatever the sockets are: one line
// of one client at a time, the clients taken in turn, on the thread of the window loop; no
// command while a handler is inside a modal box or a held line lets the queue through; at
// most kMaxClients at once, a newcomer beyond them taking the place of the client idle
// longest once that one has been idle for the idle limit; a client that leaves its replies
// unread is dropped. The front end's sockets reach it through RemoteLink and its loop
// through the two calls it is given.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/handlergate.h"
#include "core/receivercontrol.h"
#include "core/remoteprotocol.h"
#include "core/remotesession.h"

namespace kivo {

// One client's connection, as the front end's sockets give it.
class RemoteLink {
  public:
    virtual ~RemoteLink() = default;
    // Bytes have arrived and wait unread.
    virtual bool waiting() const = 0;
    // Reads what waits, a chunk at most; false when the client has gone.
    virtual bool read(std::string& bytes) = 0;
    // Sends `reply`, keeping what the system does not take yet; false when the client has
    // gone.
    virtual bool send(const std::string& reply) = 0;
    // Reply bytes the client has not taken yet.
    virtual std::size_t unread() const = 0;
    // The client asked to end: the connection closes once its replies are out. True when
    // that is done now; else the front end reports the client gone() once it is.
    virtual bool finish() = 0;
    // Closes the connection now; nothing of it is reported after this.
    virtual void abort() = 0;
};

class RemoteTurns {
  public:
    static constexpr int kMaxClients = 8;
    static constexpr std::chrono::milliseconds kIdleLimit = std::chrono::seconds(60);
    // Replies a client leaves unread beyond what the system buffers: it is dropped then.
    static constexpr std::size_t kMaxUnreadReplies = 64 * 1024;
    // While a modal box is up, or a held line lets the queue through, the next turn is
    // looked at this often.
    static constexpr std::chrono::milliseconds kModalRetry{50};

    struct Client;

    RemoteTurns(ReceiverControl& control, HandlerGate& gate);
    ~RemoteTurns();
    RemoteTurns(const RemoteTurns&) = delete;
    RemoteTurns& operator=(const RemoteTurns&) = delete;

    // The loop's part: takeTurn() to run from the loop after `delay`, and whether a modal
    // box is up.
    std::function<void(std::chrono::milliseconds delay)> postTurn;
    std::function<bool()> boxOpen;

    // Whether a newcomer may stay: false when it is to be closed at once (the server
    // closed, or full with no client idle long enough to make room).
    bool makeRoom();
    // A new connection, once there is room for it.
    Client* admit(std::unique_ptr<RemoteLink> link);
    // Bytes arrived from the client.
    void arrived(Client* client);
    // The client's connection has ended.
    void gone(Client* client);
    // The live client whose link `match` picks, if any.
    Client* find(const std::function<bool(RemoteLink&)>& match);

    void takeTurn();
    // Drops every client and takes no more; no command runs after this.
    void close();
    void open() { closed_ = false; }
    int clientCount() const;
    void setIdleLimit(std::chrono::milliseconds limit) { idleLimit_ = limit; }

  private:
    void schedule(Client* client);
    void requestTurn(std::chrono::milliseconds delay);
    void serve(Client* client);
    void drop(Client* client);
    void removeDropped();
    bool dropIdlest();

    RemoteProtocol protocol_;
    HandlerGate& gate_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::deque<Client*> ready_;  // clients with input, in turn
    Client* current_ = nullptr;  // the client whose line runs
    std::chrono::milliseconds idleLimit_ = kIdleLimit;
    bool turnPosted_ = false;
    bool serving_ = false;
    bool closed_ = false;
};

}  // namespace kivo
