// quadmeter-sim from the outside: its command line, the path it prints, and how it ends.
#include "sim/options.h"
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
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QList<int>>("pieces");
    QTest::addColumn<int>("surplus");
    QTest::addColumn<int>("onlyForCode");
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("refused");
    const QList<int> none;
    QTest::newRow("plain") << QStringList() << int(Misbehaviour::Normal) << 0 << none << 0 << -1
                           << -1 << false;
    QTest::newRow("late") << QStringList {"--late", "300"} << int(Misbehaviour::Late) << 300 << none
                          << 0 << -1 << -1 << false;
    QTest::newRow("split with gap")
        << QStringList {"--split", "5,11", "--gap", "40"} << int(Misbehaviour::Split) << 40
        << QList<int> {5, 11} << 0 << -1 << -1 << false;
    QTest::newRow("cut short") << QStringList {"--surplus", "-3"} << int(Misbehaviour::Surplus) << 0
                               << none << -3 << -1 << -1 << false;
    QTest::newRow("silent on relay reads, twice")
        << QStringList {"--silent", "--only-code", "30", "--times", "2"}
        << int(Misbehaviour::Silent) << 0 << none << 0 << 30 << 2 << false;
    QTest::newRow("garbage 17") << QStringList {"--garbage-length=1"}
                                << int(Misbehaviour::GarbageWrongLength) << 0 << none << 1 << -1
                                << -1 << false;
    QTest::newRow("two modes") << QStringList {"--silent", "--garbage"} << 0 << 0 << none << 0 << -1
                               << -1 << true;
    QTest::newRow("code out of range") << QStringList {"--silent", "--only-code", "256"} << 0 << 0
                                       << none << 0 << -1 << -1 << true;
    QTest::newRow("late by words")
        << QStringList {"--late", "soon"} << 0 << 0 << none << 0 << -1 << -1 << true;
    QTest::newRow("empty piece") << QStringList {"--split", "5,,11"} << 0 << 0 << none << 0 << -1
                                 << -1 << true;
    QTest::newRow("gap alone") << QStringList {"--gap", "5"} << 0 << 0 << none << 0 << -1 << -1
                               << true;
    QTest::newRow("unknown option")
        << QStringList {"--fast"} << 0 << 0 << none << 0 << -1 << -1 << true;
    QTest::newRow("stray argument")
        << QStringList {"/dev/ttyACM0"} << 0 << 0 << none << 0 << -1 << -1 << true;
}

void SimToolTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, mode);
    QFETCH(int, delayMs);
    QFETCH(QList<int>, pieces);
    QFETCH(int, surplus);
    QFETCH(int, onlyForCode);
    QFETCH(int, times);
    QFETCH(bool, refused);
    const SimOptions options = parseSimOptions(QStringList("quadmeter-sim") + arguments);
    QCOMPARE(!options.error.isEmpty(), refused);
    if (refused)
        return;
    const Misbehaviour &m = options.misbehaviour;
    QCOMPARE(int(m.mode), mode);
    QCOMPARE(m.delayMs, delayMs);
    QCOMPARE(m.pieces, pieces);
    QCOMPARE(m.surplusBytes, surplus);
    QCOMPARE(m.onlyForCode, onlyForCode);
    QCOMPARE(m.times, times);
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
        QCOMPARE(answerTo(path,
                          QByteArray::fromHex("170000c03f"
                                              "22"
                                              "1b"),
                          4),
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
