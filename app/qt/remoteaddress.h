// Where the remote-control server listens: the value of --remote=... or KIVO_REMOTE.
#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

#include "core/commandline.h"

inline constexpr quint16 kDefaultRemotePort = 4532;

struct RemoteEndpoint {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = kDefaultRemotePort;

    // "127.0.0.1:4532", "[::1]:4532".
    QString text() const;
};

// "PORT" (on 127.0.0.1), "A.B.C.D:PORT" or "[IPv6]:PORT", PORT from 1 to 65535. Nothing
// else: no host names, no IPv6 without brackets. On failure `error` says what is wrong.
std::optional<RemoteEndpoint> parseRemoteEndpoint(const QString& value, QString& error);

// Whether and where to serve: --remote (a bare one: 127.0.0.1:4532) wins over
// KIVO_REMOTE; an unset or empty KIVO_REMOTE is off.
struct RemoteChoice {
    std::optional<RemoteEndpoint> endpoint;  // nullopt: no server
    QString error;                           // a value that cannot be used, and why
    bool fromOption = false;
};
RemoteChoice chooseRemote(const kivo::CommandLine& line, const char* environment);
