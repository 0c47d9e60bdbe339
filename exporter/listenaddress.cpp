#include "exporter/listenaddress.h"

#include <arpa/inet.h>

namespace {

bool isAddress(const QString &host, int family)
{
    unsigned char bytes[16];
    return inet_pton(family, host.toLatin1().constData(), bytes) == 1;
}

} // namespace

Result<ListenAddress> parseListenAddress(const QString &text)
{
    QString host = text;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0 || (close + 1 < text.size() && text.at(close + 1) != QLatin1Char(':')))
            return Failure {QStringLiteral("\"%1\" is not ADDRESS:PORT").arg(text)};
        host = text.mid(1, close - 1);
        port = close + 1 < text.size() ? text.mid(close + 2) : QString();
    } else if (text.count(QLatin1Char(':')) == 1) {
        host = text.section(QLatin1Char(':'), 0, 0);
        port = text.section(QLatin1Char(':'), 1);
    }
    ListenAddress parsed;
    parsed.ipv6 = !isAddress(host, AF_INET);
    if (parsed.ipv6 && !isAddress(host, AF_INET6))
        return Failure {QStringLiteral("\"%1\" is not an IP address").arg(host)};
    parsed.host = host;
    parsed.port = DefaultMetricsPort;
    if (!text.startsWith(QLatin1Char('[')) && text.count(QLatin1Char(':')) > 1)
        port.clear(); // a bare IPv6 address: its colons are its own
    else if (!port.isNull()) {
        bool ok = false;
        const uint number = port.toUInt(&ok);
        if (!ok || number > 65535)
            return Failure {QStringLiteral("\"%1\" is not a TCP port").arg(port)};
        parsed.port = quint16(number);
    }
    return parsed;
}
