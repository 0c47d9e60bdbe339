#include "exporter/metricsserver.h"

#include "exporter/metricstext.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstring>

namespace {

const QByteArray homePage = QByteArrayLiteral(
    "<!DOCTYPE html><html><head><title>Quadmeter exporter</title></head><body>The readings of the "
    "units are at <a href=\"/metrics\">/metrics</a>.</body></html>\n");

MHD_Result reply(MHD_Connection *connection, unsigned status, const QByteArray &body,
                 const char *contentType)
{
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

// Only reading: nothing that switches a relay or touches a calibration is reachable from here.
// The answer is queued as soon as the request's line and headers are in; a body that came with
// it is never read, and the connection is closed after the answer.
MHD_Result answer(void *cls, MHD_Connection *connection, const char *url, const char *method,
                  const char *, const char *, size_t *, void **)
{
    const bool metrics = std::strcmp(url, "/metrics") == 0;
    if (!metrics && std::strcmp(url, "/") != 0)
        return reply(connection, MHD_HTTP_NOT_FOUND, "Not found: the readings are at /metrics.\n",
                     "text/plain; charset=utf-8");
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0
        && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
        return reply(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD are answered.\n",
                     "text/plain; charset=utf-8");
    if (!metrics)
        return reply(connection, MHD_HTTP_OK, homePage, "text/html; charset=utf-8");
    return reply(connection, MHD_HTTP_OK, static_cast<const MetricsServer *>(cls)->latest(),
                 MetricsContentType);
}

} // namespace

MetricsServer::~MetricsServer()
{
    if (daemon)
        MHD_stop_daemon(daemon);
}

Result<void> MetricsServer::start(const ListenAddress &address)
{
    sockaddr_in v4 {};
    sockaddr_in6 v6 {};
    const sockaddr *where = nullptr;
    const QByteArray host = address.host.toLatin1();
    if (address.ipv6) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(address.port);
        inet_pton(AF_INET6, host.constData(), &v6.sin6_addr);
        where = reinterpret_cast<const sockaddr *>(&v6);
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(address.port);
        inet_pton(AF_INET, host.constData(), &v4.sin_addr);
        where = reinterpret_cast<const sockaddr *>(&v4);
    }
    // One thread of libmicrohttpd's own polls every connection, so a client that stalls holds
    // no thread and the others go on being answered.
    unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD;
    if (address.ipv6)
        flags |= MHD_USE_IPv6;
    daemon = MHD_start_daemon(
        flags, address.port, nullptr, nullptr, &answer, this, MHD_OPTION_SOCK_ADDR, where,
        MHD_OPTION_CONNECTION_LIMIT, ConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT, IdleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, ConnectionMemoryBytes, MHD_OPTION_END);
    if (!daemon) {
        return Failure {QStringLiteral("cannot listen on %1 port %2 (taken, or not an address of "
                                       "this computer)")
                            .arg(address.host)
                            .arg(address.port)};
    }
    return {};
}

quint16 MetricsServer::port() const
{
    const MHD_DaemonInfo *info
        = daemon ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    return info ? info->port : 0;
}

void MetricsServer::publish(const QByteArray &next)
{
    std::lock_guard<std::mutex> lock(pageMutex);
    page = next;
}

QByteArray MetricsServer::latest() const
{
    std::lock_guard<std::mutex> lock(pageMutex);
    return page;
}
