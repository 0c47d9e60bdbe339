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
    // Bounds that keep slow, idle or broken clients from blinding the server: it holds thousands
    // of connections at once, so a flood of idle ones never keeps Prometheus waiting; one address
    // gets half of them at most and is refused beyond that, so the other addresses always get
    // in; a connection silent this long is closed, and a request whose line and headers do not
    // fit in its memory is refused. A client that trickles its request is held until one of
    // these bounds meets it, while every other client goes on being answered.
    static constexpr unsigned ConnectionLimit = 4096;
    static constexpr unsigned AddressConnectionLimit = ConnectionLimit / 2;
    static constexpr unsigned IdleSeconds = 5;
    static constexpr size_t ConnectionMemoryBytes = 16 * 1024;

    explicit MetricsServer(unsigned connectionLimit = ConnectionLimit,
                           unsigned addressConnectionLimit = AddressConnectionLimit);
    ~MetricsServer(); // closes every connection, then returns
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    // Starts listening; refused when the address cannot be taken. Raises the process's
    // open-file limit as far as the connections need and the system allows, and holds fewer
    // connections where it allows less.
    Result<void> start(const ListenAddress &address);
    quint16 port() const; // the port taken (a free one when the address asked for 0)

    // The page for /metrics from now on. Called from the thread that reads the units.
    void publish(const QByteArray &page);
    // The page a scrape gets now. Called from the server's thread.
    QByteArray latest() const;

private:
    unsigned connectionLimit;
    unsigned addressConnectionLimit;
    MHD_Daemon *daemon = nullptr;
    mutable std::mutex pageMutex;
    QByteArray page; // implicitly shared: a scrape takes its own reference under the lock
};
