// The exchange waits against the simulated unit over a real pseudo-terminal.
#include "link/exchange.h"
#include "link/protocol.h"
#include "sim/ptyhost.h"
#include "tests/support/debugrecorder.h"
#include "tests/support/fault.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>

#include <memory>
#include <thread>

#include <sys/ioctl.h>

Q_DECLARE_METATYPE(Misbehaviour)

namespace {

// A one-shot read's reply bytes; empty when it brought none.
QByteArray bytesOf(const Result<QByteArray> &reply)
{
    return reply ? *reply : QByteArray();
}

QByteArray counting(int size, int from = 0)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(from + i));
    return bytes;
}

// The answer in pieces of these sizes, `gapMs` apart; the rest in one last piece.
Misbehaviour split(const QList<int> &pieces, int gapMs, int times = -1)
{
    Misbehaviour m = fault(Misbehaviour::Split, -1, times, gapMs);
    m.pieces = pieces;
    return m;
}

} // namespace

class ExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void collectingWait_data();
    void collectingWait();
    void silenceEndsTheWaitWhileEventsGoOn();
    void oneShotRead_data();
    void oneShotRead();
    void wholeTableComesInUsbPackets();
    void staleBytesNeverStartAReply_data();
    void staleBytesNeverStartAReply();
    void hungUpLineEndsTheWaits_data();
    void hungUpLineEndsTheWaits();
    void replyFromPieces_data();
    void replyFromPieces();

private:
    std::unique_ptr<PtyHost> host;
    std::unique_ptr<QSerialPort> port;
};

void ExchangeTest::init()
{
    host = std::make_unique<PtyHost>();
    QVERIFY(host->start());
    port = std::make_unique<QSerialPort>(host->portPath());
    port->setBaudRate(500000);
    QVERIFY2(port->open(QIODevice::ReadWrite), qPrintable(port->errorString()));
}

void ExchangeTest::cleanup()
{
    port.reset();
    host.reset();
}

void ExchangeTest::collectingWait_data()
{
    QTest::addColumn<Misbehaviour>("behaviour");
    QTest::addColumn<int>("nestedLoopMs");
    QTest::addColumn<int>("size");

    Misbehaviour longer = fault(Misbehaviour::Surplus), shorter = longer;
    longer.surplusBytes = 4;
    shorter.surplusBytes = -4;
    QTest::newRow("in one piece") << fault(Misbehaviour::Normal) << 0 << 16;
    QTest::newRow("5 + 11, 30 ms apart") << split({5}, 30) << 0 << 16;
    QTest::newRow("5 + 11, back to back") << split({5}, 0) << 0 << 16;
    // The last piece comes 150 ms after the request: well inside the limit, even for a simulated
    // unit that a loaded machine runs late.
    QTest::newRow("four pieces, 50 ms apart") << split({4, 4, 4}, 50) << 0 << 16;
    QTest::newRow("byte by byte at line rate") << fault(Misbehaviour::LineRate) << 0 << 16;
    QTest::newRow("20 bytes in one read") << longer << 0 << 20;
    QTest::newRow("12 bytes") << shorter << 0 << 12;
    // The answer lands while a box opened from a click runs its own loop inside the wait; that
    // loop moves it into the port's buffer, where no further wait would notice it.
    QTest::newRow("arrives during a nested loop")
        << fault(Misbehaviour::Late, -1, -1, 80) << 100 << 16;
    QTest::newRow("after the limit") << fault(Misbehaviour::Late, -1, -1, 600) << 0 << 0;
}

// The caller's verdict is the size: exactly 16 is a good reply, anything else a wrong one.
void ExchangeTest::collectingWait()
{
    QFETCH(Misbehaviour, behaviour);
    QFETCH(int, nestedLoopMs);
    QFETCH(int, size);
    const QByteArray answer = counting(16, 0x40);
    host->scriptReply(protocol::GetCurrentVoltage, answer);
    host->setMisbehaviour(behaviour);
    if (nestedLoopMs > 0)
        QTimer::singleShot(5, this, [nestedLoopMs] { QTest::qWait(nestedLoopMs); });

    // A reply that comes whole gets a limit that a loaded machine keeps; the rows about the
    // limit keep the unit's own.
    const int limitMs = size == protocol::MeasurementReplyBytes ? 2000 : 200;

    exchange::sendForReply(port.get(), protocol::measurementRequest(1));
    const QByteArray reply
        = exchange::collect(port.get(), protocol::MeasurementReplyBytes, limitMs);

    QCOMPARE(reply.size(), size);
    QCOMPARE(reply.left(16), answer.left(size));
    QCOMPARE(host->received().toHex(), QByteArray("04050607"));
}

void ExchangeTest::silenceEndsTheWaitWhileEventsGoOn()
{
    host->setMisbehaviour(fault(Misbehaviour::Silent));
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);

    QElapsedTimer clock;
    clock.start();
    exchange::sendForReply(port.get(), protocol::measurementRequest(0));
    const QByteArray reply = exchange::collect(port.get(), protocol::MeasurementReplyBytes);
    const qint64 took = clock.elapsed();

    QVERIFY(reply.isEmpty());
    QVERIFY2(took >= 200 && took < 1000, qPrintable(QString::number(took)));
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
}

void ExchangeTest::oneShotRead_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<Misbehaviour>("behaviour");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("debug");

    const QByteArray gain = QByteArray::fromHex("0000803f");
    const QByteArray relays = QByteArray::fromHex("0100");
    const QByteArray gainRequest = protocol::getGainRequest(2);
    const QByteArray relayRequest = protocol::relayStateRequest();
    const Misbehaviour normal, silent = fault(Misbehaviour::Silent);

    QTest::newRow("gain whole") << gainRequest << gain << normal << gain << QStringList();
    QTest::newRow("gain in four pieces")
        << gainRequest << gain << split({1, 1, 1}, 40) << gain << QStringList();
    QTest::newRow("relay states in two pieces")
        << relayRequest << relays << split({1}, 100) << relays << QStringList();
    QTest::newRow("relay states with surplus are dropped")
        << relayRequest << relays + QByteArray::fromHex("ffffff") << normal << QByteArray()
        << QStringList {"Overlong reply dropped: 5 of 4 bytes"};
    QTest::newRow("no reply") << gainRequest << gain << silent << QByteArray() << QStringList();
    QTest::newRow("half a gain") << gainRequest << gain.left(2) << normal << QByteArray()
                                 << QStringList {"Incomplete reply dropped: 2 of 4 bytes"};
}

void ExchangeTest::oneShotRead()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(Misbehaviour, behaviour);
    QFETCH(QByteArray, reply);
    host->scriptReply(quint8(request.at(0)), answer);
    host->setMisbehaviour(behaviour);
    DebugRecorder recorder;

    exchange::sendForReply(port.get(), request);
    const QByteArray got
        = bytesOf(exchange::readReply(port.get(), reply.isEmpty() ? 4 : reply.size(), 500));

    QCOMPARE(got.toHex(), reply.toHex());
    QTEST(DebugRecorder::lines, "debug");
}

void ExchangeTest::wholeTableComesInUsbPackets()
{
    host->withFirmware([](Firmware &unit) {
        for (int row = 0; row < TableRows; ++row)
            unit.setTableRow(3, row, 100.0f + 3.85f * float(row), 273.15f + float(row));
    });
    host->setMisbehaviour(fault(Misbehaviour::UsbPackets));

    exchange::sendForReply(port.get(), protocol::getTempTableRequest(3));
    const QByteArray reply = bytesOf(exchange::readReply(port.get(), protocol::TableReplyBytes));

    QCOMPARE(reply.size(), protocol::TableReplyBytes);
    const auto entries = protocol::tableEntries(reply);
    for (int row = 0; row < TableRows; ++row) {
        QCOMPARE(entries[row].resistance, 100.0f + 3.85f * float(row));
        QCOMPARE(entries[row].temperature, 273.15f + float(row));
    }
    // Nothing of it is left behind for the next exchange.
    QCOMPARE(port->bytesAvailable(), 0);
}

void ExchangeTest::staleBytesNeverStartAReply_data()
{
    QTest::addColumn<bool>("processEventsMeanwhile");
    QTest::addColumn<bool>("lateTail");
    QTest::newRow("late reply still in the system") << false << false;
    QTest::newRow("late reply already read by the port") << true << false;
    QTest::newRow("tail of a relay reply, in the system") << false << true;
    QTest::newRow("tail of a relay reply, read by the port") << true << true;
}

void ExchangeTest::staleBytesNeverStartAReply()
{
    QFETCH(bool, processEventsMeanwhile);
    QFETCH(bool, lateTail);

    if (lateTail) {
        // The relay read takes its two bytes; six more follow after it has returned.
        host->scriptReply(protocol::GetRelay1, counting(8, 0xa0));
        host->setMisbehaviour(split({2}, 500, 1));
        exchange::sendForReply(port.get(), protocol::relayStateRequest());
        QCOMPARE(bytesOf(exchange::readReply(port.get(), protocol::RelayStateReplyBytes)),
                 QByteArray::fromHex("a0a1"));
    } else {
        host->setMisbehaviour(fault(Misbehaviour::Late, -1, 1, 600));
        exchange::sendForReply(port.get(), protocol::measurementRequest(0));
        QVERIFY(exchange::collect(port.get(), protocol::MeasurementReplyBytes).isEmpty());
    }
    // The stale bytes must be here before the next request, however late the unit runs.
    const int stale = lateTail ? 6 : 16;
    if (processEventsMeanwhile) {
        QTRY_COMPARE_WITH_TIMEOUT(port->bytesAvailable(), qint64(stale), 5000);
    } else {
        int inSystem = 0;
        QElapsedTimer clock;
        clock.start();
        while ((::ioctl(int(port->handle()), FIONREAD, &inSystem) != 0 || inSystem < stale)
               && !clock.hasExpired(5000))
            QThread::msleep(5);
        QCOMPARE(inSystem, stale);
    }

    const QByteArray answer = counting(16, 0x10);
    host->scriptReply(protocol::GetAcVoltage, answer);
    exchange::sendForReply(port.get(), protocol::measurementRequest(2));
    QCOMPARE(exchange::collect(port.get(), protocol::MeasurementReplyBytes).toHex(),
             answer.toHex());
}

void ExchangeTest::hungUpLineEndsTheWaits_data()
{
    QTest::addColumn<bool>("collecting");
    QTest::newRow("collecting wait") << true;
    QTest::newRow("one-shot read") << false;
}

// An unplugged unit must end a wait at once, not leave it failing over and over until its limit.
void ExchangeTest::hungUpLineEndsTheWaits()
{
    QFETCH(bool, collecting);
    host->setMisbehaviour(fault(Misbehaviour::Silent));
    int errors = 0;
    connect(port.get(), &QSerialPort::errorOccurred, this,
            [&errors](QSerialPort::SerialPortError e) { errors += exchange::deviceWentAway(e); });
    std::thread unplug([this] {
        QThread::msleep(100);
        host->hangUp();
    });

    QElapsedTimer clock;
    clock.start();
    exchange::sendForReply(
        port.get(), collecting ? protocol::measurementRequest(0) : protocol::getGainRequest(0));
    const QByteArray reply = collecting
        ? exchange::collect(port.get(), protocol::MeasurementReplyBytes, 3000)
        : bytesOf(exchange::readReply(port.get(), protocol::GainReplyBytes, 3000));
    const qint64 took = clock.elapsed();
    unplug.join();

    QVERIFY(reply.isEmpty());
    QVERIFY2(took < 2000, qPrintable(QString::number(took)));
    QVERIFY2(errors >= 1 && errors < 10, qPrintable(QString::number(errors)));
}

void ExchangeTest::replyFromPieces_data()
{
    using Acc = exchange::ReplyAccumulator;
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<int>>("pieces"); // sizes of the reads, of one counting byte stream
    QTest::addColumn<int>("taken"); // reads taken before the wait stops
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("replyBytes"); // size of the one-shot read's reply

    using Reads = QList<int>;
    QTest::newRow("measurement in one read") << 16 << Reads {16} << 1 << int(Acc::Complete) << 16;
    QTest::newRow("5 + 11") << 16 << Reads {5, 11, 3} << 2 << int(Acc::Complete) << 16;
    QTest::newRow("empty reads count nothing")
        << 16 << Reads {0, 0, 16} << 3 << int(Acc::Complete) << 16;
    QTest::newRow("20 in one read") << 16 << Reads {20} << 1 << int(Acc::TooLong) << 16;
    QTest::newRow("15 + 5") << 16 << Reads {15, 5} << 2 << int(Acc::TooLong) << 16;
    QTest::newRow("12, then silence") << 16 << Reads {12} << 1 << int(Acc::Incomplete) << 0;
    QTest::newRow("relay states with surplus") << 2 << Reads {1, 7} << 2 << int(Acc::TooLong) << 2;
    QTest::newRow("half a gain") << 4 << Reads {2} << 1 << int(Acc::Incomplete) << 0;
    QTest::newRow("table in USB packets, one byte short")
        << 800 << (QVector<int>(12, 64).toList() << 31) << 13 << int(Acc::Incomplete) << 0;
    QTest::newRow("table in USB packets")
        << 800 << (QVector<int>(12, 64).toList() << 32 << 64) << 13 << int(Acc::Complete) << 800;
}

// Both waits stop taking reads once the reply is whole or overlong; the collecting wait returns
// all it took, the one-shot read only a whole reply, and that exactly as it came.
void ExchangeTest::replyFromPieces()
{
    QFETCH(int, expected);
    QFETCH(QList<int>, pieces);
    QFETCH(int, status);
    QFETCH(int, replyBytes);

    exchange::ReplyAccumulator reply(expected);
    QByteArray sent;
    int reads = 0;
    for (const int size : pieces) {
        if (!reply.wantsMore())
            break;
        const QByteArray piece = counting(size, sent.size());
        sent += piece;
        reply.add(piece);
        ++reads;
    }

    QTEST(reads, "taken");
    QCOMPARE(int(reply.status()), status);
    QCOMPARE(reply.received().toHex(), sent.toHex());
    QCOMPARE(reply.reply().toHex(), sent.left(replyBytes).toHex());
}

QTEST_MAIN(ExchangeTest)
#include "tst_exchange.moc"
