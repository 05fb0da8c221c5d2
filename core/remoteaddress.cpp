#include "core/remoteaddress.h"

#include "core/messages.h"

namespace kivo {

namespace {

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

std::optional<std::uint16_t> parsePort(const std::string& text) {
    if (!allDigits(text) || text.size() > 5) return std::nullopt;
    const int port = std::stoi(text);
    if (port < 1 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

// Four decimal parts 0..255: an address parser alone may also take "127.1".
bool dottedQuad(const std::string& text) {
    int parts = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t dot = text.find('.', from);
        const std::string part = text.substr(from, dot == std::string::npos ? dot : dot - from);
        if (!allDigits(part) || part.size() > 3 || std::stoi(part) > 255) return false;
        ++parts;
        if (dot == std::string::npos) return parts == 4;
        from = dot + 1;
    }
}

}  // namespace

std::string RemoteEndpoint::text() const {
    return (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::optional<RemoteEndpoint> parseRemoteEndpoint(const std::string& value, std::string& error,
                                                  const AddressCheck& check) {
    RemoteEndpoint endpoint;
    std::string port = value;
    if (value.starts_with('[')) {
        const std::size_t close = value.find("]:");
        if (close == std::string::npos) {
            error = "an IPv6 address needs a port: [ADDRESS]:PORT";
            return std::nullopt;
        }
        const std::string host = value.substr(1, close - 1);
        port = value.substr(close + 2);
        std::optional<std::string> address = check(host, true);
        if (!address) {
            error = "not an IPv6 address: " + host;
            return std::nullopt;
        }
        endpoint.address = *address;
        endpoint.ipv6 = true;
    } else if (const std::size_t colon = value.rfind(':'); colon != std::string::npos) {
        const std::string host = value.substr(0, colon);
        port = value.substr(colon + 1);
        std::optional<std::string> address = dottedQuad(host) ? check(host, false) : std::nullopt;
        if (!address) {
            error = "not an IPv4 address (write IPv6 as [ADDRESS]:PORT): " + host;
            return std::nullopt;
        }
        endpoint.address = *address;
    }
    const std::optional<std::uint16_t> number = parsePort(port);
    if (!number) {
        error = "not a port number (1 to 65535): " + port;
        return std::nullopt;
    }
    endpoint.port = *number;
    return endpoint;
}

RemoteChoice chooseRemote(const CommandLine& line, const char* environment,
                          const AddressCheck& check) {
    RemoteChoice choice;
    std::string value;
    if (const CommandLine::Option* option = line.find("remote")) {
        choice.fromOption = true;
        if (!option->value) {
            choice.endpoint = RemoteEndpoint{};
            return choice;
        }
        value = *option->value;
    } else if (environment && *environment) {
        value = environment;
    } else {
        return choice;
    }
    choice.endpoint = parseRemoteEndpoint(value, choice.error, check);
    return choice;
}

std::string remoteListenFailedMessage(const std::string& where, const std::string& reason) {
    return message(Msg::RemoteListenFailed, {{"address", where}, {"reason", reason}});
}

std::string remoteEnvironmentMessage(const std::string& error) {
    return message(Msg::RemoteEnvironment, {{"error", error}});
}

}  // namespace kivo
