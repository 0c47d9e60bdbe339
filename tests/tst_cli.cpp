// quadmeter-cli: its command lines read in process, then the real executable against the
// simulated unit.
#include "calibration/curvefile.h"
#include "cli/commandline.h"
#include "link/protocol.h"
#include "logging/logformat.h"
#include "sim/ptyhost.h"
#include "tests/support/fifo.h"
#include "tests/support/floatbits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(std::function<void(PtyHost &)>)

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run cli(const QStringList &arguments, int timeoutMs = 20000)
{
    QProcess process;
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE), arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void commandLines_data();
    void commandLines();
    void findingTheUnit();
    void readFormats_data();
    void readFormats();
    void relay();
    void calibrationRoundTripIsBitExact();
    void setCalFromCurveKeepsTheGainAndStores();
    void refusedTableSendsNothing_data();
    void refusedTableSendsNothing();
    void unitFaultsFailTheCommand_data();
    void unitFaultsFailTheCommand();
    void unpluggedUnitEndsTheRun_data();
    void unpluggedUnitEndsTheRun();
    void logWritesTheLoggersFile();
    void logRefusesAndStopsCleanly();

private:
    PtyHost host;
    QStringList port;
};

void CliTest::init()
{
    if (!host.isServing())
        QVERIFY(host.start());
    port = QStringList {QStringLiteral("--port"), host.portPath()};
}

void CliTest::commandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("port");
    const QString none;
    QTest::newRow("no command") << QStringList() << "no command given" << none;
    QTest::newRow("unknown command") << QStringList {"reed"} << "unknown command \"reed\"" << none;
    QTest::newRow("unknown option")
        << QStringList {"read", "--colour"} << "Unknown option 'colour'." << none;
    QTest::newRow("count 0") << QStringList {"read", "--count", "0"}
                             << "--count takes a whole number above 0" << none;
    QTest::newRow("every negative")
        << QStringList {"read", "--every", "-1"} << "--every takes seconds, 0 or more" << none;
    QTest::newRow("format") << QStringList {"read", "--format", "xml"}
                            << "--format is table, tsv or json" << none;
    QTest::newRow("relay 3") << QStringList {"relay", "3", "on"} << "the relay is 1 or 2" << none;
    QTest::newRow("relay half") << QStringList {"relay", "1", "half"}
                                << "the relay is switched on or off" << none;
    QTest::newRow("relay missing")
        << QStringList {"relay", "1"} << "relay needs more arguments" << none;
    QTest::newRow("channel 0") << QStringList {"get-cal", "0"} << "the channel is 1, 2, 3 or 4"
                               << none;
    QTest::newRow("channel 5") << QStringList {"set-cal", "5", "--table", "t"}
                               << "the channel is 1, 2, 3 or 4" << none;
    QTest::newRow("no source") << QStringList {"set-cal", "1"}
                               << "set-cal takes either --curve or --table" << none;
    QTest::newRow("two sources") << QStringList {"set-cal", "1", "--curve", "c", "--table", "t"}
                                 << "set-cal takes either --curve or --table" << none;
    QTest::newRow("gain") << QStringList {"set-cal", "1", "--table", "t", "--gain", "1,5e"}
                          << "--gain takes a number" << none;
    QTest::newRow("gain beyond a float")
        << QStringList {"set-cal", "1", "--table", "t", "--gain", "1e39"} << "--gain takes a number"
        << none;
    QTest::newRow("extra") << QStringList {"store", "now"} << "unexpected argument \"now\"" << none;
    QTest::newRow("log no file") << QStringList {"log"} << "log needs more arguments" << none;
    QTest::newRow("log column") << QStringList {"log", "f", "--enable", "Voltage0,Voltage4"}
                                << "unknown column \"Voltage4\" (Voltage0-3, Resistance0-3, "
                                   "Temperature0-3)"
                                << none;
    QTest::newRow("list opens no port")
        << QStringList {"--port", "p", "list"} << "Unknown option 'port'." << none;
    // The common options stand before the command's name or after it.
    QTest::newRow("port after") << QStringList {"read", "--port", "p"} << none << "p";
    QTest::newRow("port before") << QStringList {"--port", "p", "--verbose", "read"} << none << "p";
    QTest::newRow("empty port") << QStringList {"--port", "", "store"} << "--port needs a path"
                                << none;
}

void CliTest::commandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QString, port);
    const CommandLine line = parseCommandLine(QStringList {"quadmeter-cli"} + arguments);
    QCOMPARE(line.error, error);
    QCOMPARE(line.common.port, port);
}

void CliTest::findingTheUnit()
{
    const Run usage = cli({"get-cal", "5"});
    QCOMPARE(usage.exitCode, 2);
    QCOMPARE(usage.err,
             QByteArray("quadmeter-cli: the channel is 1, 2, 3 or 4\n"
                        "Try quadmeter-cli get-cal --help.\n"));
    // The simulated unit's pseudo-terminal carries no USB identifiers.
    if (!cli({"list"}).out.isEmpty())
        QSKIP("a real unit is attached");
    Run run = cli({"read", "--count", "1"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QByteArray("quadmeter-cli: no unit attached\n"));
    run = cli({"store", "--port", "/nonexistent/ttyACM9"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("quadmeter-cli: the port /nonexistent/ttyACM9 cannot be opened: ")
                 && run.err.size() > 70,
             run.err);
}

void CliTest::readFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("table") << "table";
    QTest::newRow("tsv") << "tsv";
    QTest::newRow("json") << "json";
}

void CliTest::readFormats()
{
    QFETCH(QString, format);
    host.withFirmware([](Firmware &unit) { unit.setRelay(2, true); });
    const Run run
        = cli(QStringList {"read", "--count", "2", "--every", "0", "--format", format} + port);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), run.err); // no debug lines without --verbose
    const QList<QByteArray> lines = run.out.split('\n');
    if (format == "json") {
        QCOMPARE(int(lines.size()), 3);
        const QJsonObject reading = QJsonDocument::fromJson(lines.at(1)).object();
        QCOMPARE(int(reading.value("channels").toArray().size()), 4);
        QCOMPARE(reading.value("relay2").toBool(), true);
        QCOMPARE(reading.value("relay1").toBool(), false);
    } else if (format == "tsv") {
        QCOMPARE(int(lines.size()), 4);
        QByteArray header = logHeader(allLogEnables());
        header.chop(2);
        QCOMPARE(lines.at(0), header + "\tRelay1\tRelay2\r");
        QVERIFY2(lines.at(2).endsWith("\t0\t1\r"), lines.at(2));
        QCOMPARE(int(lines.at(2).count('\t')), 14);
    } else {
        QCOMPARE(int(run.out.count("Temperature (K)")), 2);
        QCOMPARE(int(run.out.count("Relay1 off, Relay2 on")), 2);
    }
}

void CliTest::relay()
{
    for (const bool on : {true, false}) {
        QCOMPARE(cli(QStringList {"relay", "1", on ? "on" : "off"} + port).exitCode, 0);
        // The command is out once the tool exits; the unit's thread may take it a moment later.
        const auto state = [this] {
            bool on = false;
            host.withFirmware([&on](Firmware &unit) { on = unit.relay(1); });
            return on;
        };
        QTRY_COMPARE(state(), on);
    }
}

void CliTest::calibrationRoundTripIsBitExact()
{
    // Values whose shortest decimal forms are long, and one below the normal range.
    const float gain = 1.0f / 3.0f;
    const auto awkward = [](int row) {
        return std::make_pair(std::nextafter(100.0f + row / 7.0f, 1e9f),
                              row == 5 ? 1e-40f : 0.1f * row);
    };
    host.withFirmware([&](Firmware &unit) {
        unit.setGain(2, gain);
        for (int row = 0; row < 100; ++row)
            unit.setTableRow(2, row, awkward(row).first, awkward(row).second);
    });
    QTemporaryDir dir;
    const QString file = dir.filePath("channel3.tsv");
    QCOMPARE(cli(QStringList {"get-cal", "3", "-o", file} + port).exitCode, 0);

    // LoadFromFile reads the same rows off it as a curve.
    const CurveRead curve = readCurveFile(file);
    QVERIFY2(curve.refusal.isEmpty(), qPrintable(curve.refusal));
    QCOMPARE(int(curve.points.size()), 100);
    QCOMPARE(float(curve.points.at(42).resistance), awkward(42).first);

    host.withFirmware([](Firmware &unit) {
        unit.setGain(2, 7);
        for (int row = 0; row < 100; ++row)
            unit.setTableRow(2, row, 1, 1);
    });
    QCOMPARE(cli(QStringList {"set-cal", "3", "--table", file} + port).exitCode, 0);
    host.withFirmware([&](Firmware &unit) {
        QCOMPARE(bitsOf(unit.gain(2)), bitsOf(gain));
        for (int row = 0; row < 100; ++row) {
            QCOMPARE(bitsOf(unit.tableRow(2, row).first), bitsOf(awkward(row).first));
            QCOMPARE(bitsOf(unit.tableRow(2, row).second), bitsOf(awkward(row).second));
        }
    });

    // -o writes regular files only.
    const Run run = cli(QStringList {"get-cal", "3", "-o", dir.path()} + port);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("not a regular file"), run.err);
}

void CliTest::setCalFromCurveKeepsTheGainAndStores()
{
    const QString curveFile = QStringLiteral(QUADMETER_TEST_DATA "/../../dist/curves/PT-100.340");
    const CurveTable expected = resampleCurve(readCurveFile(curveFile).points);
    QCOMPARE(int(expected.rows.size()), 100);
    float gainBefore = 0;
    QByteArray eepromBefore;
    host.withFirmware([&](Firmware &unit) {
        gainBefore = unit.gain(0);
        eepromBefore = unit.eepromImage();
    });
    const Run run = cli(QStringList {"set-cal", "1", "--curve", curveFile, "--store"} + port);
    QCOMPARE(run.exitCode, 0);
    const auto eeprom = [this] {
        QByteArray image;
        host.withFirmware([&image](Firmware &unit) { image = unit.eepromImage(); });
        return image;
    };
    QTRY_VERIFY(eeprom() != eepromBefore); // the store is the last command: no answer to wait for
    host.withFirmware([&](Firmware &unit) {
        QCOMPARE(unit.gain(0), gainBefore);
        QCOMPARE(unit.tableRow(0, 99).first, expected.rows.at(99).resistance);
    });
}

void CliTest::refusedTableSendsNothing_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<qint64>("size"); // of the file, padded with blank lines
    QTest::addColumn<QString>("why");
    QTest::newRow("99 rows") << 99 << qint64(0) << "it holds 99 rows, not 100";
    QTest::newRow("101 rows") << 101 << qint64(0) << "it holds 101 rows, not 100";
    QTest::newRow("beyond 16 MiB") << 100 << MaxCurveFileBytes + 1 << "it is too large";
}

void CliTest::refusedTableSendsNothing()
{
    QFETCH(int, rows);
    QFETCH(qint64, size);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QString file = dir.filePath("table.tsv");
    QByteArray text = "Gain\t1\r\n";
    for (int row = 0; row < rows; ++row)
        text += QByteArray::number(row + 1) + "\t2\r\n";
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text + QByteArray(int(qMax(qint64(0), size - text.size())), '\n'));
    out.close();
    host.clearReceived();
    const Run run = cli(QStringList {"set-cal", "1", "--table", file, "--store"} + port);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(why.toUtf8()), run.err);
    QVERIFY(host.received().isEmpty());
}

void CliTest::unitFaultsFailTheCommand_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE: a calibration file of the unit's own
    QTest::addColumn<std::function<void(PtyHost &)>>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    const auto lost = [](quint8 code, int passing) {
        return std::function<void(PtyHost &)>([code, passing](PtyHost &h) {
            h.withFirmware([=](Firmware &f) { f.loseRequest(code, passing); });
        });
    };
    QTest::newRow("set-cal --store, the gain kept off")
        << QStringList {"set-cal", "1", "--table", "FILE", "--store"}
        << std::function<void(PtyHost &)>(
               [](PtyHost &h) { h.withFirmware([](Firmware &f) { f.keepOff(0, -1); }); })
        << 1 << "the unit did not take the new calibration (gain differ). Nothing was stored.";
    QTest::newRow("set-cal without --store")
        << QStringList {"set-cal", "1", "--table", "FILE"}
        << std::function<void(PtyHost &)>([](PtyHost &) {}) << 0 << "";
    QTest::newRow("get-cal, a gain and no table")
        << QStringList {"get-cal", "1", "-o", "FILE"} << lost(protocol::GetTempTable, 0) << 1
        << "Channel1: the unit did not answer in full; nothing was written.";
    QTest::newRow("read --count 2, the second fails")
        << QStringList {"read", "--count", "2", "--every", "0"} << lost(protocol::GetAdcData, 1)
        << 1 << "reading 2: the unit did not answer in full";
}

// A command ends 0 only when all of it was done; the unit's calibration is stored only when
// asked, and only when it read back whole and the same.
void CliTest::unitFaultsFailTheCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(std::function<void(PtyHost &)>, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString file = dir.filePath("channel1.tsv");
    if (arguments.first() == "set-cal")
        QCOMPARE(cli(QStringList {"get-cal", "1", "-o", file} + port).exitCode, 0);
    arguments.replaceInStrings("FILE", file);
    QByteArray eepromBefore;
    host.withFirmware([&](Firmware &unit) { eepromBefore = unit.eepromImage(); });
    fault(host);

    const Run run = cli(arguments + port);

    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(said.isEmpty() ? run.err.isEmpty() : run.err.contains(said.toUtf8()), run.err);
    host.withFirmware([&](Firmware &unit) { QVERIFY(unit.eepromImage() == eepromBefore); });
    if (arguments.first() == "get-cal")
        QCOMPARE(QFile::exists(file), exitCode == 0);
}

void CliTest::unpluggedUnitEndsTheRun_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("read") << "read";
    QTest::newRow("log") << "log";
}

// An endless run ends when its unit goes away, and says so.
void CliTest::unpluggedUnitEndsTheRun()
{
    QFETCH(QString, command);
    QTemporaryDir dir;
    QProcess process;
    process.start(
        QStringLiteral(QUADMETER_CLI_EXECUTABLE),
        (command == "read" ? QStringList {"read"} : QStringList {"log", dir.filePath("run.log")})
            + QStringList {"--every", "0.05"} + port);
    host.clearReceived();
    QTRY_VERIFY_WITH_TIMEOUT(host.received().size() > 50, 10000); // a few readings in
    host.hangUp();
    const bool ended = process.waitForFinished(10000);
    if (!ended)
        process.kill();
    QVERIFY(ended);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("the unit went away"));
}

void CliTest::logWritesTheLoggersFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("run.log");
    const QStringList log = QStringList {"log",     file, "--every",  "0",
                                         "--count", "2",  "--enable", "Temperature3,Voltage0"}
        + port;
    QCOMPARE(cli(log).exitCode, 0);
    LogEnables enables {};
    enables[0][LogVoltage] = enables[3][LogTemperature] = true;
    const QList<QByteArray> lines = fileBytes(file).split('\n');
    QCOMPARE(int(lines.size()), 4);
    QCOMPARE(lines.at(0) + '\n', logHeader(enables));
    QCOMPARE(int(lines.at(2).count('\t')), 2);

    // An earlier run is replaced only when asked.
    const QByteArray earlier = fileBytes(file);
    const Run refused = cli(log);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains("already holds data; give --overwrite"), refused.err);
    QCOMPARE(fileBytes(file), earlier);
    QCOMPARE(cli(log + QStringList {"--overwrite"}).exitCode, 0);
}

void CliTest::logRefusesAndStopsCleanly()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    LonelyFifo lonely(fifo, true);
    const Run refused = cli(QStringList {"log", fifo, "--count", "1"} + port);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains("not a regular file"), refused.err);

    // SIGTERM ends an endless log after a whole row.
    const QString file = dir.filePath("endless.log");
    QProcess process;
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                  QStringList {"log", file, "--every", "0.05"} + port);
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(file).count('\n') >= 3, 10000);
    process.terminate();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(fileBytes(file).endsWith("\r\n"));
}

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
