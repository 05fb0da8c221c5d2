// One running copy per program title and user. A later start finds the running copy
// through a local socket in the user's private runtime folder, asks it to close and
// waits until it has finished closing (receiver off, port free).
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
    ~SingleCopy() override;

    // The socket path for a program title; titles differing only in case share it.
    static QString endpointFor(const QString& programTitle);

    // Asks the running copy, if any, to close and waits until it answers that it has
    // closed (or hangs up), at most `bound`. True when a running copy was found.
    // An endpoint left behind by a crashed copy refuses the connection at once.
    bool closeRunningCopy(std::chrono::milliseconds bound = std::chrono::seconds(60));

    // Answers later starts from now on: `closeRequested` must close the program's main
    // window (running its closing sequence) before it returns; the answer goes out after.
    bool listen(std::function<void()> closeRequested);

  private:
    void serve(class QLocalSocket* socket);

    QString endpoint_;
    QLocalServer server_;
    std::function<void()> closeRequested_;
};
