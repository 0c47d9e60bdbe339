// The unit's operations on their own, against the simulated unit: each brings back its value or
// says why it could not.
#include "sim/ptyhost.h"
#include "unit/unit.h"

#include <QtTest>

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
    const QString notOpen = "the unit's port is not open";
    const QString notInFull = "the unit did not answer in full";
    QTest::newRow("store, no port") << "store" << false << notOpen;
    QTest::newRow("relay, no port") << "relay" << false << notOpen;
    QTest::newRow("live reading, silent unit") << "live" << true << notInFull;
    QTest::newRow("calibration read, silent unit") << "read" << true << notInFull;
    QTest::newRow("calibration send, silent unit")
        << "send" << true << "it did not answer the read-back in full";
}

void UnitTest::failuresSayWhy()
{
    QFETCH(QString, operation);
    QFETCH(bool, open);
    QFETCH(QString, reason);
    Unit unit;
    if (open)
        QVERIFY(unit.open(host.portPath()).ok());
    Misbehaviour silent;
    silent.mode = Misbehaviour::Silent;
    host.setMisbehaviour(silent);

    // A result says why only when it failed.
    const auto failure = [&]() -> QString {
        if (operation == "store")
            return unit.storeEeprom().error();
        if (operation == "relay")
            return unit.switchRelay(1, true).error();
        if (operation == "live")
            return unit.readLive().error();
        if (operation == "read")
            return unit.readCalibration(0).error();
        Calibration calibration;
        calibration.rows.resize(protocol::TableRows);
        return unit.sendCalibration(0, calibration).error();
    };
    QCOMPARE(failure(), reason);
    host.setMisbehaviour(Misbehaviour());
}

QTEST_GUILESS_MAIN(UnitTest)
#include "tst_unit.moc"
