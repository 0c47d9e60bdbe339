// Where a unit that went away is found again, from what the system lists.
#include "unit/unitfollower.h"

#include <QtTest>

Q_DECLARE_METATYPE(QList<PortEntry>)

namespace {

PortEntry unitPort(const QString &name, const QString &serial)
{
    return {name, true, UnitVendorId, UnitProductId, serial};
}

} // namespace

class UnitFollowerTest : public QObject
{
    Q_OBJECT

private slots:
    void unitIsFoundAgain_data();
    void unitIsFoundAgain();
    void serialNumberLearntWhereItWasOpened();
};

void UnitFollowerTest::unitIsFoundAgain_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("named");
    QTest::addColumn<QList<PortEntry>>("listed");
    QTest::addColumn<QString>("found");
    QTest::addColumn<QString>("another"); // "-": no other unit on its port

    const PortEntry adapter {QStringLiteral("ttyUSB0"), true, 0x0403, 0x6001, QStringLiteral("A1")};
    const auto row = [](const char *name, const char *port, const char *serial, bool named,
                        const QList<PortEntry> &listed, const char *found, const char *another) {
        QTest::newRow(name) << QString(port) << QString(serial) << named << listed << QString(found)
                            << QString(another);
    };
    row("same serial number on another port", "ttyACM0", "S1", false,
        {unitPort("ttyACM0", "S2"), unitPort("ttyACM1", "S1")}, "ttyACM1", "-");
    row("its own port preferred", "ttyACM1", "S1", false,
        {unitPort("ttyACM0", "S1"), unitPort("ttyACM1", "S1")}, "ttyACM1", "-");
    row("a named port the system does not list", "/dev/quadmeter", "", true, {adapter},
        "/dev/quadmeter", "-");
    row("a port not named is not opened by name", "/dev/quadmeter", "", false, {adapter}, "", "-");
    row("another unit on a named port", "/dev/ttyACM0", "S1", true, {unitPort("ttyACM0", "S2")}, "",
        "S2");
    row("another unit without a serial number", "ttyACM0", "S1", false, {unitPort("ttyACM0", "")},
        "", "");
    row("the same serial number on a port that is not the unit's", "ttyUSB0", "A1", false,
        {adapter}, "", "-");
    row("no serial number, another maker's adapter on its port", "ttyUSB0", "", false, {adapter},
        "", "-");
    row("nothing while it is away", "ttyACM0", "S1", false, {}, "", "-");
}

void UnitFollowerTest::unitIsFoundAgain()
{
    QFETCH(QString, port);
    QFETCH(QString, serial);
    QFETCH(bool, named);
    QFETCH(QList<PortEntry>, listed);
    const UnitFollower::Sighting seen = UnitFollower({port, serial}, named).look(listed);
    QTEST(seen.port, "found");
    QTEST(seen.anotherUnit ? seen.otherSerial : QStringLiteral("-"), "another");
}

// A unit first opened by its port is followed by its serial number from then on, to a new port.
void UnitFollowerTest::serialNumberLearntWhereItWasOpened()
{
    UnitFollower follower({QStringLiteral("ttyACM0"), QString()}, false);
    follower.learnSerialNumber(QStringLiteral("ttyACM0"),
                               {unitPort("ttyACM1", "S2"), unitPort("ttyACM0", "S1")});
    QCOMPARE(follower.look({unitPort("ttyACM0", "S2"), unitPort("ttyACM1", "S1")}).port,
             QStringLiteral("ttyACM1"));
}

QTEST_GUILESS_MAIN(UnitFollowerTest)
#include "tst_unitfollower.moc"
