// quadmeter-cli: its command lines read in process, then the real executable against the
// simulated unit.
#include "calibration/calibrationfile.h"
#include "calibration/curvefile.h"
#include "cli/commandline.h"
#include "link/protocol.h"
#include "logging/logformat.h"
#include "sim/ptyhost.h"
#include "tests/support/fault.h"
#include "tests/support/fifo.h"
#include "tests/support/floatbits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>

using UnitFault = std::function<void(Firmware &)>;
Q_DECLARE_METATYPE(UnitFault)

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run cli(const QStringList &arguments, const QString &outputFile = {})
{
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE), arguments);
    Run run;
    if (!process.waitForFinished(20000)) {
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

// A whole calibration file of a falling sensor: gain line, header, row k (k from 0) is
// first + k ohms at 300 - k kelvin; `line59` (row 57) replaces its line where given.
QByteArray tableFile(const QByteArray &gainLine, float first, const QByteArray &line59 = {})
{
    QByteArray text = gainLine + "\r\nResistance (Ohm)\tTemperature (K)\r\n";
    for (int row = 0; row < 100; ++row)
        text += row == 56 && !line59.isEmpty()
            ? line59 + "\r\n"
            : QByteArray::number(first + row) + '\t' + QByteArray::number(300 - row) + "\r\n";
    return text;
}

QString written(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// What the unit holds in its working memory, each channel as its get-cal text: exact values.
QByteArray held(PtyHost &host)
{
    QByteArray text;
    host.withFirmware([&](Firmware &unit) {
        for (int channel = 0; channel < 4; ++channel) {
            Calibration calibration {unit.gain(channel), {}};
            for (int row = 0; row < 100; ++row)
                calibration.rows.append(
                    {unit.tableRow(channel, row).first, unit.tableRow(channel, row).second});
            text += calibrationFileText(calibration);
        }
    });
    return text;
}

// What `look` reads off the unit, under the host's lock.
template<typename Look> auto onUnit(PtyHost &host, Look look)
{
    decltype(look(std::declval<Firmware &>())) value {};
    host.withFirmware([&](Firmware &unit) { value = look(unit); });
    return value;
}

QByteArray eeprom(PtyHost &host)
{
    return onUnit(host, [](Firmware &unit) { return unit.eepromImage(); });
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
    void refusedTableSendsNothing_data();
    void refusedTableSendsNothing();
    void impossibleOrOutOfOrderIsNotSent_data();
    void impossibleOrOutOfOrderIsNotSent();
    void interruptLeavesAWholeTable_data();
    void interruptLeavesAWholeTable();
    void silenceIsNoSuccess_data();
    void silenceIsNoSuccess();
    void backupRestoreRoundTrip();
    void setCalKeepsABackupFirst_data();
    void setCalKeepsABackupFirst();
    void unitFaultsFailTheCommand_data();
    void unitFaultsFailTheCommand();
    void unpluggedUnitEndsTheRun();
    void logWritesTheLoggersFile();
    void logRefusesAndStopsCleanly();
    void logCountsReadingsNotTimeAway();
    void correctedStandardReadsTheBath();

private:
    PtyHost host;
    QStringList port;
};

void CliTest::init()
{
    if (!host.isServing())
        QVERIFY(host.start());
    host.setMisbehaviour(Misbehaviour());
    port = QStringList {QStringLiteral("--port"), host.portPath()};
}

void CliTest::commandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("port");
    const auto row = [](const char *name, const QStringList &arguments, const QString &error,
                        const QString &port = {}) {
        QTest::newRow(name) << arguments << error << port;
    };
    row("no command", {}, "no command given");
    row("unknown command", {"reed"}, "unknown command \"reed\"");
    row("unknown option", {"read", "--colour"}, "Unknown option 'colour'.");
    row("count 0", {"read", "--count", "0"}, "--count takes a whole number above 0");
    row("every negative", {"read", "--every", "-1"}, "--every takes seconds, 0 or more");
    row("format", {"read", "--format", "xml"}, "--format is table, tsv or json");
    row("relay 3", {"relay", "3", "on"}, "the relay is 1 or 2");
    row("relay half", {"relay", "1", "half"}, "the relay is switched on or off");
    row("relay missing", {"relay", "1"}, "relay needs more arguments");
    row("channel 0", {"get-cal", "0"}, "the channel is 1, 2, 3 or 4");
    row("channel 5", {"set-cal", "5", "--table", "t"}, "the channel is 1, 2, 3 or 4");
    row("no source", {"set-cal", "1"},
        "set-cal takes one of --curve, --table, --standard and --from-unit");
    row("two sources", {"set-cal", "1", "--curve", "c", "--table", "t"},
        "set-cal takes one of --curve, --table, --standard and --from-unit");
    row("gain", {"set-cal", "1", "--table", "t", "--gain", "1,5e"}, "--gain takes a number");
    row("gain beyond a float", {"set-cal", "1", "--table", "t", "--gain", "1e39"},
        "--gain takes a number");
    row("extra", {"store", "now"}, "unexpected argument \"now\"");
    row("log no file", {"log"}, "log needs more arguments");
    row("log column", {"log", "f", "--enable", "Voltage0,Voltage4"},
        "unknown column \"Voltage4\" (Voltage0-3, Resistance0-3, Temperature0-3)");
    row("list opens no port", {"--port", "p", "list"}, "Unknown option 'port'.");
    // The common options stand before the command's name or after it.
    row("port after", {"read", "--port", "p"}, {}, "p");
    row("port before", {"--port", "p", "--verbose", "read"}, {}, "p");
    row("empty port", {"--port", "", "store"}, "--port needs a path");
    row("serve every 0", {"serve", "--every", "0"}, "--every takes seconds above 0");
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
        // One reading a second or slower is stamped in whole seconds.
        const Run iso
            = cli(QStringList {"read", "--count", "1", "--format", "tsv", "--time", "iso"} + port);
        QCOMPARE(int(iso.out.split('\n').at(1).indexOf('\t')), 25); // 2026-12-07T21:14:22+01:00
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
        QTRY_COMPARE(onUnit(host, [](Firmware &unit) { return unit.relay(1); }), on);
    }
}

void CliTest::calibrationRoundTripIsBitExact()
{
    // Values whose shortest decimal forms are long, and one below the normal range.
    const float gain = 1.0f / 3.0f;
    const auto awkward = [](int row) {
        return std::make_pair(std::nextafter(100.0f + row / 7.0f, 1e9f),
                              row == 0 ? 1e-40f : 0.1f * row);
    };
    host.withFirmware([&](Firmware &unit) {
        unit.setGain(2, gain);
        for (int row = 0; row < 100; ++row)
            unit.setTableRow(2, row, awkward(row).first, awkward(row).second);
    });
    QTemporaryDir dir;
    const QString file = written(dir, "channel3.tsv", QByteArray(8000, 'x')); // replaced whole
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

    // A result that cannot be written says why.
    const Run full = cli(QStringList {"get-cal", "3"} + port, QStringLiteral("/dev/full"));
    QCOMPARE(full.exitCode, 1);
    QVERIFY2(full.err.startsWith("quadmeter-cli: the calibration cannot be written: "), full.err);
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
    QByteArray text = "Gain\t1\r\n";
    for (int row = 0; row < rows; ++row)
        text += QByteArray::number(row + 1) + "\t2\r\n";
    const QString file = written(dir, "table.tsv",
                                 text + QByteArray(int(qMax(qint64(0), size - text.size())), '\n'));
    host.clearReceived();
    const Run run = cli(QStringList {"set-cal", "1", "--table", file, "--store"} + port);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(why.toUtf8()), run.err);
    QVERIFY(host.received().isEmpty());
}

void CliTest::impossibleOrOutOfOrderIsNotSent_data()
{
    QTest::addColumn<QByteArray>("table"); // a curve where it starts with "curve:"
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("exitCode");
    const QByteArray gain1 = "Gain\t1";
    QTest::newRow("gain nan") << tableFile("Gain\tnan", 100) << QStringList()
                              << "Channel1: the gain is not a finite number (nan). Nothing was "
                                 "sent to the unit."
                              << 1;
    QTest::newRow("a row goes back")
        << tableFile(gain1, 100, "156\t246") << QStringList()
        << "Channel1: row 57, Temperature (K), goes back (246 after 245). Its rows do not run one "
           "way, as a sensor's do; --force sends it anyway. Nothing was sent to the unit."
        << 1;
    QTest::newRow("a row goes back, --force")
        << tableFile(gain1, 100, "156\t246") << QStringList {"--force"} << "" << 0;
    QTest::newRow("a curve against the order")
        << QByteArray("curve:100\t300\n200\t250\n300\t260\n400\t200\n") << QStringList()
        << "its line 3 breaks the order of its temperatures: 260 K at 300 ohms comes after 250 K "
           "at 200 ohms (line 2). --force loads it anyway."
        << 1;
    QTest::newRow("no gain") << tableFile("", 100) << QStringList()
                             << "it holds no gain and no --gain was given" << 1;
}

// The unit computes the channel's live temperatures from what it is sent: nothing impossible
// goes, and nothing out of order unless asked for.
void CliTest::impossibleOrOutOfOrderIsNotSent()
{
    QFETCH(QByteArray, table);
    QFETCH(QStringList, options);
    QFETCH(QString, said);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const bool curve = table.startsWith("curve:");
    const QString file = written(dir, "file", curve ? table.mid(6) : table);
    host.clearReceived();
    const Run run
        = cli(QStringList {"set-cal", "1", curve ? "--curve" : "--table", file} + options + port);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(said.toUtf8()), run.err);
    QCOMPARE(host.received().isEmpty(), exitCode != 0);
}

void CliTest::interruptLeavesAWholeTable_data()
{
    QTest::addColumn<int>("delayMs"); // after the first byte reached the unit
    QTest::addColumn<int>("interrupts");
    QTest::newRow("at once") << 0 << 1;
    QTest::newRow("25 ms in, twice") << 25 << 2;
    QTest::newRow("60 ms in") << 60 << 1;
}

// Ctrl-C waits for the transfer and its read-back: the channel holds the whole new calibration or
// the whole old one, nothing is stored, and one line says which.
void CliTest::interruptLeavesAWholeTable()
{
    QFETCH(int, delayMs);
    QFETCH(int, interrupts);
    QTemporaryDir dir;
    const QString file = written(dir, "new.tsv", tableFile("Gain\t2", 500));
    const QByteArray eepromBefore = eeprom(host);
    const QByteArray before = held(host);
    // Channel4 is the last in what the unit holds; the other channels stay as they were.
    Calibration table {2, {}};
    for (int row = 0; row < 100; ++row)
        table.rows.append({500.0f + row, 300.0f - row});
    const QByteArray sent = before.left(before.lastIndexOf("Gain")) + calibrationFileText(table);
    host.clearReceived();

    QProcess process;
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                  QStringList {"set-cal", "4", "--table", file, "--store", "--no-backup"} + port);
    QTRY_VERIFY_WITH_TIMEOUT(!host.received().isEmpty(), 10000);
    QTest::qWait(delayMs);
    for (int k = 0; k < interrupts; ++k)
        ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    if (process.exitCode() != 0) { // else all was over before the interrupt
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(process.readAllStandardError(),
                 QByteArray("quadmeter-cli: interrupted: Channel4 was sent and verified; "
                            "nothing was stored\n"));
        QVERIFY(eeprom(host) == eepromBefore);
    }
    const QByteArray after = held(host);
    QVERIFY(after == before || after == sent);
}

void CliTest::silenceIsNoSuccess_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("silent"); // else the unit loses the switch and answers the read
    QTest::addColumn<QString>("said");
    QTest::newRow("relay, silent")
        << QStringList {"relay", "1", "on"} << true
        << "Relay1: the unit did not answer in full, so whether it switched is not known";
    QTest::newRow("relay, the other state")
        << QStringList {"relay", "2", "on"} << false << "Relay2: the unit reports it off";
    QTest::newRow("store, silent") << QStringList {"store"} << true
                                   << "the calibration was not stored: the unit did not answer in "
                                      "full";
}

void CliTest::silenceIsNoSuccess()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, silent);
    QFETCH(QString, said);
    if (silent)
        host.setMisbehaviour(fault(Misbehaviour::Silent));
    else
        host.withFirmware([](Firmware &unit) {
            unit.setRelay(2, false);
            unit.loseRequest(protocol::SetRelay2, 0);
        });
    host.clearReceived();
    const Run run = cli(arguments + port);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, "quadmeter-cli: " + said.toUtf8() + '\n');
    QVERIFY(!host.received().contains('\x22')); // no store to a unit that does not answer
}

// backup, two channels changed, restore --store: every channel as it was, bit for bit, stored once.
void CliTest::backupRestoreRoundTrip()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("unit.txt");
    host.withFirmware([&](Firmware &unit) {
        unit = Firmware(); // its factory calibration, whatever the tests before left
        unit.setGain(1, 1.0f / 3.0f);
        const auto [resistance, temperature] = unit.tableRow(3, 42);
        unit.setTableRow(3, 42, std::nextafter(resistance, 1e9f), temperature);
    });
    const QByteArray before = held(host);
    QCOMPARE(cli(QStringList {"backup", file} + port).exitCode, 0);
    host.withFirmware([](Firmware &unit) {
        unit.setGain(0, 9);
        unit.setTableRow(2, 7, 1, 1);
    });
    host.clearReceived();

    const Run run = cli(QStringList {"restore", file, "--store"} + port);
    QVERIFY2(run.exitCode == 0 && run.err.contains("calibration was backed up to"), run.err);
    QTRY_VERIFY(host.received().endsWith(char(protocol::WriteEeprom)));
    int stores = 0;
    for (const Received &chunk : host.receivedChunks())
        stores += chunk.bytes == QByteArray(1, char(protocol::WriteEeprom));
    QCOMPARE(stores, 1);
    QCOMPARE(held(host), before);

    // A gain no sensor has is never sent, --force or not.
    QByteArray negative = fileBytes(file);
    negative.replace("# Channel2\r\nGain\t", "# Channel2\r\nGain\t-");
    host.clearReceived();
    const QString refused = written(dir, "negative.txt", negative);
    QCOMPARE(cli(QStringList {"restore", refused, "--force", "--no-backup"} + port).exitCode, 1);
    QVERIFY(host.received().isEmpty());
}

void CliTest::setCalKeepsABackupFirst_data()
{
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("backed up, then sent") << true << QStringList() << 0;
    QTest::newRow("backed up, sent and stored") << true << QStringList {"--store"} << 0;
    QTest::newRow("no backup, nothing sent") << false << QStringList() << 1;
    QTest::newRow("no backup asked for") << false << QStringList {"--no-backup"} << 0;
}

// The first set-cal keeps what the unit held before it; one whose backup cannot be written sends
// nothing unless told to go without. The curve's table replaces the channel's, its gain stays, and
// the unit stores it only when asked.
void CliTest::setCalKeepsABackupFirst()
{
    QFETCH(bool, writable);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString curveFile = QStringLiteral(QUADMETER_TEST_DATA "/../../dist/curves/PT-100.340");
    host.withFirmware([](Firmware &unit) { unit.setTableRow(1, 0, 1, 1); });
    const QByteArray before = held(host);
    const float gainBefore = onUnit(host, [](Firmware &unit) { return unit.gain(1); });
    const QByteArray eepromBefore = eeprom(host);
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    // A data folder that is a file cannot hold a backups folder.
    const QString home = dir.filePath(writable ? "home" : "file");
    if (!writable)
        QVERIFY(QFile(home).open(QIODevice::WriteOnly));
    qputenv("XDG_DATA_HOME", home.toLocal8Bit());
    const Run run = cli(QStringList {"set-cal", "2", "--curve", curveFile} + options + port);
    qputenv("XDG_DATA_HOME", dataHome);

    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(held(host) == before, exitCode != 0);
    if (exitCode == 0) {
        const CurveTable expected = resampleCurve(readCurveFile(curveFile).points);
        QCOMPARE(int(expected.rows.size()), 100);
        QCOMPARE(onUnit(host, [](Firmware &unit) { return unit.tableRow(1, 99).first; }),
                 expected.rows.at(99).resistance);
        QCOMPARE(onUnit(host, [](Firmware &unit) { return unit.gain(1); }), gainBefore);
    }
    if (options.contains("--store")) // the last command: no answer to wait for
        QTRY_VERIFY(eeprom(host) != eepromBefore);
    else
        QCOMPARE(eeprom(host), eepromBefore);
    const QStringList backups = QDir(home + "/quadmeter/backups").entryList(QDir::Files);
    QCOMPARE(int(backups.size()), writable ? 1 : 0);
    if (writable) {
        const QString path = home + "/quadmeter/backups/" + backups.first();
        QVERIFY2(run.err.contains(path.toLocal8Bit()), run.err);
        const UnitCalibrationFile backup = readUnitCalibrationFile(fileBytes(path));
        QCOMPARE(backup.problem, QString());
        QByteArray saved;
        for (const Calibration &channel : backup.channels)
            saved += calibrationFileText(channel);
        QCOMPARE(saved, before);
    }
}

void CliTest::unitFaultsFailTheCommand_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE: a calibration file of the unit's own
    QTest::addColumn<UnitFault>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    const auto lost = [](quint8 code, int passing) {
        return UnitFault([=](Firmware &unit) { unit.loseRequest(code, passing); });
    };
    QTest::newRow("set-cal --store, the gain kept off")
        << QStringList {"set-cal", "1", "--table", "FILE", "--store", "--no-backup"}
        << UnitFault([](Firmware &unit) { unit.keepOff(0, -1); }) << 1
        << "the unit did not take the new calibration (gain differ). Nothing was stored.";
    QTest::newRow("set-cal without --store")
        << QStringList {"set-cal", "1", "--table", "FILE", "--no-backup"}
        << UnitFault([](Firmware &) {}) << 0 << "";
    QTest::newRow("get-cal, a gain and no table")
        << QStringList {"get-cal", "1", "-o", "FILE"} << lost(protocol::GetTempTable, 0) << 1
        << "Channel1: the unit did not answer in full; nothing was written.";
    QTest::newRow("read --count 2, the second fails")
        << QStringList {"read", "--count", "2", "--every", "0"} << lost(protocol::GetAdcData, 1)
        << 1 << "reading 2: the unit did not answer in full";
    QTest::newRow("log --count 2, the second fails")
        << QStringList {"log", "FILE", "--count", "2", "--every", "0"}
        << lost(protocol::GetAdcData, 1) << 1
        << "a reading failed: the unit did not answer in full";
}

// A command ends 0 only when all of it was done; the unit's calibration is stored only when
// asked, and only when it read back whole and the same.
void CliTest::unitFaultsFailTheCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(UnitFault, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString file = dir.filePath("channel1.tsv");
    if (arguments.first() == "set-cal")
        QCOMPARE(cli(QStringList {"get-cal", "1", "-o", file} + port).exitCode, 0);
    arguments.replaceInStrings("FILE", file);
    const QByteArray eepromBefore = eeprom(host);
    host.withFirmware(fault);

    const Run run = cli(arguments + port);

    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(said.isEmpty() ? run.err.isEmpty() : run.err.contains(said.toUtf8()), run.err);
    QVERIFY(eeprom(host) == eepromBefore);
    if (arguments.first() == "get-cal")
        QCOMPARE(QFile::exists(file), exitCode == 0);
}

// An endless read ends when its unit goes away, and says so. log waits for its unit to come back
// instead (the logging run's own suite).
void CliTest::unpluggedUnitEndsTheRun()
{
    QProcess process; // killed, if it does not end, when the test returns
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                  QStringList {"read", "--every", "0.05"} + port);
    host.clearReceived();
    QTRY_VERIFY_WITH_TIMEOUT(host.received().size() > 50, 10000); // a few readings in
    host.hangUp();
    QVERIFY(process.waitForFinished(10000));
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

// --count counts readings: the time its unit is away takes none of them. The port is named by a
// link, as a udev rule names a unit, so the unit comes back under the name the run follows.
void CliTest::logCountsReadingsNotTimeAway()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("unit");
    const QString file = dir.filePath("run.log");
    QVERIFY(QFile::link(host.portPath(), link));
    QProcess process;
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                  {"log", file, "--every", "0.2", "--count", "5", "--port", link});
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(file).count('\n') >= 2, 10000); // the header and a row
    // The link goes first: the pseudo-terminal's number may soon serve another program.
    QVERIFY(QFile::remove(link));
    host.hangUp();
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("went away"), 10000);
    QTest::qWait(1500); // more looks at the empty port than the count
    QVERIFY2(process.state() == QProcess::Running, err + process.readAllStandardError());

    QVERIFY(host.replug());
    QVERIFY(QFile::link(host.portPath(), link));
    QVERIFY(process.waitForFinished(10000));
    err += process.readAllStandardError();
    QVERIFY2(process.exitCode() == 0, err);
    QCOMPARE(int(fileBytes(file).count('\n')), 1 + 5);
}

// A Pt100 of 100.12 ohms at the ice point in an ice bath: one point taken, the standard table
// corrected through it, and the channel reads the bath.
void CliTest::correctedStandardReadsTheBath()
{
    host.withFirmware([](Firmware &unit) { unit.setBath(0, 273.15); });
    QTemporaryDir dir;
    const QString points = dir.filePath("points.txt");
    const Run taken = cli(QStringList {"take-point", "1", "--at", "ice", "-o", points} + port);
    QVERIFY2(taken.exitCode == 0, taken.err.constData());
    const Run sent
        = cli(QStringList {"set-cal", "1", "--standard", "pt100", "--points", points, "--no-backup"}
              + port);
    host.withFirmware([](Firmware &unit) { unit.setBath(0, std::nullopt); });
    QVERIFY2(sent.exitCode == 0, sent.err.constData());
    QVERIFY2(sent.out.contains("with R0 fitted"), sent.out.constData());
    const float kelvin = onUnit(host, [](Firmware &unit) {
        unit.setBath(0, 273.15);
        const float live = floatOf(unit.measurement(0, 4));
        unit.setBath(0, std::nullopt);
        return live;
    });
    QVERIFY2(std::abs(kelvin - 273.15) < 2e-3, qPrintable(QString::number(kelvin, 'g', 9)));
}

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
