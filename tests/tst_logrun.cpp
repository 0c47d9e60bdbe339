// A command-line logging run in process, on a faked clock: a run across midnight into daily
// files, a unit that goes away and comes back (or another in its place), and appending onto an
// earlier run.
#include "link/unitports.h"
#include "logging/logrun.h"
#include "logging/logwriter.h"
#include "sim/ptyhost.h"
#include "tests/support/lines.h"
#include "tests/support/simunit.h"
#include "unit/unit.h"

#include <QtTest>

namespace {

// A run on a simulated unit; `listed` gives the ports as the system would list them.
struct Rig
{
    Rig(
        const LogRunSettings &settings,
        const std::function<QList<PortEntry>(const PtyHost &)> &listed
        = [](const PtyHost &host) { return unitsLister({&host})(); })
    {
        const PortLister lister = [this, listed] {
            return listed(host);
        };
        unit.open(host.portPath());
        run = std::make_unique<LogRun>(
            unit, identityOf(lister(), host.portPath()), settings,
            [this](const QString &line) { said << line; },
            [this] { return std::exchange(now, now.addMSecs(tickMs)); });
        run->setPortLister(lister);
    }
    PtyHost host;
    bool started = host.start();
    Unit unit;
    QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 58), Qt::OffsetFromUTC, 3600);
    int tickMs = 0; // how far the clock moves each time it is read
    QStringList said;
    std::unique_ptr<LogRun> run;
};

} // namespace

class LogRunTest : public QObject
{
    Q_OBJECT

private slots:
    void dailyFilesSwitchAtMidnight();
    void whereTheUnitIsNow_data();
    void whereTheUnitIsNow();
    void runWaitsForItsOwnUnit_data();
    void runWaitsForItsOwnUnit();
    void appendGoesOnBelowTheSameHeaderOnly_data();
    void appendGoesOnBelowTheSameHeaderOnly();
    void lostRowsAreToldOnceAndCounted_data();
    void lostRowsAreToldOnceAndCounted();

private:
    QTemporaryDir dir;
};

// Each row lands in the file of the date it carries; its ISO time reads back to the reading's.
void LogRunTest::dailyFilesSwitchAtMidnight()
{
    LogRunSettings settings;
    settings.fileName = dir.filePath("run.txt");
    settings.daily = true;
    settings.timeStyle = LogTimeStyle::Iso;
    settings.milliseconds = true;
    Rig rig(settings);
    rig.tickMs = 600; // a row's time and its file come from one look at the clock
    QVERIFY(rig.started && rig.run->start());
    const QList<QTime> times {QTime(23, 59, 59, 500), QTime(0, 0, 0, 200), QTime(0, 0, 1)};
    QList<QDateTime> stamps;
    for (const QTime &time : times) {
        rig.now = QDateTime(time.hour() ? QDate(2026, 12, 7) : QDate(2026, 12, 8), time,
                            Qt::OffsetFromUTC, 3600);
        stamps << rig.now;
        QCOMPARE(rig.run->sample(), LogRun::Sample::Row);
    }

    const QList<QByteArray> first = linesOf(dir.filePath("run-2026-12-07.txt"));
    const QList<QByteArray> second = linesOf(dir.filePath("run-2026-12-08.txt"));
    QCOMPARE(first.size(), 2); // 23:59:59.500 alone
    QCOMPARE(second.size(), 3);
    QVERIFY(first[0] == logHeader(allLogEnables()) && second[0] == first[0]);
    const QList<QByteArray> rows = first.mid(1) + second.mid(1);
    for (int row = 0; row < rows.size(); ++row) {
        const QDateTime back = QDateTime::fromString(
            QString::fromLatin1(rows[row].split('\t').first()), Qt::ISODateWithMs);
        QCOMPARE(back, stamps[row]);
        QCOMPARE(back.offsetFromUtc(), 3600);
    }
    QVERIFY(rig.said.isEmpty());
}

void LogRunTest::whereTheUnitIsNow_data()
{
    // "port serial"; "port serial -" without USB ids, "port serial x" with another maker's
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("serial"); // of the unit first seen on ttyACM0
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("another");
    const auto row = [](const char *name, const QStringList &listed, const QString &serial,
                        const QString &port, bool another) {
        QTest::newRow(name) << listed << serial << port << another;
    };
    row("no serial, on its port", {"ttyACM1 B", "ttyACM0 "}, "", "ttyACM0", false);
    row("no serial, another unit elsewhere", {"ttyACM1 B"}, "", "", false);
    row("no serial, its port no unit's", {"ttyACM0 B -"}, "", "", false);
    row("no serial, another maker's adapter on its port", {"ttyACM0  x"}, "", "", false);
    row("moved", {"ttyACM1 B", "ttyACM2 A"}, "A", "ttyACM2", false);
    row("another on its port", {"ttyACM0 B"}, "A", "", true);
}

// A unit is known by its serial number wherever it is; without one, by its port alone.
void LogRunTest::whereTheUnitIsNow()
{
    QFETCH(QStringList, listed);
    QFETCH(QString, serial);
    QList<PortEntry> ports;
    for (const QString &entry : listed) {
        const QStringList parts = entry.split(' ');
        const QString ids = parts.value(2);
        ports.append({parts[0], ids != "-", quint16(ids == "x" ? 0x0403 : UnitVendorId),
                      UnitProductId, parts[1]});
    }
    const UnitIdentity unit {QStringLiteral("ttyACM0"), serial};
    QTEST(portOfUnit(ports, unit), "port");
    QTEST(isAnotherUnit(ports, unit), "another");
}

void LogRunTest::runWaitsForItsOwnUnit_data()
{
    QTest::addColumn<bool>("another");
    QTest::newRow("back on a new port") << false;
    QTest::newRow("another unit on its port first") << true;
}

// While away: no rows, one line; another unit on its port is told once and never read; the
// unit's own return is told once and its rows follow. Each time it goes away alike.
void LogRunTest::runWaitsForItsOwnUnit()
{
    QFETCH(bool, another);
    LogRunSettings settings;
    settings.fileName = dir.filePath(QStringLiteral("away%1.txt").arg(another));
    PtyHost stranger;
    QVERIFY(stranger.start());
    QString firstPort;
    bool strangerThere = false;
    Rig rig(settings, [&](const PtyHost &host) {
        if (!strangerThere)
            return unitsLister({&host})();
        // The other unit shows under the name the logged one had.
        QList<PortEntry> listed = unitsLister({&stranger})();
        listed[0].portName = firstPort;
        return listed;
    });
    firstPort = rig.host.portPath();
    QVERIFY(rig.started && rig.run->start());
    QCOMPARE(rig.run->sample(), LogRun::Sample::Row);

    const int lines = another ? 3 : 2;
    for (int away = 1; away <= 2; ++away) {
        rig.host.hangUp();
        strangerThere = another;
        for (int tick = 0; tick < 4; ++tick)
            QCOMPARE(rig.run->sample(), LogRun::Sample::Away);
        QCOMPARE(linesOf(settings.fileName).size(), 2 * away);
        QVERIFY(rig.host.replug());
        strangerThere = false;
        QCOMPARE(rig.run->sample(), LogRun::Sample::Row);
        QCOMPARE(rig.run->sample(), LogRun::Sample::Row);

        QCOMPARE(rig.said.size(), lines * away);
        const QStringList told = rig.said.mid(lines * (away - 1));
        QVERIFY2(told.first().contains("went away"), qPrintable(told.first()));
        QVERIFY2(told.last().contains("is back on " + rig.host.portPath()),
                 qPrintable(told.last()));
        if (another)
            QVERIFY2(told[1].contains("another unit"), qPrintable(told[1]));
    }
    QVERIFY(stranger.received().isEmpty());
    // Each line says when: the faked clock's date and offset.
    for (const QString &line : qAsConst(rig.said))
        QVERIFY(line.startsWith("2026-12-07T23:59:58+01:00: "));
}

void LogRunTest::appendGoesOnBelowTheSameHeaderOnly_data()
{
    QTest::addColumn<QByteArray>("earlier");
    QTest::addColumn<bool>("goesOn");
    QTest::newRow("same header") << logHeader(allLogEnables()) + "12:00:00\t1\r\n" << true;
    QTest::newRow("a last row cut short") << logHeader(allLogEnables()) + "12:00:00\t1" << true;
    QTest::newRow("other header") << QByteArray(";Time\tVoltage0\r\n12:00:00\t1\r\n") << false;
    QByteArray wider = logHeader(allLogEnables());
    QTest::newRow("a wider header") << wider.insert(wider.size() - 2, "\tRelay1")
            + "12:00:00\t1\r\n" << false;
}

void LogRunTest::appendGoesOnBelowTheSameHeaderOnly()
{
    QFETCH(QByteArray, earlier);
    QFETCH(bool, goesOn);
    LogRunSettings settings;
    settings.fileName = dir.filePath(QStringLiteral("append%1.txt").arg(goesOn));
    settings.earlier = LogRunSettings::Earlier::Append;
    QFile file(settings.fileName);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(earlier) == earlier.size());
    file.close();
    Rig rig(settings);

    QCOMPARE(rig.run->start(), goesOn);
    if (goesOn)
        QCOMPARE(rig.run->sample(), LogRun::Sample::Row);
    const QList<QByteArray> lines = linesOf(settings.fileName);
    QVERIFY(lines.mid(0, 2).join().startsWith(earlier));
    QVERIFY(lines.constLast().endsWith("\r\n"));
    QCOMPARE(lines.size(), goesOn ? 3 : 2);
    QCOMPARE(rig.said.size(), goesOn ? 0 : 1);
}

void LogRunTest::lostRowsAreToldOnceAndCounted_data()
{
    QTest::addColumn<int>("lost");
    QTest::addColumn<QString>("again");
    QTest::newRow("one row") << 1 << "; 1 row was lost meanwhile.";
    QTest::newRow("three rows") << 3 << "; 3 rows were lost meanwhile.";
}

// A file that stops taking rows is told once; when it takes them again, that it was made again
// and how many rows were lost meanwhile.
void LogRunTest::lostRowsAreToldOnceAndCounted()
{
    QFETCH(int, lost);
    LogRunSettings settings;
    settings.fileName = dir.filePath(QStringLiteral("lost%1.txt").arg(lost));
    QStringList said;
    LogWriter writer(settings, [&said](const QString &line) { said << line; });
    const QDateTime now(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
    const ChannelData channels[ChannelCount] = {};
    QVERIFY(writer.start(now) && writer.write(now, channels));
    QVERIFY(QFile::remove(settings.fileName) && QDir().mkdir(settings.fileName));
    for (int row = 0; row < lost; ++row)
        QVERIFY(!writer.write(now, channels));
    QVERIFY(QDir().rmdir(settings.fileName) && writer.write(now, channels));
    QCOMPARE(said.size(), 3);
    QVERIFY2(said[0].contains("a row could not be written"), qPrintable(said[0]));
    QVERIFY2(said[1].contains("it was made again"), qPrintable(said[1]));
    QTEST(said[2].mid(said[2].indexOf(';')), "again");
}

QTEST_GUILESS_MAIN(LogRunTest)
#include "tst_logrun.moc"
