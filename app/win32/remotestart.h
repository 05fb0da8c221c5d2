// The remote-control server beside the main window, as the command line or the
// environment chose it.
#pragma once

#include <memory>

#include "app/win32/remoteserver.h"
#include "core/remoteaddress.h"

class TForm1;

// Listens where `choice` says (nullptr when it says nothing). An address that cannot be
// bound, or a value that cannot be used, is told in a message box once the message loop
// runs, and the program goes on without it.
std::unique_ptr<RemoteServer> startRemoteControl(const kivo::RemoteChoice& choice, TForm1& form1);
