// The remote-control server beside the main window, as the command line or the
// environment chose it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/qt/remoteserver.h"
#include "core/remoteaddress.h"

class TForm1;

// The address check of the endpoint's rules: what Qt's sockets take as an address of
// that kind, written as they write it.
std::optional<std::string> socketAddress(const std::string& host, bool ipv6);

// Listens where `choice` says (nullptr when it says nothing); the server stops when the
// window has closed. An address that cannot be bound, or a value that cannot be used, is
// told in a message box once the message loop runs, and the program goes on without it.
std::unique_ptr<RemoteServer> startRemoteControl(const kivo::RemoteChoice& choice, TForm1& form1);
