// quadmeter-cli serve: the page Prometheus reads, the HTTP server's bounds, which port a followed
// unit is on, and a whole run against a real Prometheus.
#include "exporter/listenaddress.h"
#include "exporter/metricsserver.h"
#include "exporter/metricstext.h"
#include "link/unitports.h"

#include <QTcpSocket>
#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(QList<PortEntry>)

namespace {

// Sends `request` as it is and returns all that came back until the server closed the
// connection, or what came by `limitMs`.
QByteArray exchangeHttp(quint16 port, const QByteArray &request, int limitMs = 10000)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(limitMs))
        return {};
    socket.write(request);
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < limitMs) {
        socket.waitForReadyRead(50);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

QByteArray get(quint16 port, const QByteArray &path)
{
    return exchangeHttp(port, "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
}

} // namespace

class ExporterTest : public QObject
{
    Q_OBJECT

private slots:
    void sampleValues_data();
    void sampleValues();
    void labelsEscaped();
    void unitDownShowsNoStaleReadings();
    void followedUnitsPort_data();
    void followedUnitsPort();
    void listenAddresses_data();
    void listenAddresses();
    void httpAnswers_data();
    void httpAnswers();
    void requestThatNeverEndsIsCutOff();
};

void ExporterTest::sampleValues_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("room temperature") << 295.003f << QByteArray("295.003");
    QTest::newRow("microvolts") << 2.28659e-06f << QByteArray("2.28659e-06");
    QTest::newRow("zero") << 0.0f << QByteArray("0");
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << QByteArray("NaN");
    QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << QByteArray("+Inf");
    QTest::newRow("minus infinite")
        << -std::numeric_limits<float>::infinity() << QByteArray("-Inf");
}

void ExporterTest::sampleValues()
{
    QFETCH(float, value);
    QFETCH(QByteArray, text);
    QCOMPARE(sampleValue(value), text);
}

void ExporterTest::labelsEscaped()
{
    UnitMetrics unit;
    unit.port = QStringLiteral("/dev/serial/by-id/a\"b\\c\nd");
    QVERIFY(metricsText({unit}).contains(
        "quadmeter_up{port=\"/dev/serial/by-id/a\\\"b\\\\c\\nd\"} 0\n"));
}

void ExporterTest::unitDownShowsNoStaleReadings()
{
    UnitMetrics up;
    up.port = QStringLiteral("ttyACM0");
    up.serial = QStringLiteral("Q1");
    up.up = true;
    up.channels[0].temperature = 295.5f;
    up.channels[3].adcData = 0xb1c9a;
    up.relays = std::array<bool, 2> {false, true};
    up.readings = 3;
    up.lastReadingMs = 1765152000250;
    UnitMetrics down = up;
    down.port = QStringLiteral("ttyACM1");
    down.serial.clear();
    down.up = false;
    down.failures = 1;
    const QByteArray page = metricsText({up, down});
    for (const char *line :
         {"# TYPE quadmeter_temperature_kelvin gauge\n",
          "quadmeter_temperature_kelvin{channel=\"1\",port=\"ttyACM0\",serial=\"Q1\"} 295.5\n",
          "quadmeter_adc_raw{channel=\"4\",port=\"ttyACM0\",serial=\"Q1\"} 728218\n",
          "quadmeter_relay_on{relay=\"2\",port=\"ttyACM0\",serial=\"Q1\"} 1\n",
          "quadmeter_up{port=\"ttyACM1\"} 0\n", "# TYPE quadmeter_readings_total counter\n",
          "quadmeter_reading_failures_total{port=\"ttyACM1\"} 1\n",
          "quadmeter_last_reading_timestamp_seconds{port=\"ttyACM1\"} 1765152000.25\n"})
        QVERIFY2(page.contains(line), line);
    QVERIFY(!page.contains("{channel=\"1\",port=\"ttyACM1\"}"));
    QVERIFY(!page.contains("{relay=\"1\",port=\"ttyACM1\"}"));
}

void ExporterTest::followedUnitsPort_data()
{
    QTest::addColumn<QList<PortEntry>>("ports");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("another");
    const PortEntry a0 {"ttyACM0", true, 1155, 22336, "A"};
    const PortEntry a1 {"ttyACM1", true, 1155, 22336, "A"};
    const PortEntry b0 {"ttyACM0", true, 1155, 22336, "B"};
    const PortEntry bare0 {"ttyACM0", true, 1155, 22336, ""};
    const PortEntry other0 {"ttyACM0", true, 1027, 24577, "A"};
    QTest::newRow("at home") << QList<PortEntry> {a1, a0} << "A"
                             << "ttyACM0" << false;
    QTest::newRow("moved") << QList<PortEntry> {b0, a1} << "A"
                           << "ttyACM1" << true;
    QTest::newRow("gone") << QList<PortEntry> {} << "A"
                          << "" << false;
    QTest::newRow("another on its port") << QList<PortEntry> {b0} << "A"
                                         << "" << true;
    QTest::newRow("no serial, its port") << QList<PortEntry> {bare0} << ""
                                         << "ttyACM0" << false;
    QTest::newRow("no serial, moved") << QList<PortEntry> {a1} << ""
                                      << "" << false;
    QTest::newRow("not the unit's ids") << QList<PortEntry> {other0} << "A"
                                        << "" << false;
}

void ExporterTest::followedUnitsPort()
{
    QFETCH(QList<PortEntry>, ports);
    QFETCH(QString, serial);
    const UnitIdentity unit {QStringLiteral("ttyACM0"), serial};
    QTEST(portOfUnit(ports, unit), "where");
    QTEST(isAnotherUnit(ports, unit), "another");
}

void ExporterTest::listenAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port"); // -1: refused
    QTest::newRow("loopback") << "127.0.0.1:9999"
                              << "127.0.0.1" << 9999;
    QTest::newRow("every address") << "0.0.0.0"
                                   << "0.0.0.0" << int(DefaultMetricsPort);
    QTest::newRow("IPv6") << "[::1]:0"
                          << "::1" << 0;
    QTest::newRow("bare IPv6") << "::"
                               << "::" << int(DefaultMetricsPort);
    QTest::newRow("host name") << "localhost:9999"
                               << "" << -1;
    QTest::newRow("port too big") << "127.0.0.1:65536"
                                  << "" << -1;
    QTest::newRow("no port") << "127.0.0.1:"
                             << "" << -1;
}

void ExporterTest::listenAddresses()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    ListenAddress address;
    QString problem;
    QCOMPARE(parseListenAddress(text, address, problem), port >= 0);
    if (port >= 0) {
        QTEST(address.host, "host");
        QCOMPARE(int(address.port), port);
    }
}

void ExporterTest::httpAnswers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("hasPage");
    const QByteArray end = " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    QTest::newRow("GET") << "GET /metrics" + end + "\r\n" << QByteArray(" 200 ") << true;
    QTest::newRow("HEAD") << "HEAD /metrics" + end + "\r\n" << QByteArray(" 200 ") << false;
    QTest::newRow("wrong path") << "GET /metric" + end + "\r\n" << QByteArray(" 404 ") << false;
    QTest::newRow("POST") << "POST /metrics" + end + "Content-Length: 4\r\n\r\nup=1"
                          << QByteArray(" 405 ") << false;
    QTest::newRow("headers too large")
        << "GET /metrics" + end + "X: " + QByteArray(64 * 1024, 'x') + "\r\n\r\n"
        << QByteArray(" 431 ") << false;
}

void ExporterTest::httpAnswers()
{
    QFETCH(QByteArray, request);
    MetricsServer server;
    QString problem;
    QVERIFY2(server.start({QStringLiteral("127.0.0.1"), 0, false}, problem), qPrintable(problem));
    server.publish("quadmeter_up{port=\"p\"} 1\n");
    const QByteArray answer = exchangeHttp(server.port(), request);
    QVERIFY2(answer.startsWith("HTTP/1.1"), answer.constData());
    QTEST(answer.mid(8, 5), "status");
    QTEST(answer.endsWith("\r\n\r\nquadmeter_up{port=\"p\"} 1\n"), "hasPage");
}

void ExporterTest::requestThatNeverEndsIsCutOff()
{
    MetricsServer server;
    QString problem;
    QVERIFY(server.start({QStringLiteral("127.0.0.1"), 0, false}, problem));
    server.publish("page\n");
    QTcpSocket stalled;
    stalled.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(stalled.waitForConnected(10000));
    stalled.write("GET /metrics HTTP/1.1\r\nHost: x\r\n");
    QVERIFY(stalled.waitForBytesWritten(10000));
    // Meanwhile the others are answered.
    QVERIFY(get(server.port(), "/metrics").endsWith("\r\n\r\npage\n"));
    QTRY_VERIFY_WITH_TIMEOUT(stalled.state() == QAbstractSocket::UnconnectedState,
                             int(MetricsServer::IdleSeconds) * 1000 + 20000);
}

QTEST_GUILESS_MAIN(ExporterTest)
#include "tst_exporter.moc"
