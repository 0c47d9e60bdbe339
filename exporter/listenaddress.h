#pragma once

// Where the exporter takes its scrapes: an IP address and a TCP port, as the operator writes them.
#include "values/result.h"

#include <QString>

// The port scrapes reach by default; the common exporters take theirs from 9100-9999, and this
// one lies outside that range.
constexpr quint16 DefaultMetricsPort = 19340;

struct ListenAddress
{
    QString host
        = QStringLiteral("127.0.0.1"); // numeric IPv4 or IPv6 address; loopback unless named
    quint16 port = DefaultMetricsPort; // 0: any free port
    bool ipv6 = false;
};

// "127.0.0.1:19340", "0.0.0.0:19340", "[::1]:19340", or an address alone for the default port.
// Anything else is refused: a host name, a port beyond 65535.
Result<ListenAddress> parseListenAddress(const QString &text);
