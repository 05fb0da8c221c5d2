#include "app/win32/remotestart.h"

#include "app/win32/Unit1.h"
#include "app/win32/controls.h"
#include "app/win32/dialogs.h"

std::unique_ptr<RemoteServer> startRemoteControl(const kivo::RemoteChoice& choice, TForm1& form1) {
    std::unique_ptr<RemoteServer> server;
    std::string problem;
    if (choice.endpoint) {
        server = std::make_unique<RemoteServer>(form1.control());
        std::string reason;
        if (!server->listen(*choice.endpoint, reason)) {
            problem = kivo::remoteListenFailedMessage(choice.endpoint->text(), reason);
            server.reset();
        }
    } else if (!choice.error.empty()) {
        problem = kivo::remoteEnvironmentMessage(choice.error);
    }
    // From the message loop, so that a close request while the box is up ends the program.
    if (!problem.empty()) later([problem] { showMessage(problem); });
    return server;
}
