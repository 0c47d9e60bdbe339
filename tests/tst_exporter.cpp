// quadmeter-cli serve: the page Prometheus reads, the HTTP server's bounds, how a unit is followed
// from port to port, and a whole run against a real Prometheus.
#include "exporter/listenaddress.h"
#include "exporter/metricsserver.h"
#include "exporter/metricstext.h"
#include "exporter/unitlogs.h"
#include "exporter/unitpoller.h"
#include "sim/ptyhost.h"
#include "tests/support/floatbits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>

#include <sys/resource.h>

namespace {

// Sends `request` as it is, from the loopback address `from`; all that came back until the server
// closed the connection.
QByteArray exchangeHttp(quint16 port, const QByteArray &request,
                        const QString &from = QStringLiteral("127.0.0.1"))
{
    QTcpSocket socket;
    socket.bind(QHostAddress(from));
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    socket.waitForConnected(10000);
    socket.write(request);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    return answer + socket.readAll();
}

QByteArray body(quint16 port, const QByteArray &path,
                const QString &from = QStringLiteral("127.0.0.1"))
{
    const QByteArray answer = exchangeHttp(
        port, "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", from);
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

// A program the test started, ended by its id when the test ends, however it ends.
struct Child
{
    ~Child()
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(10000);
    }
    QProcess process;
};

// The value of the one series `expression` selects, as Prometheus's HTTP API gives it now; empty
// while there is none.
QString query(quint16 port, const QString &expression)
{
    const QByteArray answer
        = body(port, "/api/v1/query?query=" + QUrl::toPercentEncoding(expression));
    const QJsonArray result = QJsonDocument::fromJson(answer)["data"]["result"].toArray();
    return result.size() != 1 ? QString() : result[0]["value"][1].toString();
}

bool pollUntil(UnitPoller &poller, const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000)
        QThread::msleep(ulong(poller.pollDue([](const QByteArray &) {}, [](const QString &) {})));
    return done();
}

} // namespace

class ExporterTest : public QObject
{
    Q_OBJECT

private slots:
    void sampleValues_data();
    void sampleValues();
    void unitDownShowsNoStaleReadings();
    void listenAddresses_data();
    void listenAddresses();
    void httpAnswers_data();
    void httpAnswers();
    void requestThatNeverEndsIsCutOff();
    void idleFloodDoesNotBlind_data();
    void idleFloodDoesNotBlind();
    void anyIpv6AddressTakesIpv4Too();
    void smallFileLimitIsRaised();
    void unitFollowedBySerialNumber();
    void namedPortsAreAllThatIsRead();
    void prometheusFollowsTheUnit();
    void serveLogsEachUnitAsLogDoes();
    void restartedServeGoesOnBelowItsLogs();
};

void ExporterTest::sampleValues_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("room temperature") << 295.003f << QByteArray("295.003");
    QTest::newRow("microvolts") << 2.28659e-06f << QByteArray("2.28659e-06");
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << QByteArray("NaN");
    QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << QByteArray("+Inf");
    QTest::newRow("minus infinite")
        << -std::numeric_limits<float>::infinity() << QByteArray("-Inf");
}

void ExporterTest::sampleValues()
{
    QFETCH(float, value);
    QTEST(sampleValue(value), "text");
}

void ExporterTest::unitDownShowsNoStaleReadings()
{
    UnitMetrics up;
    up.port = QStringLiteral("ttyACM0");
    up.serial = QStringLiteral("Q1");
    up.up = true;
    up.channels[0].temperature = 295.5f;
    up.relays = std::array<bool, 2> {false, true};
    UnitMetrics down = up;
    down.port = QStringLiteral("a\"b\\c\nd");
    down.serial.clear();
    down.up = false;
    down.lastReadingMs = 1765152000250;
    const QByteArray page = metricsText({up, down});
    for (const char *line :
         {"# TYPE quadmeter_temperature_kelvin gauge\n",
          "quadmeter_temperature_kelvin{channel=\"1\",port=\"ttyACM0\",serial=\"Q1\"} 295.5\n",
          "quadmeter_relay_on{relay=\"2\",port=\"ttyACM0\",serial=\"Q1\"} 1\n",
          "quadmeter_up{port=\"a\\\"b\\\\c\\nd\"} 0\n",
          "quadmeter_last_reading_timestamp_seconds{port=\"a\\\"b\\\\c\\nd\"} 1765152000.25\n"})
        QVERIFY2(page.contains(line), line);
    QCOMPARE(page.count("port=\"a\\\""), 4); // up, the two counters, the time: no readings
}

void ExporterTest::listenAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read"); // "host port", " IPv6" after it, or the problem
    const auto row = [](const char *text, const char *read) {
        QTest::newRow(text) << text << read;
    };
    row("0.0.0.0:9123", "0.0.0.0 9123");
    row("[::1]:9123", "::1 9123 IPv6");
    row("::1", "::1 19340 IPv6");
    row("[::1]9123", "\"[::1]9123\" is not ADDRESS:PORT");
    row("127.0.0.1:65536", "\"65536\" is not a TCP port");
    row("localhost:9123", "\"localhost\" is not an IP address");
}

// An IPv6 address is listened on at the port it names.
void ExporterTest::listenAddresses()
{
    QFETCH(QString, text);
    const Result<ListenAddress> read = parseListenAddress(text);
    QTEST(read ? QStringLiteral("%1 %2%3")
                     .arg(read->host)
                     .arg(read->port)
                     .arg(read->ipv6 ? " IPv6" : "")
               : read.error(),
          "read");
    if (!read || !read->ipv6)
        return;
    QTcpServer probe; // a port free now
    if (!probe.listen(QHostAddress::LocalHostIPv6))
        QSKIP("no IPv6 loopback here");
    ListenAddress address = *read;
    address.port = probe.serverPort();
    probe.close();
    MetricsServer server;
    const Result<void> started = server.start(address);
    QVERIFY2(started, qPrintable(started.error()));
    QTcpSocket scraper;
    scraper.connectToHost(QHostAddress(address.host), address.port);
    QVERIFY(scraper.waitForConnected(10000));
}

void ExporterTest::httpAnswers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer"); // its status line, and the page when one comes
    const QByteArray end = " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    QTest::newRow("GET") << "GET /metrics" + end + "\r\n" << QByteArray("200 OK|up 1\n");
    QTest::newRow("HEAD") << "HEAD /metrics" + end + "\r\n" << QByteArray("200 OK|");
    QTest::newRow("wrong path") << "GET /metric" + end + "\r\n" << QByteArray("404 Not Found|");
    QTest::newRow("POST") << "POST /metrics" + end + "Content-Length: 4\r\n\r\nup=0"
                          << QByteArray("405 Method Not Allowed (Allow: GET, HEAD)|");
    QTest::newRow("headers too large") << "GET /metrics" + end + "X: " + QByteArray(64 * 1024, 'x')
            + "\r\n\r\n" << QByteArray("431 Request Header Fields Too Large|");
}

void ExporterTest::httpAnswers()
{
    QFETCH(QByteArray, request);
    MetricsServer server;
    const Result<void> started = server.start({QStringLiteral("127.0.0.1"), 0, false});
    QVERIFY2(started, qPrintable(started.error()));
    server.publish("up 1\n");
    const QByteArray answer = exchangeHttp(server.port(), request);
    const QByteArray page = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    const QByteArray allow = "Allow: GET, HEAD";
    QTEST(answer.mid(9, answer.indexOf('\r') - 9)
              + (answer.contains("\r\n" + allow + "\r\n") ? " (" + allow + ")" : "") + '|'
              + (page.startsWith("up") ? page : ""),
          "answer");
}

void ExporterTest::requestThatNeverEndsIsCutOff()
{
    MetricsServer server;
    QVERIFY(server.start({QStringLiteral("127.0.0.1"), 0, false}));
    server.publish("up 1\n");
    QTcpSocket stalled;
    stalled.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(stalled.waitForConnected(10000));
    stalled.write("GET /metrics HTTP/1.1\r\nHost: x\r\n");
    QVERIFY(stalled.waitForBytesWritten(10000));
    QCOMPARE(body(server.port(), "/metrics"), QByteArray("up 1\n")); // the others go on
    QTRY_VERIFY_WITH_TIMEOUT(stalled.state() == QAbstractSocket::UnconnectedState,
                             int(MetricsServer::IdleSeconds) * 1000 + 20000);
}

void ExporterTest::idleFloodDoesNotBlind_data()
{
    QTest::addColumn<unsigned>("addressLimit");
    QTest::addColumn<QString>("scrapeFrom");
    QTest::newRow("the flood's own address")
        << MetricsServer::AddressConnectionLimit << QStringLiteral("127.0.0.1");
    QTest::newRow("another address, the flood's at its limit")
        << 100u << QStringLiteral("127.0.0.2");
}

void ExporterTest::idleFloodDoesNotBlind()
{
    QFETCH(unsigned, addressLimit);
    QFETCH(QString, scrapeFrom);
    MetricsServer server(MetricsServer::ConnectionLimit, addressLimit);
    QVERIFY(server.start({QStringLiteral("127.0.0.1"), 0, false}));
    server.publish("up 1\n");
    std::vector<std::unique_ptr<QTcpSocket>> flood(300); // from 127.0.0.1, never a word
    for (auto &connection : flood) {
        connection = std::make_unique<QTcpSocket>();
        connection->connectToHost(QStringLiteral("127.0.0.1"), server.port());
        QVERIFY(connection->waitForConnected(10000));
    }
    const auto answeredWithinASecond = [&] {
        QElapsedTimer clock;
        clock.start();
        return body(server.port(), "/metrics", scrapeFrom) == "up 1\n" && clock.elapsed() < 1000;
    };
    QVERIFY(answeredWithinASecond());
    flood.clear(); // they go
    QVERIFY(answeredWithinASecond());
}

void ExporterTest::anyIpv6AddressTakesIpv4Too()
{
    MetricsServer server;
    if (!server.start({QStringLiteral("::"), 0, true}))
        QSKIP("no IPv6 on this computer");
    server.publish("up 1\n");
    QCOMPARE(body(server.port(), "/metrics"), QByteArray("up 1\n")); // from 127.0.0.1
}

// A service starts with few files allowed; the server raises the limit as far as its connections
// need.
void ExporterTest::smallFileLimitIsRaised()
{
    rlimit files {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &files) == 0);
    if (files.rlim_max < 2 * MetricsServer::ConnectionLimit)
        QSKIP("the hard limit here is below what the server wants");
    const rlimit before = files;
    files.rlim_cur = 256;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &files) == 0);
    MetricsServer server;
    const bool started = server.start({QStringLiteral("127.0.0.1"), 0, false}).ok();
    ::getrlimit(RLIMIT_NOFILE, &files);
    ::setrlimit(RLIMIT_NOFILE, &before);
    QVERIFY(started);
    QVERIFY(files.rlim_cur > MetricsServer::ConnectionLimit);
}

void ExporterTest::unitFollowedBySerialNumber()
{
    PtyHost a, b(QString(), 1);
    QVERIFY(a.start() && b.start());
    UnitPoller poller({}, 0.05, [&a, &b] {
        QList<PortEntry> ports;
        for (const auto &[host, serial] : {std::pair {&a, "A"}, std::pair {&b, "B"}}) {
            if (host->isServing())
                ports.append({host->portPath(), true, UnitVendorId, UnitProductId, serial});
        }
        return ports;
    });
    const auto up = [&poller](const QString &serial) {
        const QList<UnitMetrics> units = poller.metrics();
        return std::any_of(units.begin(), units.end(), [&](const UnitMetrics &unit) {
            return unit.serial == serial && unit.up;
        });
    };
    QVERIFY(pollUntil(poller, [&] { return up("A") && up("B"); }));
    const QString firstPort = a.portPath();
    a.hangUp();
    QVERIFY(pollUntil(poller, [&] { return !up("A"); }));
    QVERIFY(up("B"));
    QVERIFY(a.replug());
    QVERIFY(pollUntil(poller, [&] { return up("A"); }));
    // Still one series for the unit, under the name it was first found by.
    QCOMPARE(poller.metrics().size(), 2);
    QCOMPARE(poller.metrics().at(0).port, firstPort);
}

void ExporterTest::namedPortsAreAllThatIsRead()
{
    PtyHost a, b(QString(), 1);
    QVERIFY(a.start() && b.start());
    UnitPoller poller({a.portPath()}, 2, [&a, &b] {
        return QList<PortEntry> {{a.portPath(), true, UnitVendorId, UnitProductId, "A"},
                                 {b.portPath(), true, UnitVendorId, UnitProductId, "B"}};
    });
    QVERIFY(pollUntil(poller, [&poller] { return poller.metrics().at(0).up; }));
    QCOMPARE(poller.metrics().size(), 1); // the other attached unit is none of its business
    // The reading due after the interval slept counts, and the next waits for its interval.
    QVERIFY(poller.pollDue([](const QByteArray &) {}, [](const QString &) {}) > 0);
    QVERIFY(poller.metrics().at(0).readings > poller.metrics().at(0).failures);
}

void ExporterTest::prometheusFollowsTheUnit()
{
    PtyHost host;
    QVERIFY(host.start());
    host.withFirmware([](Firmware &firmware) { firmware.forceRaw(0, 4, bitsOf(291.25f)); });
    // The unit by a name of its own, as a udev link names it, so it keeps it when it comes back.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("unit"));
    QVERIFY(QFile::link(host.portPath(), link));

    Child serve;
    serve.process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                        {"serve", "--port", link, "--listen", "127.0.0.1:0", "--every", "0.5"});
    serve.process.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("/metrics\n") && serve.process.waitForReadyRead(30000))
        said += serve.process.readAll();
    QVERIFY2(said.contains("/metrics\n"), said.constData());
    const QByteArray address = said.mid(said.indexOf("http://") + 7).split('/').first();

    QTcpServer probe; // a free port for Prometheus's own
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 webPort = probe.serverPort();
    probe.close();
    QFile config(dir.filePath(QStringLiteral("prometheus.yml")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("global: {scrape_interval: 1s, scrape_timeout: 1s}\nscrape_configs:\n"
                 "  - {job_name: quadmeter, static_configs: [{targets: ['"
                 + address + "']}]}\n");
    config.close();
    Child prometheus;
    prometheus.process.setProcessChannelMode(QProcess::MergedChannels);
    prometheus.process.setStandardOutputFile(dir.filePath(QStringLiteral("prometheus.log")));
    prometheus.process.start(QStringLiteral("prometheus"),
                             {"--config.file=" + config.fileName(),
                              "--storage.tsdb.path=" + dir.filePath("data"),
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(webPort)});
    QVERIFY2(prometheus.process.waitForStarted(30000), "prometheus is not installed");

    const QString temperature = QStringLiteral("quadmeter_temperature_kelvin{channel=\"1\"}");
    QTRY_COMPARE_WITH_TIMEOUT(query(webPort, temperature), QStringLiteral("291.25"), 90000);
    QTRY_COMPARE_WITH_TIMEOUT(query(webPort, "quadmeter_up"), QStringLiteral("1"), 30000);
    QProcess check;
    check.start(QStringLiteral("promtool"), {"check", "metrics"});
    check.write(body(quint16(address.split(':').last().toUInt()), "/metrics"));
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(30000));
    const QByteArray verdict = check.readAll();
    QVERIFY2(check.exitCode() == 0 && verdict.isEmpty(), verdict.constData());

    // Unplugged: the exporter still answers every scrape, and says the unit is down.
    // The link goes first: the pseudo-terminal's number may soon serve another program.
    QVERIFY(QFile::remove(link));
    host.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(query(webPort, "quadmeter_up"), QStringLiteral("0"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(query(webPort, "up"), QStringLiteral("1"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(query(webPort, temperature), QString(), 30000);
    // Back under the same name: read again.
    QVERIFY(host.replug());
    QVERIFY(QFile::link(host.portPath(), link));
    QTRY_COMPARE_WITH_TIMEOUT(query(webPort, "quadmeter_up"), QStringLiteral("1"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(query(webPort, temperature), QStringLiteral("291.25"), 30000);
}

// serve --log writes of each unit the file log writes, named by the unit. An unplugged unit's
// file gets no rows while it is away, and its rows go on below the earlier ones once it is back.
void ExporterTest::serveLogsEachUnitAsLogDoes()
{
    PtyHost a, b(QString(), 1);
    QVERIFY(a.start() && b.start());
    QTemporaryDir dir;
    const QStringList links {dir.filePath("unitA"), dir.filePath("unitB")};
    const QStringList files {dir.filePath("unitA.txt"), dir.filePath("unitB.txt")};
    const auto lines = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    };
    for (int unit = 0; unit < 2; ++unit) {
        (unit == 0 ? a : b).withFirmware([unit](Firmware &firmware) {
            firmware.forceRaw(0, 4, bitsOf(291.25f + float(unit)));
            firmware.forceRaw(1, 1, bitsOf(0.5f));
        });
        QVERIFY(QFile::link((unit == 0 ? a : b).portPath(), links.at(unit)));
    }
    const QStringList columns {"--enable", "Temperature0,Voltage1", "--time", "iso"};
    Child serve;
    serve.process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                        QStringList {"serve", "--port", links.at(0), "--port", links.at(1),
                                     "--listen", "127.0.0.1:0", "--every", "0.2", "--log",
                                     dir.path()}
                            + columns);
    QTRY_VERIFY_WITH_TIMEOUT(lines(files.at(0)).size() > 3 && lines(files.at(1)).size() > 3, 30000);

    QVERIFY(QFile::remove(links.at(0))); // first, as the terminal's number may be given out anew
    a.hangUp();
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += serve.process.readAllStandardError()).contains("unitA: no complete reading"),
        30000);
    const int beforeAway = int(lines(files.at(0)).size());
    QTest::qWait(1000);
    QCOMPARE(int(lines(files.at(0)).size()), beforeAway);
    QVERIFY(a.replug());
    QVERIFY(QFile::link(a.portPath(), links.at(0)));
    QTRY_VERIFY_WITH_TIMEOUT(lines(files.at(0)).size() > beforeAway + 1, 30000);
    serve.process.terminate();
    QVERIFY(serve.process.waitForFinished(10000));

    for (int unit = 0; unit < 2; ++unit) {
        const QString logged = dir.filePath(QStringLiteral("log%1.txt").arg(unit));
        QProcess log;
        log.start(
            QStringLiteral(QUADMETER_CLI_EXECUTABLE),
            QStringList {"log", logged, "--count", "1", "--every", "0", "--port", links.at(unit)}
                + columns);
        QVERIFY(log.waitForFinished(20000) && log.exitCode() == 0);
        const QList<QByteArray> expected = lines(logged);
        const QByteArray &row = expected.at(1);
        QList<QByteArray> served = lines(files.at(unit));
        QCOMPARE(served.takeFirst(), expected.at(0));
        QCOMPARE(served.takeLast(), QByteArray()); // the last row ends its line too
        for (const QByteArray &line : qAsConst(served)) {
            QCOMPARE(line.mid(line.indexOf('\t')), row.mid(row.indexOf('\t')));
            QCOMPARE(line.indexOf('\t'), row.indexOf('\t')); // the time written alike
        }
    }
}

// A restarted exporter goes on below each unit's earlier rows, in the file named by its port where
// the unit reports no serial number.
void ExporterTest::restartedServeGoesOnBelowItsLogs()
{
    QTemporaryDir dir;
    QStringList said;
    UnitMetrics unit;
    unit.port = QStringLiteral("/dev/ttyACM0");
    unit.lastReadingMs = 1765152000000;
    for (int run = 0; run < 2; ++run)
        UnitLogs(dir.path(), LogRunSettings(), [&said](const QString &line) {
            said << line;
        }).take(unit);
    QCOMPARE(said, QStringList());
    QFile file(dir.filePath(QStringLiteral("ttyACM0.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count('\n'), 3); // the header, and a row of each run
}

QTEST_GUILESS_MAIN(ExporterTest)
#include "tst_exporter.moc"
