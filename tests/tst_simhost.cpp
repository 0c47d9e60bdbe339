// The simulated unit as the tool meets it: a real QSerialPort on the pseudo-terminal.
#include "tests/support/simunit.h"

#include <QSerialPort>
#include <QtTest>

class SimHostTest : public QObject
{
    Q_OBJECT

private slots:
    void answersEveryCommandAndKeepsTranscript();
};

void SimHostTest::answersEveryCommandAndKeepsTranscript()
{
    PtyHost host;
    QVERIFY(host.start());
    QVERIFY(host.portPath().startsWith("/dev/pts/"));
    QSerialPort port;
    QVERIFY2(openUnitPort(port, host), qPrintable(port.errorString()));

    QCOMPARE(exchange(port, QByteArray::fromHex("00010203"), 16).size(), 16);
    QCOMPARE(exchange(port, QByteArray::fromHex("1c01"), 0), QByteArray());
    QCOMPARE(exchange(port, QByteArray::fromHex("1e1f"), 2), QByteArray::fromHex("0100"));
    QCOMPARE(exchange(port, QByteArray::fromHex("20030064"), 800).size(), 800);
    QTRY_COMPARE(host.received(), QByteArray::fromHex("000102031c011e1f20030064"));
}

QTEST_GUILESS_MAIN(SimHostTest)
#include "tst_simhost.moc"
