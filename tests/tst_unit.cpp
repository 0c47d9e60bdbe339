// The unit's operations on their own, against the simulated unit: each brings back its value or
// says why it could not.
#include "link/protocol.h"
#include "sim/ptyhost.h"
#include "tests/support/fault.h"
#include "unit/unit.h"

#include <QSerialPort>
#include <QtTest>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Places one stray byte from the unit at an exact moment of an operation, where timing could not:
// as soon as the tool has taken `taken` reply bytes (just after a reply), or, with
// `beforeNextRequest`, once the quiet wait after them has ended (just before the next request).
void placeStrayByte(PtyHost &host, QSerialPort *port, int taken, bool beforeNextRequest,
                    QObject *context)
{
    auto seen = std::make_shared<int>(0);
    auto placed = std::make_shared<bool>(false);
    const auto place = [&host, seen, placed, taken] {
        if (!*placed && *seen >= taken)
            *placed = host.sendUnasked(QByteArray(1, '\x5a'));
    };
    QObject::connect(port, &QSerialPort::readyRead, context, [=] {
        *seen += int(port->bytesAvailable());
        if (!beforeNextRequest)
            place();
    });
    QObject::connect(port, &QSerialPort::errorOccurred, context,
                     [=](QSerialPort::SerialPortError error) {
                         if (beforeNextRequest && error == QSerialPort::TimeoutError)
                             place();
                     });
}

} // namespace

class UnitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failuresSayWhy_data();
    void failuresSayWhy();

private:
    PtyHost host;
};

void UnitTest::initTestCase()
{
    QVERIFY(host.start());
}

void UnitTest::failuresSayWhy_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("reason");
    // Reply bytes taken before a stray byte; -1: a silent unit; -2: a stray byte 15 ms after the
    // table, while the tool still listens (a byte that follows a reply closely belongs to it).
    QTest::addColumn<int>("strayAfter");
    QTest::addColumn<bool>("beforeNextRequest");
    const QString notOpen = "the unit's port is not open";
    const QString notInFull = "the unit did not answer in full";
    const auto row = [](const char *name, const QString &operation, bool open,
                        const QString &reason, int strayAfter, bool beforeNextRequest) {
        QTest::newRow(name) << operation << open << reason << strayAfter << beforeNextRequest;
    };
    row("store, no port", "store", false, notOpen, -1, false);
    row("relay, no port", "relay", false, notOpen, -1, false);
    row("live reading, silent unit", "live", true, notInFull, -1, false);
    row("calibration read, silent unit", "read", true, notInFull, -1, false);
    row("calibration send, silent unit", "send", true, "it did not answer the read-back in full",
        -1, false);
    // A byte the unit adds shifts every value after it: no reading and no calibration of it.
    row("live reading, a byte before the second stage", "live", true, notInFull, 16, true);
    row("live reading, a byte after the relay states", "live", true, notInFull, 5 * 16 + 2, false);
    row("calibration read, a byte before the table", "read", true, notInFull, 4, true);
    row("calibration read, a byte after the table", "read", true, notInFull, 4 + 800, false);
    row("calibration read, a byte soon after the table", "read", true, notInFull, -2, false);
    // The cable pulled with two blocks of the table sent: the rest cannot go.
    row("calibration send, unit pulled", "pulled", true, "rows 51–100 were not sent", -1, false);
    // Another program's lock on the device, of whatever kind, keeps the unit from this one.
    row("open, locked by another program", "locked", false, "is in use by another program", -1,
        false);
}

void UnitTest::failuresSayWhy()
{
    QFETCH(QString, operation);
    QFETCH(bool, open);
    QFETCH(int, strayAfter);
    QFETCH(bool, beforeNextRequest);
    Unit unit;
    if (open)
        QVERIFY(unit.open(host.portPath()).ok());
    QObject stray;
    if (operation == "pulled") {
        const QVector<TableEntry> block(protocol::BlockRows);
        const qint64 twoBlocks = protocol::setGainRequest(0, 0).size()
            + 2 * protocol::setTempTableRequest(0, 0, block).size();
        auto written = std::make_shared<qint64>(0);
        connect(unit.findChild<QSerialPort *>(), &QSerialPort::bytesWritten, &stray,
                [this, written, twoBlocks](qint64 bytes) {
                    if (*written < twoBlocks && (*written += bytes) >= twoBlocks)
                        host.hangUp();
                });
    } else if (strayAfter == -1) {
        host.setMisbehaviour(fault(Misbehaviour::Silent));
    } else if (strayAfter == -2) {
        // Well inside the quiet wait after the table, however long a loaded machine takes.
        Misbehaviour soonAfter = fault(Misbehaviour::Trailing, 0x20, 1, 5);
        soonAfter.surplusBytes = 1;
        host.setMisbehaviour(soonAfter);
    } else {
        placeStrayByte(host, unit.findChild<QSerialPort *>(), strayAfter, beforeNextRequest,
                       &stray);
    }

    // A result says why only when it failed.
    const auto failure = [&]() -> QString {
        if (operation == "locked") {
            const int held = ::open(QFile::encodeName(host.portPath()).constData(),
                                    O_RDWR | O_NOCTTY | O_NONBLOCK);
            const bool locked = ::flock(held, LOCK_SH) == 0;
            const QString why = unit.open(host.portPath()).error();
            ::close(held);
            return locked ? why.section(' ', 1) : QStringLiteral("not locked"); // past the name
        }
        if (operation == "store")
            return unit.storeEeprom().error();
        if (operation == "relay")
            return unit.switchRelay(1, true).error();
        if (operation == "live")
            return unit.readLive().error();
        if (operation == "read")
            return unit.readCalibration(0).error();
        Calibration calibration;
        calibration.rows.resize(TableRows);
        return unit.sendCalibration(0, calibration).error();
    };
    QTEST(failure(), "reason");
    host.setMisbehaviour(Misbehaviour());
    if (!host.isServing())
        QVERIFY(host.replug());
}

QTEST_GUILESS_MAIN(UnitTest)
#include "tst_unit.moc"
