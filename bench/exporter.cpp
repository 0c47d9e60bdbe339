// quadmeter-cli serve reading four prompt simulated units at --every 1: how long a scrape of
// /metrics takes (median and 99th percentile of 1,000, each on a fresh loopback connection), the
// exporter's CPU share while nobody scrapes, its memory after 100 scrapes against after 10,000, and
// the same scrape's median and 99th percentile while 1,000 idle connections are held open from the
// same address, with the exporter's memory while it holds them. Prints figures; judges nothing.
#include "sim/ptyhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Units = 4;

QByteArray scrape(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET /metrics HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    return answer + socket.readAll();
}

// A field of /proc/PID/status in kB, or the process's CPU time in seconds from /proc/PID/stat.
long statusKilobytes(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command's closing parenthesis: utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong())
        / double(sysconf(_SC_CLK_TCK));
}

int unitsUp(const QByteArray &page)
{
    int up = 0;
    for (const QByteArray &line : page.split('\n'))
        up += line.startsWith("quadmeter_up{") && line.endsWith("} 1");
    return up;
}

// Connections that never say a word, as many as `count`; fewer where the open-file limit stops
// them.
std::vector<int> idleConnections(quint16 port, int count)
{
    rlimit files {};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<int> held;
    while (int(held.size()) < count) {
        const int connection = socket(AF_INET, SOCK_STREAM, 0);
        if (connection < 0)
            break;
        held.push_back(connection);
        if (::connect(connection, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
            break;
    }
    return held;
}

double percentile(std::vector<double> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, size_t(p * double(samples.size())))];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<PtyHost>> hosts;
    QStringList arguments {"serve", "--listen", "127.0.0.1:0", "--every", "1"};
    for (int unit = 0; unit < Units; ++unit) {
        hosts.push_back(std::make_unique<PtyHost>(QString(), unit));
        if (!hosts.back()->start()) {
            std::fprintf(stderr, "cannot start the simulated units\n");
            return 1;
        }
        arguments << "--port" << hosts.back()->portPath();
    }
    QProcess serve;
    serve.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE), arguments);
    serve.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("/metrics\n") && serve.waitForReadyRead(10000))
        said += serve.readAll();
    const int at = said.indexOf("http://127.0.0.1:");
    const quint16 port = quint16(said.mid(at + 17).split('/').first().toUInt());
    if (at < 0 || port == 0) {
        std::fprintf(stderr, "quadmeter-cli serve did not start: %s\n", said.constData());
        return 1;
    }
    QElapsedTimer started;
    started.start();
    while (unitsUp(scrape(port)) < Units) {
        if (started.elapsed() > 30000) {
            std::fprintf(stderr, "the four units did not come up\n");
            return 1;
        }
        QThread::msleep(100);
    }

    std::vector<double> latencies;
    long rssAfter100 = 0;
    for (int i = 0; i < 10000; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QByteArray page = scrape(port);
        if (i < 1000)
            latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!page.contains(" 200 ")) {
            std::fprintf(stderr, "scrape %d failed\n", i + 1);
            return 1;
        }
        if (i + 1 == 100)
            rssAfter100 = statusKilobytes(serve.processId(), "VmRSS");
    }
    const long rssAfter10000 = statusKilobytes(serve.processId(), "VmRSS");

    // Scraped as often again while the idle connections are held: all within the exporter's idle
    // timeout, which closes them after five seconds.
    const std::vector<int> held = idleConnections(port, 1000);
    QThread::msleep(200); // the exporter accepts them
    const long rssHolding = statusKilobytes(serve.processId(), "VmRSS");
    std::vector<double> floodedLatencies;
    for (int i = 0; i < 1000; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!scrape(port).contains(" 200 ")) {
            std::fprintf(stderr, "scrape %d among the idle connections failed\n", i + 1);
            return 1;
        }
        floodedLatencies.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    for (int connection : held)
        ::close(connection);

    constexpr int IdleSeconds = 10;
    const double cpuBefore = cpuSeconds(serve.processId());
    QThread::sleep(IdleSeconds);
    const double cpuShare = (cpuSeconds(serve.processId()) - cpuBefore) / IdleSeconds;

    std::printf("scrape of /metrics, %d units at --every 1, over 1000 scrapes:\n", Units);
    std::printf("  median   %.3f ms\n  99th pct %.3f ms\n", percentile(latencies, 0.5),
                percentile(latencies, 0.99));
    std::printf("the same while %zu idle connections are held open:\n", held.size());
    std::printf("  median   %.3f ms\n  99th pct %.3f ms\n", percentile(floodedLatencies, 0.5),
                percentile(floodedLatencies, 0.99));
    std::printf("exporter's memory (RSS) while holding them: %ld kB (%+ld kB)\n", rssHolding,
                rssHolding - rssAfter10000);
    std::printf("exporter's CPU share between scrapes: %.2f %% of one core\n", cpuShare * 100);
    std::printf("exporter's memory (RSS): %ld kB after 100 scrapes, %ld kB after 10000 (%+ld kB)\n",
                rssAfter100, rssAfter10000, rssAfter10000 - rssAfter100);
    serve.terminate();
    serve.waitForFinished(10000);
    return 0;
}
