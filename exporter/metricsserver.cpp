#include "exporter/metricsserver.h"

#include "exporter/metricstext.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/resource.h>

#include <algorithm>
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

// Files the exporter keeps open besides its connections: the listening socket, the event loop's
// own, the units' ports, the log files and what the libraries hold.
constexpr rlim_t OtherFiles = 64;

// How many connections the open-file limit lets the server hold, once the limit is raised as far
// as `wanted` connections need and the system's hard limit allows. A service starts with a small
// limit (1024 under systemd) that would otherwise cap the connections well below `wanted`.
unsigned connectionsFilesAllow(unsigned wanted)
{
    rlimit files {};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return wanted;
    const rlim_t needed = wanted + OtherFiles;
    if (files.rlim_cur < needed) {
        rlimit raised = files;
        raised.rlim_cur = std::min(needed, files.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            files = raised;
    }
    if (files.rlim_cur >= needed)
        return wanted;
    return unsigned(std::max(files.rlim_cur, 2 * OtherFiles) - OtherFiles);
}

} // namespace

MetricsServer::MetricsServer(unsigned connectionLimit, unsigned addressConnectionLimit)
    : connectionLimit(connectionLimit)
    , addressConnectionLimit(addressConnectionLimit)
{ }

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
    // One thread of libmicrohttpd's own polls every connection with the best loop the system has
    // (epoll on Linux, which is not bound to the first 1024 files as select is), so a client that
    // stalls holds no thread and the others go on being answered.
    const unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD;
    const unsigned connections = connectionsFilesAllow(connectionLimit);
    // Where the files allow fewer connections, one address still gets half of them at most.
    const unsigned perAddress = connections < connectionLimit
        ? std::min(addressConnectionLimit, std::max(connections / 2, 1u))
        : addressConnectionLimit;
    const auto listen = [&](unsigned family) {
        return MHD_start_daemon(
            flags | family, address.port, nullptr, nullptr, &answer, this, MHD_OPTION_SOCK_ADDR,
            where, MHD_OPTION_CONNECTION_LIMIT, connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
            perAddress, MHD_OPTION_CONNECTION_TIMEOUT, IdleSeconds,
            MHD_OPTION_CONNECTION_MEMORY_LIMIT, ConnectionMemoryBytes, MHD_OPTION_END);
    };
    // An IPv6 address takes IPv4 too where the system lets one socket carry both, as a listener
    // on [::] is expected to; IPv6 alone where it does not.
    daemon = address.ipv6 ? listen(MHD_USE_DUAL_STACK) : listen(0);
    if (!daemon && address.ipv6)
        daemon = listen(MHD_USE_IPv6);
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
