#pragma once

// Answers scrapes over HTTP from libmicrohttpd's own thread, with the page the exporter last
// published: a scrape never waits for a unit, and two scrapes at once get the same bytes.
#include "exporter/listenaddress.h"

#include <QByteArray>
#include <QString>

#include <mutex>

struct MHD_Daemon;

class MetricsServer
{
public:
    // Bounds that keep a slow or broken client from holding the server: further connections are
    // refused beyond the limit, one that stays idle this long is closed, and a request whose line
    // and headers do not fit in its memory is refused.
    static constexpr unsigned ConnectionLimit = 32;
    static constexpr unsigned IdleSeconds = 5;
    static constexpr size_t ConnectionMemoryBytes = 16 * 1024;

    MetricsServer() = default;
    ~MetricsServer(); // closes every connection, then returns
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    // Starts listening; refused when the address cannot be taken.
    Result<void> start(const ListenAddress &address);
    quint16 port() const; // the port taken (a free one when the address asked for 0)

    // The page for /metrics from now on. Called from the thread that reads the units.
    void publish(const QByteArray &page);
    // The page a scrape gets now. Called from the server's thread.
    QByteArray latest() const;

private:
    MHD_Daemon *daemon = nullptr;
    mutable std::mutex pageMutex;
    QByteArray page; // implicitly shared: a scrape takes its own reference under the lock
};
