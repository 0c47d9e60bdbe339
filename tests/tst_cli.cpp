// quadmeter-cli: its command lines read in process, then the real executable against the
// simulated unit.
#include "calibration/calibrationfile.h"
#include "calibration/fixedpoints.h"
#include "calibration/standardtable.h"
#include "calibration/tablesource.h"
#include "cli/commandline.h"
#include "link/protocol.h"
#include "logging/logformat.h"
#include "sim/ptyhost.h"
#include "tests/support/cutfiles.h"
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

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

// Starts `quadmeter-cli log` without end on the unit at `port`; true once `lines` lines are in.
bool logUntil(QProcess &process, const QString &file, const QString &port, int lines)
{
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                  {"log", file, "--every", "0.05", "--port", port});
    return QTest::qWaitFor([&] { return fileBytes(file).count('\n') >= lines; }, 10000);
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
    void impossibleOrOutOfOrderIsNotSent_data();
    void impossibleOrOutOfOrderIsNotSent();
    void interruptLeavesAWholeTable_data();
    void interruptLeavesAWholeTable();
    void silenceIsNoSuccess_data();
    void silenceIsNoSuccess();
    void backupRestoreRoundTrip();
    void backupOnAFullDiskKeepsTheOldFile();
    void cutOrMisplacedFileSendsNothing_data();
    void cutOrMisplacedFileSendsNothing();
    void restoreOntoAnotherUnitNeedsForce();
    void setCalKeepsABackupFirst_data();
    void setCalKeepsABackupFirst();
    void unitFaultsFailTheCommand_data();
    void unitFaultsFailTheCommand();
    void unpluggedUnitEndsTheRun();
    void logWritesTheLoggersFile();
    void logRefusesAndStopsCleanly();
    void logCountsReadingsNotTimeAway();
    void oneProgramPerUnit_data();
    void oneProgramPerUnit();
    void deadHolderIsNotNamed();
    void correctedStandardReadsTheBath();
    void curveIsTheStandardTable();

private:
    PtyHost host;
    QStringList port;
    QTemporaryDir dir; // emptied before each case
};

void CliTest::init()
{
    if (!host.isServing())
        QVERIFY(host.start());
    host.setMisbehaviour(Misbehaviour());
    port = QStringList {QStringLiteral("--port"), host.portPath()};
    QVERIFY(QDir(dir.path()).removeRecursively() && QDir().mkpath(dir.path()));
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
    row("channel twice", {"restore", "f", "--channel", "2", "--channel", "2"},
        "--channel names each channel once");
    row("log no file", {"log"}, "log needs more arguments");
    row("log column", {"log", "f", "--enable", "Voltage0,Voltage4"},
        "unknown column \"Voltage4\" (Voltage0-3, Resistance0-3, Temperature0-3)");
    row("log outside the service's folder", {"log", "/nonexistent/cooldown.txt"},
        "the log file /nonexistent/cooldown.txt lies outside " + QDir::currentPath()
            + ", the only folder this service may write to; give a name inside it");
    row("list opens no port", {"--port", "p", "list"}, "Unknown option 'port'.");
    // The common options stand before the command's name or after it.
    row("port after", {"read", "--port", "p"}, {}, "p");
    row("port before", {"--port", "p", "--verbose", "read"}, {}, "p");
    row("empty port", {"--port", "", "store"}, "--port needs a path");
    row("serve every 0", {"serve", "--every", "0"}, "--every takes seconds above 0");
    row("points of any spread", {"take-point", "1", "--at", "ice", "--max-spread", "0"}, {});
    row("curve of no standard", {"curve", "-o", "f"},
        "curve needs --standard pt100 or --standard pt1000");
}

void CliTest::commandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QString, port);
    // As under the logging service, whose folder is the working directory.
    qputenv("STATE_DIRECTORY", QDir::currentPath().toLocal8Bit());
    const CommandLine line = parseCommandLine(QStringList {"quadmeter-cli"} + arguments);
    qunsetenv("STATE_DIRECTORY");
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
    const QString file = written(dir, "channel3.tsv", QByteArray(8000, 'x')); // replaced whole
    QCOMPARE(cli(QStringList {"get-cal", "3", "-o", file} + port).exitCode, 0);

    // LoadFromFile reads the same rows off it as a curve.
    const Result<CurveTable> curve = curveTableFromFile(file);
    QVERIFY2(curve, qPrintable(curve.error()));
    QCOMPARE(int(curve->points.size()), 100);
    QCOMPARE(float(curve->points.at(42).resistance), awkward(42).first);

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

void CliTest::impossibleOrOutOfOrderIsNotSent_data()
{
    QTest::addColumn<QByteArray>("table"); // a curve where it starts with "curve:"
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("exitCode");
    const QByteArray gain1 = "Gain\t1";
    const auto row = [](const char *name, const QByteArray &table, const QStringList &options,
                        const QString &said, int exitCode) {
        QTest::newRow(name) << table << options << said << exitCode;
    };
    row("gain nan", tableFile("Gain\tnan", 100), {},
        "Channel1: the gain is not a finite number (nan). Nothing was sent to the unit.", 1);
    row("a row goes back", tableFile(gain1, 100, "156\t246"), {},
        "Channel1: row 57, Temperature (K), goes back (246 after 245). Its rows do not run one "
        "way, as a sensor's do; --force sends it anyway. Nothing was sent to the unit.",
        1);
    row("a row goes back, --force", tableFile(gain1, 100, "156\t246"), {"--force"}, "", 0);
    row("a curve against the order", "curve:100\t300\n200\t250\n300\t260\n400\t200\n", {},
        "its line 3 breaks the order of its temperatures: 260 K at 300 ohms comes after 250 K at "
        "200 ohms (line 2). --force loads it anyway.",
        1);
    row("no gain", tableFile("", 100), {}, "it holds no gain and no --gain was given", 1);
    const QStringList store {"--store"};
    row("99 rows", tableFile(gain1, 100).replace("199\t201\r\n", ""), store,
        "it holds 99 rows, not 100", 1);
    row("101 rows", tableFile(gain1, 100) + "200\t200\r\n", store, "it holds 101 rows, not 100", 1);
    row("beyond 16 MiB", tableFile(gain1, 100) + QByteArray(MaxCurveFileBytes, '\n'), store,
        "it is too large", 1);
}

// The unit computes the channel's live temperatures from what it is sent: nothing impossible or
// not whole goes, and nothing out of order unless asked for.
void CliTest::impossibleOrOutOfOrderIsNotSent()
{
    QFETCH(QByteArray, table);
    QFETCH(QStringList, options);
    QFETCH(QString, said);
    QFETCH(int, exitCode);
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

// backup over an earlier file, two channels changed, restore --store: every channel as it was,
// bit for bit, stored once; restore --channel sends that channel's own.
void CliTest::backupRestoreRoundTrip()
{
    const QString file = written(dir, "unit.txt", "an earlier backup");
    host.withFirmware([&](Firmware &unit) {
        unit = Firmware(); // its factory calibration, whatever the tests before left
        unit.setGain(1, 1.0f / 3.0f);
        unit.setGain(2, 0.25f);
        const auto [resistance, temperature] = unit.tableRow(3, 42);
        unit.setTableRow(3, 42, std::nextafter(resistance, 1e9f), temperature);
    });
    const QByteArray before = held(host);
    QCOMPARE(cli(QStringList {"backup", file, "--overwrite"} + port).exitCode, 0);
    host.withFirmware([](Firmware &unit) {
        unit.setGain(0, 9);
        unit.setTableRow(2, 7, 1, 1);
    });
    host.clearReceived();

    const Run run = cli(QStringList {"restore", file, "--store"} + port);
    QVERIFY2(run.exitCode == 0 && run.err.contains("calibration was backed up to")
                 && run.err.endsWith("restored Channel1–Channel4, verified; stored\n"),
             run.err);
    QTRY_VERIFY(host.received().endsWith(char(protocol::WriteEeprom)));
    int stores = 0;
    for (const Received &chunk : host.receivedChunks())
        stores += chunk.bytes == QByteArray(1, char(protocol::WriteEeprom));
    QCOMPARE(stores, 1);
    QCOMPARE(held(host), before);
    host.withFirmware([](Firmware &unit) {
        unit.setGain(0, 9);
        unit.setGain(2, 9);
    });
    QCOMPARE(cli(QStringList {"restore", file, "--channel", "3", "--no-backup"} + port).exitCode,
             0);
    QCOMPARE(onUnit(host, [](Firmware &unit) { return unit.gain(0) + unit.gain(2); }), 9.25f);

    // A gain no sensor has is never sent, --force or not.
    QByteArray negative = fileBytes(file);
    negative.replace("# Channel2\r\nGain\t", "# Channel2\r\nGain\t-");
    host.clearReceived();
    const QString refused = written(dir, "negative.txt", negative);
    QCOMPARE(cli(QStringList {"restore", refused, "--force", "--no-backup"} + port).exitCode, 1);
    QVERIFY(host.received().isEmpty());
}

// A file system with 4 KiB left takes the first block of a backup and refuses the rest: the
// backup fails and the whole one from before stays. Where no file system can be mounted (not
// root), a file size limit of 4 KiB on the tool stands in for the full disk.
void CliTest::backupOnAFullDiskKeepsTheOldFile()
{
    const QString small = dir.filePath("small");
    QVERIFY(QDir().mkpath(small));
    const bool mounted
        = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) == 0;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            QProcess::execute("umount", {small});
    });
    const QString file = small + "/unit.txt";
    QCOMPARE(cli(QStringList {"backup", file} + port).exitCode, 0);
    const QByteArray before = fileBytes(file);
    QStringList command {"backup", file, "--overwrite"};
    if (mounted) {
        QFile filler(small + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'f')) == 4096) { }
        QVERIFY(filler.resize(filler.size() - 4096));
    } else {
        command = QStringList {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"",
                               QUADMETER_CLI_EXECUTABLE}
            + command;
    }
    QProcess process;
    process.start(mounted ? QUADMETER_CLI_EXECUTABLE : "/bin/sh", command + port);
    QVERIFY(process.waitForFinished(20000));
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains(file.toUtf8() + " cannot be written"), err);
    QCOMPARE(fileBytes(file), before);
    QCOMPARE(QDir(small).entryList(QDir::Files), QStringList({"filler", "unit.txt"}).mid(!mounted));
}

void CliTest::cutOrMisplacedFileSendsNothing_data()
{
    QTest::addColumn<QStringList>("command"); // "FILE" stands for the file
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why");
    const QVector<Calibration> channels = savedChannels();
    const QByteArray backup
        = unitCalibrationText({QDateTime::currentDateTime(), "ttyACM0", "Q1", "test"}, channels);
    const QByteArray table = calibrationFileText(channels.at(3));
    const QStringList restore {"restore", "FILE", "--store"};
    const QStringList setCal {"set-cal", "4", "--table", "FILE", "--store"};
    for (const int cut : cutPositions(backup))
        QTest::addRow("backup cut at %d", cut) << restore << backup.left(cut) << "was not loaded";
    for (const int cut : cutPositions(table))
        QTest::addRow("get-cal file cut at %d", cut)
            << setCal << table.left(cut) << "was not loaded";
    for (const QByteArray &saved : {backup, table})
        QTest::addRow("%s as a curve", saved == table ? "get-cal file" : "backup")
            << QStringList {"set-cal", "3", "--curve", "FILE"} << saved
            << "it is a calibration file, not a curve; give it with --table";
}

// A file cut at any byte, inside a number or between rows or sections, is refused before the unit
// is asked anything, and so is a saved calibration given as a curve to be resampled.
void CliTest::cutOrMisplacedFileSendsNothing()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    command.replaceInStrings(QRegularExpression("^FILE$"), written(dir, "saved.txt", bytes));
    host.clearReceived();
    const Run run = cli(command + QStringList {"--no-backup"} + port);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(why.toUtf8()) && run.err.contains("Nothing was sent to the unit."),
             run.err);
    QVERIFY(host.received().isEmpty());
}

// A backup of another unit, told by its USB serial number, goes onto this one only with --force.
// In process, so that the pseudo-terminal is listed with a serial number as a real unit is.
void CliTest::restoreOntoAnotherUnitNeedsForce()
{
    const QString file = written(
        dir, "other.txt",
        unitCalibrationText({QDateTime::currentDateTime(), "ttyACM1", "2065376B5748", "test"},
                            savedChannels()));
    for (const QStringList &force : {QStringList(), QStringList {"--force"}}) {
        CommandLine line = parseCommandLine(
            QStringList {"quadmeter-cli", "restore", file, "--no-backup"} + force + port);
        line.common.lister = [this] {
            return QList<PortEntry> {{host.portPath(), true, 0x2341, 0x8036, "55736313B9C1"}};
        };
        host.clearReceived();
        QCOMPARE(line.command->run(line.common), force.isEmpty() ? 1 : 0);
        QCOMPARE(host.received().isEmpty(), force.isEmpty());
    }
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
        const Result<CurveTable> expected = curveTableFromFile(curveFile);
        QCOMPARE(int(expected ? expected->rows.size() : 0), 100);
        QCOMPARE(onUnit(host, [](Firmware &unit) { return unit.tableRow(1, 99).first; }),
                 expected->rows.at(99).resistance);
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
        const QByteArray text = fileBytes(path);
        QVERIFY(text.contains("\r\n# Port: " + host.portPath().toLocal8Bit() + "\r\n"));
        const Result<UnitCalibrationFile> backup = readUnitCalibrationFile(text);
        QCOMPARE(backup.error(), QString());
        QByteArray saved;
        for (const Calibration &channel : backup->channels)
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
    const auto row = [](const char *name, const QStringList &arguments, const UnitFault &fault,
                        int exitCode, const QString &said) {
        QTest::newRow(name) << arguments << fault << exitCode << said;
    };
    row("set-cal --store, the gain kept off",
        {"set-cal", "1", "--table", "FILE", "--store", "--no-backup"},
        UnitFault([](Firmware &unit) { unit.keepOff(0, -1); }), 1,
        "the unit did not take the new calibration (gain differ). Nothing was stored.");
    row("set-cal without --store", {"set-cal", "1", "--table", "FILE", "--no-backup"},
        UnitFault([](Firmware &) {}), 0, "");
    row("get-cal, a gain and no table", {"get-cal", "1", "-o", "FILE"},
        lost(protocol::GetTempTable, 0), 1,
        "Channel1: the unit did not answer in full; nothing was written.");
    row("read --count 2, the second fails", {"read", "--count", "2", "--every", "0"},
        lost(protocol::GetAdcData, 1), 1, "reading 2: the unit did not answer in full");
    row("log --count 2, the second fails", {"log", "FILE", "--count", "2", "--every", "0"},
        lost(protocol::GetAdcData, 1), 1, "a reading failed: the unit did not answer in full");
    row("backup, a table not read", {"backup", "FILE"}, lost(protocol::GetTempTable, 2), 1,
        "Channel3: the unit did not answer in full; nothing was written.");
}

// A command ends 0 only when all of it was done; the unit's calibration is stored only when
// asked, and only when it read back whole and the same.
void CliTest::unitFaultsFailTheCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(UnitFault, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
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
    if (arguments.first() == "get-cal" || arguments.first() == "backup")
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
    const QString fifo = dir.filePath("fifo");
    LonelyFifo lonely(fifo, true);
    const Run refused = cli(QStringList {"log", fifo, "--count", "1"} + port);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains("not a regular file"), refused.err);

    // SIGTERM ends an endless log after a whole row.
    const QString file = dir.filePath("endless.log");
    QProcess process;
    QVERIFY(logUntil(process, file, host.portPath(), 3));
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

void CliTest::oneProgramPerUnit_data()
{
    QTest::addColumn<bool>("firstByLink");
    QTest::addColumn<bool>("secondByLink");
    QTest::newRow("its own name, then a link") << false << true;
    QTest::newRow("a link, then its own name") << true << false;
}

// Two programs on one unit would interleave their exchanges; whichever name reaches it, the
// second is refused and told who holds it, and the first logs every reading whole.
void CliTest::oneProgramPerUnit()
{
    QFETCH(bool, firstByLink);
    QFETCH(bool, secondByLink);
    const QString link = dir.filePath("by-id");
    const QString file = dir.filePath("run.log");
    QVERIFY(QFile::link(host.portPath(), link));
    QProcess first;
    QVERIFY(logUntil(first, file, firstByLink ? link : host.portPath(), 2));

    const Run second = cli(
        {"read", "--every", "0", "--count", "20", "--port", secondByLink ? link : host.portPath()});
    QCOMPARE(second.exitCode, 1);
    const QString holder = QStringLiteral("%1 is in use by quadmeter-cli (process %2)")
                               .arg(host.portPath().mid(int(strlen("/dev/"))))
                               .arg(first.processId());
    QVERIFY2(second.err.contains(holder.toUtf8()), second.err);
    first.terminate();
    QVERIFY(first.waitForFinished(5000));
    QVERIFY2(first.exitCode() == 0, first.readAllStandardError());
}

// A program killed while it held the unit leaves its record behind; another program's lock is then
// not taken for that dead one's.
void CliTest::deadHolderIsNotNamed()
{
    const QString file = dir.filePath("run.log");
    QProcess killed;
    QVERIFY(logUntil(killed, file, host.portPath(), 2));
    killed.kill();
    QVERIFY(killed.waitForFinished(5000));
    const int held
        = ::open(QFile::encodeName(host.portPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(::flock(held, LOCK_EX) == 0);
    const Run refused = cli(QStringList {"read"} + port);
    ::close(held);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains("is in use by another program"), refused.err);
}

// A Pt100 of 100.12 ohms at the ice point in an ice bath: one point taken, the standard table
// corrected through it, and the channel reads the bath.
void CliTest::correctedStandardReadsTheBath()
{
    host.withFirmware([](Firmware &unit) { unit.setBath(0, 273.15); });
    // A points file that holds only its header, without a line end: the point goes below it.
    const QString points = written(dir, "points.txt", pointsFileHeader().chopped(1));
    const Run taken = cli(QStringList {"take-point", "1", "--at", "ice", "-o", points} + port);
    QVERIFY2(taken.exitCode == 0, taken.err.constData());
    QVERIFY(fileBytes(points).startsWith(pointsFileHeader()));
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

// curve writes the standard table over the range asked for as the curve file the bench loads.
void CliTest::curveIsTheStandardTable()
{
    const QString file = dir.filePath("pt100.340");
    QCOMPARE(cli({"curve", "--standard", "pt100", "--range", "80:400", "-o", file}).exitCode, 0);
    QCOMPARE(fileBytes(file), platinumCurveFile(PlatinumCoefficients(), 80, 400));
}

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
