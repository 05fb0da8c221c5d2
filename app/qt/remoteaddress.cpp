#include "app/qt/remoteaddress.h"

#include <QStringList>

namespace {

bool allDigits(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

std::optional<quint16> parsePort(const QString& text) {
    if (!allDigits(text) || text.size() > 5) return std::nullopt;
    int port = text.toInt();
    if (port < 1 || port > 65535) return std::nullopt;
    return static_cast<quint16>(port);
}

// Four decimal parts 0..255: the address parser alone would also take "127.1".
bool dottedQuad(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return false;
    for (const QString& part : parts)
        if (!allDigits(part) || part.size() > 3 || part.toInt() > 255) return false;
    return true;
}

}  // namespace

QString RemoteEndpoint::text() const {
    QString host = address.toString();
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return host + QLatin1Char(':') + QString::number(port);
}

std::optional<RemoteEndpoint> parseRemoteEndpoint(const QString& value, QString& error) {
    RemoteEndpoint endpoint;
    QString host;
    QString port = value;
    if (value.startsWith(QLatin1Char('['))) {
        const int close = value.indexOf(QLatin1String("]:"));
        if (close < 0) {
            error = QStringLiteral("an IPv6 address needs a port: [ADDRESS]:PORT");
            return std::nullopt;
        }
        host = value.mid(1, close - 1);
        port = value.mid(close + 2);
        if (!endpoint.address.setAddress(host) ||
            endpoint.address.protocol() != QAbstractSocket::IPv6Protocol) {
            error = QStringLiteral("not an IPv6 address: ") + host;
            return std::nullopt;
        }
    } else if (const int colon = value.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        host = value.left(colon);
        port = value.mid(colon + 1);
        if (!dottedQuad(host) || !endpoint.address.setAddress(host)) {
            error = QStringLiteral("not an IPv4 address (write IPv6 as [ADDRESS]:PORT): ") + host;
            return std::nullopt;
        }
    }
    auto number = parsePort(port);
    if (!number) {
        error = QStringLiteral("not a port number (1 to 65535): ") + port;
        return std::nullopt;
    }
    endpoint.port = *number;
    return endpoint;
}

RemoteChoice chooseRemote(const kivo::CommandLine& line, const char* environment) {
    RemoteChoice choice;
    QString value;
    if (const kivo::CommandLine::Option* option = line.find("remote")) {
        choice.fromOption = true;
        if (!option->value) {
            choice.endpoint = RemoteEndpoint{};
            return choice;
        }
        value = QString::fromLocal8Bit(option->value->c_str());
    } else if (environment && *environment) {
        value = QString::fromLocal8Bit(environment);
    } else {
        return choice;
    }
    choice.endpoint = parseRemoteEndpoint(value, choice.error);
    return choice;
}
