// Where the remote-control server listens: the value of --remote=... or KIVO_REMOTE.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/commandline.h"

namespace kivo {

inline constexpr std::uint16_t kDefaultRemotePort = 4532;

struct RemoteEndpoint {
    std::string address = "127.0.0.1";  // as the sockets write it: IPv6 without brackets
    bool ipv6 = false;
    std::uint16_t port = kDefaultRemotePort;

    // "127.0.0.1:4532", "[::1]:4532".
    std::string text() const;
};

// Whether the front end's sockets take `host` as an address of that kind; if so, the
// address as they write it.
using AddressCheck = std::function<std::optional<std::string>(const std::string& host, bool ipv6)>;

// "PORT" (on 127.0.0.1), "A.B.C.D:PORT" or "[IPv6]:PORT", PORT from 1 to 65535. Nothing
// else: no host names, no IPv6 without brackets. On failure `error` says what is wrong.
std::optional<RemoteEndpoint> parseRemoteEndpoint(const std::string& value, std::string& error,
                                                  const AddressCheck& check);

// Whether and where to serve: --remote (a bare one: 127.0.0.1:4532) wins over
// KIVO_REMOTE; an unset or empty KIVO_REMOTE is off.
struct RemoteChoice {
    std::optional<RemoteEndpoint> endpoint;  // nullopt: no server
    std::string error;                       // a value that cannot be used, and why
    bool fromOption = false;
};
RemoteChoice chooseRemote(const CommandLine& line, const char* environment,
                          const AddressCheck& check);

// What the user is told when the server cannot listen at `where` for `reason`, and when
// KIVO_REMOTE holds a value that cannot be used.
std::string remoteListenFailedMessage(const std::string& where, const std::string& reason);
std::string remoteEnvironmentMessage(const std::string& error);

}  // namespace kivo
