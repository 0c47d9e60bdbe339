// Switching the unit's relays from the main window's boxes.
#include "app/dialog.h"
#include "link/exchange.h"
#include "link/protocol.h"
#include "tests/support/fault.h"
#include "tests/support/modalboxes.h"

#include <QCheckBox>
#include <QSerialPort>
#include <QtTest>

namespace {

PortLister unitAt(const PtyHost &host)
{
    return [&host] {
        return QList<PortEntry> {{host.portPath(), true, 1155, 22336, {}}};
    };
}

} // namespace

class RelaysTest : public QObject
{
    Q_OBJECT

private slots:
    void clickSendsCodeAndState_data();
    void clickSendsCodeAndState();
    void noUnitSendsNothingAndUndoesTheClick();
    void switchDuringMeasurementLeavesItsReplyAlone();
};

void RelaysTest::clickSendsCodeAndState_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("wasChecked");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("relay 1 ticked") << "cbRelay1" << false << QByteArray("1c01");
    QTest::newRow("relay 1 unticked") << "cbRelay1" << true << QByteArray("1c00");
    QTest::newRow("relay 2 ticked") << "cbRelay2" << false << QByteArray("1d01");
    QTest::newRow("relay 2 unticked") << "cbRelay2" << true << QByteArray("1d00");
}

void RelaysTest::clickSendsCodeAndState()
{
    QFETCH(QString, box);
    QFETCH(bool, wasChecked);
    QFETCH(QByteArray, bytes);
    PtyHost host;
    QVERIFY(host.start());
    ModalAnswerer answerer;
    Dialog w;
    w.setPortLister(unitAt(host));
    auto *check = w.findChild<QCheckBox *>(box);
    check->setChecked(wasChecked);

    check->click();

    QTRY_COMPARE(host.received().toHex(), bytes);
    // One write, and nothing after it: no read-back of the relay states.
    QTest::qWait(100);
    QCOMPARE(host.receivedChunks().size(), 1);
    QCOMPARE(host.received().toHex(), bytes);
    QCOMPARE(check->isChecked(), !wasChecked);
    QVERIFY(answerer.seen.isEmpty());
    const int relay = box.endsWith('1') ? 1 : 2;
    bool on = wasChecked;
    host.withFirmware([&on, relay](Firmware &unit) { on = unit.relay(relay); });
    QCOMPARE(on, !wasChecked);
}

// No relay switched, so the box goes back to what the relay still is.
void RelaysTest::noUnitSendsNothingAndUndoesTheClick()
{
    ModalAnswerer answerer;
    Dialog w;
    w.setPortLister([] { return QList<PortEntry>(); });
    auto *check = w.findChild<QCheckBox *>("cbRelay2");

    check->click();

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Fatal Error"));
    QVERIFY(!check->isChecked());
}

// A relay switch clicked while a measurement waits for its reply goes out at once; having no
// reply of its own, it must not disturb the one being collected.
void RelaysTest::switchDuringMeasurementLeavesItsReplyAlone()
{
    PtyHost host;
    QVERIFY(host.start());
    ModalAnswerer answerer;
    Dialog w;
    w.setPortLister(unitAt(host));
    auto *relay2 = w.findChild<QCheckBox *>("cbRelay2");
    relay2->click();
    QTRY_COMPARE(host.received().toHex(), QByteArray("1d01"));
    host.clearReceived();

    const QByteArray answer("0123456789:;<=>?"); // the 16 bytes 0x30 to 0x3f
    host.scriptReply(protocol::GetResistance, answer);
    host.setMisbehaviour(fault(Misbehaviour::Late, -1, -1, 120));
    QTimer::singleShot(40, relay2, &QCheckBox::click);

    auto *port = w.findChild<QSerialPort *>();
    exchange::sendForReply(port, protocol::measurementRequest(3));
    // A limit far beyond the late reply: a loaded machine may hold the unit back a while.
    const QByteArray reply = exchange::collect(port, protocol::MeasurementReplyBytes, 10000);

    QCOMPARE(reply.toHex(), answer.toHex());
    QCOMPARE(host.received().toHex(), QByteArray("0c0d0e0f1d00"));
    bool unitRelay2 = true;
    host.withFirmware([&unitRelay2](Firmware &unit) { unitRelay2 = unit.relay(2); });
    QVERIFY(!unitRelay2);
}

QTEST_MAIN(RelaysTest)
#include "tst_relays.moc"
