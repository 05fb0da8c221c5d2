#include "app/qt/remotestart.h"

#include <QHostAddress>
#include <QTimer>

#include "app/qt/Unit1.h"
#include "app/qt/dialogs.h"

std::optional<std::string> socketAddress(const std::string& host, bool ipv6) {
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(host)) ||
        (address.protocol() == QAbstractSocket::IPv6Protocol) != ipv6)
        return std::nullopt;
    return address.toString().toStdString();
}

std::unique_ptr<RemoteServer> startRemoteControl(const kivo::RemoteChoice& choice, TForm1& form1) {
    std::unique_ptr<RemoteServer> server;
    QString problem;
    if (choice.endpoint) {
        server = std::make_unique<RemoteServer>(form1.control());
        // Clients act like the user: once the window has closed, nothing of theirs runs.
        QObject::connect(&form1, &TForm1::closed, server.get(), &RemoteServer::close);
        const QHostAddress address(QString::fromStdString(choice.endpoint->address));
        if (!server->listen(address, choice.endpoint->port)) {
            problem = QString::fromStdString(kivo::remoteListenFailedMessage(
                choice.endpoint->text(), server->errorString().toStdString()));
            server.reset();
        }
    } else if (!choice.error.empty()) {
        problem = QString::fromStdString(kivo::remoteEnvironmentMessage(choice.error));
    }
    // From the message loop, so that a close request while the box is up ends the program.
    if (!problem.isEmpty())
        QTimer::singleShot(0, &form1, [problem] { dialogs().showMessage(problem); });
    return server;
}
