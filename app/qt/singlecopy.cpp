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

#include "core/messages.h"

using namespace std::chrono_literals;

namespace {

const QByteArray closeRequest = "close\n";
constexpr qint64 longestRequest = 64;

// The name a socket call can take for `path`: the path itself when it fits in a socket
// address, else the same file reached through `folderFd`, a descriptor of its folder
// opened here (a runtime folder may be deeper than a socket address is long).
std::string socketAddress(const std::string& path, int& folderFd) {
    if (path.size() < sizeof(sockaddr_un::sun_path)) return path;
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return path;
    if (folderFd < 0)
        folderFd = ::open(path.substr(0, slash + 1).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return path;
    return "/proc/self/fd/" + std::to_string(folderFd) + path.substr(slash);
}

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

enum class Lock { Taken, Held, Failed };

// Only EWOULDBLOCK means another copy holds the lock; any other error, that the file
// system takes no locks.
Lock tryLock(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return Lock::Taken;
        if (errno == EWOULDBLOCK) return Lock::Held;
        if (errno != EINTR) return Lock::Failed;
    }
}

}  // namespace

SingleCopy::SingleCopy(const QString& programTitle, QObject* parent)
    : QObject(parent), title_(programTitle), endpoint_(endpointFor(programTitle)) {
    address_ = QFile::decodeName(QByteArray::fromStdString(
        socketAddress(QFile::encodeName(endpoint_).toStdString(), folderFd_)));
    // Only this user may connect (the folder is private too).
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) serve(socket);
    });
}

SingleCopy::~SingleCopy() {
    server_.close();  // removes the endpoint while the lock still says it is ours
    if (lockFd_ >= 0) ::close(lockFd_);
    if (folderFd_ >= 0) ::close(folderFd_);
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
    auto runWithoutLock = [&](int error) {
        if (lockFd_ >= 0) ::close(lockFd_);
        lockFd_ = -1;
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title_),
                     kivo::message(kivo::Msg::LockFailed, {{"path", lockPath.constData()},
                                                           {"reason", std::strerror(error)}})
                         .c_str());
        return Claim::Alone;
    };
    lockFd_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) return runWithoutLock(errno);
    struct stat st {};
    if (::fstat(lockFd_, &st) != 0) return runWithoutLock(errno);
    // Somebody else's file in a shared folder: not our lock.
    if (st.st_uid != ::getuid()) return runWithoutLock(EPERM);

    // Locks that do not work here say nothing of another copy: waiting would never end.
    Lock lock = tryLock(lockFd_);
    if (lock == Lock::Failed) return runWithoutLock(errno);
    if (lock == Lock::Taken) return Claim::Alone;
    CloseRequest request(QFile::encodeName(address_).toStdString());
    const auto since = std::chrono::steady_clock::now();
    const auto deadline = since + bound;
    bool told = false;
    for (; lock == Lock::Held; lock = tryLock(lockFd_)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            ::close(lockFd_);
            lockFd_ = -1;
            return Claim::StillRunning;
        }
        request.askAndWait(std::min<std::chrono::milliseconds>(
            200ms, std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
        if (!told && std::chrono::steady_clock::now() - since > 5s) {
            std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title_),
                         kivo::message(kivo::Msg::WaitingForRunningCopy).c_str());
            told = true;
        }
    }
    if (lock == Lock::Failed) return runWithoutLock(errno);
    return Claim::TookOver;
}

bool SingleCopy::listen(std::function<void()> closeRequested) {
    closeRequested_ = std::move(closeRequested);
    // What lies there is a leftover of a copy that has ended: only the lock's holder
    // may remove it. Without the lock, a live copy's endpoint is never touched.
    if (lockFd_ >= 0) QLocalServer::removeServer(address_);
    if (server_.listen(address_)) return true;
    // A later start would wait for this copy in vain.
    std::fprintf(
        stderr, "%s: %s\n", qUtf8Printable(title_),
        kivo::message(kivo::Msg::EndpointFailed, {{"path", endpoint_.toStdString()},
                                                  {"reason", server_.errorString().toStdString()}})
            .c_str());
    return false;
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
