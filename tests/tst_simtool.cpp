// quadmeter-sim from the outside: its command line, the path it prints, and how it ends.
#include "sim/options.h"
#include "tests/support/fault.h"
#include "tests/support/simunit.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray answerTo(const QString &path, const QByteArray &request, int expected)
{
    QSerialPort port;
    port.setPortName(path);
    port.setBaudRate(500000);
    if (!port.open(QIODevice::ReadWrite))
        return "cannot open " + path.toLocal8Bit();
    return exchange(port, request, expected);
}

// Starts the simulator and reads the path it prints first.
QString startSim(QProcess &sim, const QStringList &arguments)
{
    sim.start(QUADMETER_SIM_EXECUTABLE, arguments);
    if (!sim.waitForStarted(3000) || !sim.waitForReadyRead(3000))
        return {};
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

} // namespace

Q_DECLARE_METATYPE(Misbehaviour)

class SimToolTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void servesUntilStdinCloses();
    void keepsCalibrationAcrossRunsAndStopsOnSignal();
    void misbehavesAsAsked();
};

void SimToolTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Misbehaviour>("expected");
    QTest::addColumn<bool>("refused");
    using M = Misbehaviour;
    Misbehaviour split = fault(M::Split, -1, -1, 40), cut = fault(M::Surplus),
                 longer = fault(M::GarbageWrongLength);
    split.pieces = {5, 11};
    cut.surplusBytes = -3;
    longer.surplusBytes = 1;
    QTest::newRow("plain") << QStringList() << fault(M::Normal) << false;
    QTest::newRow("late") << QStringList {"--late", "300"} << fault(M::Late, -1, -1, 300) << false;
    QTest::newRow("split with gap")
        << QStringList {"--split", "5,11", "--gap", "40"} << split << false;
    QTest::newRow("cut short") << QStringList {"--surplus", "-3"} << cut << false;
    QTest::newRow("silent on relay reads, twice")
        << QStringList {"--silent", "--only-code", "30", "--times", "2"} << fault(M::Silent, 30, 2)
        << false;
    QTest::newRow("garbage 17") << QStringList {"--garbage-length=1"} << longer << false;
    const auto refused = [](const char *name, const QStringList &arguments) {
        QTest::newRow(name) << arguments << Misbehaviour() << true;
    };
    refused("two modes", {"--silent", "--garbage"});
    refused("code out of range", {"--silent", "--only-code", "256"});
    refused("no times", {"--silent", "--times", "0"});
    refused("late by words", {"--late", "soon"});
    refused("empty piece", {"--split", "5,,11"});
    refused("gap alone", {"--gap", "5"});
    refused("unknown option", {"--fast"});
    refused("stray argument", {"/dev/ttyACM0"});
}

void SimToolTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(Misbehaviour, expected);
    QFETCH(bool, refused);
    const SimOptions options = parseSimOptions(QStringList("quadmeter-sim") + arguments);
    QCOMPARE(!options.error.isEmpty(), refused);
    if (refused)
        return;
    const Misbehaviour &m = options.misbehaviour;
    QCOMPARE(int(m.mode), int(expected.mode));
    QCOMPARE(m.delayMs, expected.delayMs);
    QCOMPARE(m.pieces, expected.pieces);
    QCOMPARE(m.surplusBytes, expected.surplusBytes);
    QCOMPARE(m.onlyForCode, expected.onlyForCode);
    QCOMPARE(m.times, expected.times);
}

void SimToolTest::servesUntilStdinCloses()
{
    QProcess sim;
    const QString path = startSim(sim, {});
    QVERIFY2(path.startsWith("/dev/pts/"), qPrintable(path));
    QCOMPARE(answerTo(path, QByteArray::fromHex("1c011e1f"), 2), QByteArray::fromHex("0100"));
    QCOMPARE(answerTo(path, QByteArray::fromHex("10111213"), 16).size(), 16);

    sim.write("replug\n");
    QVERIFY(sim.waitForReadyRead(3000));
    const QString replugged = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(replugged.startsWith("/dev/pts/") && replugged != path, qPrintable(replugged));
    QCOMPARE(answerTo(replugged, QByteArray::fromHex("1e"), 1), QByteArray::fromHex("01"));

    sim.closeWriteChannel();
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

void SimToolTest::keepsCalibrationAcrossRunsAndStopsOnSignal()
{
    QTemporaryDir dir;
    const QStringList arguments {"--eeprom", dir.filePath("eeprom.bin"), "--no-stdin"};
    {
        QProcess sim;
        const QString path = startSim(sim, arguments);
        QVERIFY(!path.isEmpty());
        // Gain 1.5 on channel 3, stored, read back.
        QCOMPARE(answerTo(path, QByteArray::fromHex("170000c03f 22 1b"), 4),
                 QByteArray::fromHex("0000c03f"));
        sim.closeWriteChannel(); // ignored with --no-stdin
        QVERIFY(!sim.waitForFinished(200));
        sim.terminate();
        QVERIFY(sim.waitForFinished(3000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
    }
    QProcess sim;
    const QString path = startSim(sim, arguments);
    QCOMPARE(answerTo(path, QByteArray::fromHex("1b"), 4), QByteArray::fromHex("0000c03f"));
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
}

void SimToolTest::misbehavesAsAsked()
{
    QProcess help;
    help.start(QUADMETER_SIM_EXECUTABLE, {"--help"});
    QVERIFY(help.waitForFinished(3000));
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(help.readAllStandardOutput().contains("--line-rate"));

    QProcess refused;
    refused.start(QUADMETER_SIM_EXECUTABLE, {"--late"});
    QVERIFY(refused.waitForFinished(3000));
    QCOMPARE(refused.exitCode(), 2);
    QVERIFY(refused.readAllStandardOutput().isEmpty()); // nothing a script could take for a path

    QProcess sim;
    const QString path = startSim(sim, {"--surplus", "4", "--only-code", "4"});
    QCOMPARE(answerTo(path, QByteArray::fromHex("00010203"), 16).size(), 16);
    QSerialPort port;
    port.setPortName(path);
    QVERIFY(port.open(QIODevice::ReadWrite));
    QByteArray reply = exchange(port, QByteArray::fromHex("04050607"), 20);
    reply += collectFor(port, 100);
    QCOMPARE(reply.size(), 20);
    sim.closeWriteChannel();
    QVERIFY(sim.waitForFinished(3000));
}

QTEST_GUILESS_MAIN(SimToolTest)
#include "tst_simtool.moc"
