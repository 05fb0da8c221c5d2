#include "app/qt/remotestart.h"

#include <QTimer>

#include "app/qt/Unit1.h"
#include "app/qt/dialogs.h"

std::unique_ptr<RemoteServer> startRemoteControl(const RemoteChoice& choice, TForm1& form1) {
    std::unique_ptr<RemoteServer> server;
    QString problem;
    if (choice.endpoint) {
        server = std::make_unique<RemoteServer>(form1.control());
        // Clients act like the user: once the window has closed, nothing of theirs runs.
        QObject::connect(&form1, &TForm1::closed, server.get(), &RemoteServer::close);
        if (!server->listen(choice.endpoint->address, choice.endpoint->port)) {
            problem = remoteListenFailedMessage(choice.endpoint->text(), server->errorString());
            server.reset();
        }
    } else if (!choice.error.isEmpty()) {
        problem = QString::fromUtf8("環境変数 KIVO_REMOTE が正しくありません: ") + choice.error;
    }
    // From the message loop, so that a close request while the box is up ends the program.
    if (!problem.isEmpty())
        QTimer::singleShot(0, &form1, [problem] { dialogs().showMessage(problem); });
    return server;
}
