#include "app/qt/singlecopy.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

const QByteArray closeRequest = "close\n";
constexpr qint64 longestRequest = 64;

// A request to close, sent to the copy listening on the endpoint and kept connected for
// as long as that copy lives.
class CloseRequest {
  public:
    explicit CloseRequest(std::string path) : path_(std::move(path)) {}
    ~CloseRequest() { drop(); }
    CloseRequest(const CloseRequest&) = delete;
    CloseRequest& operator=(const CloseRequest&) = delete;

    // Asks as soon as there is an endpoint to ask (the holder may not listen yet), again
    // when the copy asked has gone but another holds the lock now; then waits, at most
    // `wait`, for the copy asked to go.
    void askAndWait(std::chrono::milliseconds wait) {
        if (fd_ >= 0 && peerGone()) drop();
        if (fd_ < 0 && !connectAndAsk()) {
            std::this_thread::sleep_for(50ms);
            return;
        }
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(wait.count()));
    }

  private:
    bool connectAndAsk() {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path_.size() >= sizeof addr.sun_path) return false;
        std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0) return false;
        const bool asked =
            ::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
            ::send(fd_, closeRequest.constData(), closeRequest.size(), MSG_NOSIGNAL) ==
                closeRequest.size();
        if (!asked) drop();
        return asked;
    }

    bool peerGone() {
        char buf[64];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }

    void drop() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    std::string path_;
    int fd_ = -1;
};

}  // namespace

SingleCopy::SingleCopy(const QString& programTitle, QObject* parent)
    : QObject(parent), title_(programTitle), endpoint_(endpointFor(programTitle)) {
    // Only this user may connect (the folder is private too).
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) serve(socket);
    });
}

SingleCopy::~SingleCopy() {
    server_.close();  // removes the endpoint while the lock still says it is ours
    if (lockFd_ >= 0) ::close(lockFd_);
}

QString SingleCopy::endpointFor(const QString& programTitle) {
    // The user's runtime folder (XDG_RUNTIME_DIR, or a private one Qt creates with mode
    // 0700). The title is hashed: socket paths are short and titles may hold anything.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QString prefix = QStringLiteral("/kivo-");
    if (dir.isEmpty()) {
        // No usable private folder: the shared one, with the user in the name (and the
        // socket itself closed to others).
        dir = QDir::tempPath();
        prefix += QString::number(::getuid()) + QLatin1Char('-');
    }
    QByteArray key =
        QCryptographicHash::hash(programTitle.toLower().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    return dir + prefix + QString::fromLatin1(key);
}

SingleCopy::Claim SingleCopy::claim(std::chrono::milliseconds bound) {
    const QByteArray lockPath = QFile::encodeName(endpoint_ + QStringLiteral(".lock"));
    lockFd_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat st {};
    if (lockFd_ >= 0 && (::fstat(lockFd_, &st) != 0 || st.st_uid != ::getuid())) {
        ::close(lockFd_);  // somebody else's file in a shared folder: not our lock
        lockFd_ = -1;
        errno = EPERM;
    }
    if (lockFd_ < 0) {
        std::fprintf(stderr, "%s: cannot take the lock %s (%s); running without it\n",
                     qUtf8Printable(title_), lockPath.constData(), std::strerror(errno));
        return Claim::Alone;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return Claim::Alone;

    CloseRequest request(QFile::encodeName(endpoint_).toStdString());
    const auto since = std::chrono::steady_clock::now();
    const auto deadline = since + bound;
    bool told = false;
    while (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            ::close(lockFd_);
            lockFd_ = -1;
            return Claim::StillRunning;
        }
        request.askAndWait(std::min<std::chrono::milliseconds>(
            200ms, std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
        if (!told && std::chrono::steady_clock::now() - since > 5s) {
            std::fprintf(stderr, "%s: waiting for the running copy to close\n",
                         qUtf8Printable(title_));
            told = true;
        }
    }
    return Claim::TookOver;
}

bool SingleCopy::listen(std::function<void()> closeRequested) {
    closeRequested_ = std::move(closeRequested);
    // What lies there is a leftover of a copy that has ended: only the lock's holder
    // may remove it. Without the lock, a live copy's endpoint is never touched.
    if (lockFd_ >= 0) QLocalServer::removeServer(endpoint_);
    return server_.listen(endpoint_);
}

void SingleCopy::serve(QLocalSocket* socket) {
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        while (socket->canReadLine()) {
            if (socket->readLine(longestRequest + 1) != closeRequest) {
                socket->abort();
                return;
            }
            // The asking start waits for the lock, not for an answer.
            if (closeRequested_) closeRequested_();
        }
        if (socket->bytesAvailable() > longestRequest) socket->abort();  // no request
    });
}
