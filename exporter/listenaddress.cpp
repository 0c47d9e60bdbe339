#include "exporter/listenaddress.h"

#include <arpa/inet.h>

namespace {

bool isAddress(const QString &host, int family)
{
    unsigned char bytes[16];
    return inet_pton(family, host.toLatin1().constData(), bytes) == 1;
}

} // namespace

bool parseListenAddress(const QString &text, ListenAddress &address, QString &problem)
{
    QString host = text;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0 || (close + 1 < text.size() && text.at(close + 1) != QLatin1Char(':'))) {
            problem = QStringLiteral("\"%1\" is not ADDRESS:PORT").arg(text);
            return false;
        }
        host = text.mid(1, close - 1);
        port = close + 1 < text.size() ? text.mid(close + 2) : QString();
    } else if (text.count(QLatin1Char(':')) == 1) {
        host = text.section(QLatin1Char(':'), 0, 0);
        port = text.section(QLatin1Char(':'), 1);
    }
    ListenAddress parsed;
    parsed.ipv6 = !isAddress(host, AF_INET);
    if (parsed.ipv6 && !isAddress(host, AF_INET6)) {
        problem = QStringLiteral("\"%1\" is not an IP address").arg(host);
        return false;
    }
    parsed.host = host;
    parsed.port = DefaultMetricsPort;
    if (!text.startsWith(QLatin1Char('[')) && text.count(QLatin1Char(':')) > 1)
        port.clear(); // a bare IPv6 address: its colons are its own
    else if (!port.isNull()) {
        bool ok = false;
        const uint number = port.toUInt(&ok);
        if (!ok || number > 65535) {
            problem = QStringLiteral("\"%1\" is not a TCP port").arg(port);
            return false;
        }
        parsed.port = quint16(number);
    }
    address = parsed;
    return true;
}
