// One running copy per program title and user. The running copy holds a lock for its
// whole life, and only the lock's holder listens on the endpoint (a local socket in the
// user's private runtime folder) or removes it. A later start asks the holder to close
// there and waits until the lock is free: the holder has then ended, receiver off and
// port released.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>

class SingleCopy : public QObject {
    Q_OBJECT
  public:
    explicit SingleCopy(const QString& programTitle, QObject* parent = nullptr);
    // Stops listening and removes the endpoint, then lets the lock go.
    ~SingleCopy() override;

    // The socket path for a program title; titles differing only in case share it. The
    // lock is the same path with ".lock" added.
    static QString endpointFor(const QString& programTitle);

    enum class Claim {
        Alone,        // no other copy ran: this is the running copy
        TookOver,     // another copy ran and has ended: this is the running copy now
        StillRunning  // the other copy did not end within the bound: this must not run
    };

    // Makes this the running copy. When another copy holds the lock, it is asked to close
    // and this waits until it has ended, at most `bound`: a copy that is stopped holds a
    // later start up, and two copies never run. (Should the lock not open or not lock at
    // all, this copy goes on by itself and says so on standard error.) The default bound
    // outlasts a closing on a held line.
    Claim claim(std::chrono::milliseconds bound = std::chrono::minutes(3));

    // Answers later starts from now on: each request to close calls `closeRequested`.
    // False, said on standard error, when the endpoint cannot be made.
    bool listen(std::function<void()> closeRequested);

  private:
    void serve(class QLocalSocket* socket);

    QString title_;
    QString endpoint_;
    int folderFd_ = -1;  // the endpoint's folder, where its path is too long for a socket
    QString address_;    // what the socket calls are given for the endpoint
    int lockFd_ = -1;    // open only while this copy holds the lock
    QLocalServer server_;
    std::function<void()> closeRequested_;
};
