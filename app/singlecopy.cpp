#include "singlecopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#include <algorithm>

namespace {

const QByteArray closeRequest = "close\n";
const QByteArray closedAnswer = "closed\n";

}  // namespace

SingleCopy::SingleCopy(const QString& programTitle, QObject* parent)
    : QObject(parent), endpoint_(endpointFor(programTitle)) {
    // Only this user may connect (the folder is private too).
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) serve(socket);
    });
}

SingleCopy::~SingleCopy() {
    server_.close();
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
#ifdef Q_OS_UNIX
        prefix += QString::number(::getuid()) + QLatin1Char('-');
#endif
    }
    QByteArray key =
        QCryptographicHash::hash(programTitle.toLower().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    return dir + prefix + QString::fromLatin1(key);
}

bool SingleCopy::closeRunningCopy(std::chrono::milliseconds bound) {
    QElapsedTimer clock;
    clock.start();
    auto left = [&] { return std::max<qint64>(0, bound.count() - clock.elapsed()); };

    QLocalSocket socket;
    socket.connectToServer(endpoint_);
    if (!socket.waitForConnected(static_cast<int>(std::min<qint64>(left(), 5000))))
        return false;  // nobody there, or a dead copy's leftover
    socket.write(closeRequest);
    if (!socket.waitForBytesWritten(static_cast<int>(left()))) return true;

    QByteArray answer;
    while (!answer.contains('\n') && left() > 0) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(left())))
            break;  // hung up (it has ended) or the bound is reached
        answer += socket.readAll();
    }
    socket.abort();
    return true;
}

bool SingleCopy::listen(std::function<void()> closeRequested) {
    closeRequested_ = std::move(closeRequested);
    if (server_.listen(endpoint_)) return true;
    // Whatever is left there no longer answers (closeRunningCopy went first): replace it.
    QLocalServer::removeServer(endpoint_);
    return server_.listen(endpoint_);
}

void SingleCopy::serve(QLocalSocket* socket) {
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) return;
        QByteArray line = socket->readLine();
        if (line != closeRequest) {
            socket->abort();
            return;
        }
        if (closeRequested_) closeRequested_();
        // Let go of the endpoint before answering, so that the next copy can listen on it
        // without this copy's shutdown removing the new socket file.
        server_.close();
        socket->write(closedAnswer);
        socket->waitForBytesWritten(1000);
        socket->disconnectFromServer();
    });
}
