// The simulated unit as the tool meets it: a real QSerialPort on the pseudo-terminal.
#include "tests/support/fault.h"
#include "tests/support/simunit.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <pty.h>
#include <unistd.h>

Q_DECLARE_METATYPE(Misbehaviour)

namespace {

// Blanks, which keep the requests and answers apart, are skipped.
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

struct Arrival
{
    qint64 ms; // since the request was written
    QByteArray bytes;
};

// Writes the request, then notes each read until `expected` bytes are in and `quietMs` passed
// without more, or `limitMs` passed.
QList<Arrival> arrivals(QSerialPort &port, const QByteArray &request, int expected,
                        int quietMs = 100, int limitMs = 1500)
{
    QList<Arrival> got;
    int total = 0;
    // The clock starts before the write: the unit may take the request before flush() returns,
    // and a test thread preempted there would otherwise see its answer arrive early.
    QElapsedTimer clock;
    clock.start();
    port.write(request);
    port.flush();
    qint64 last = 0;
    while (clock.elapsed() < limitMs && (total < expected || clock.elapsed() - last < quietMs)) {
        if (port.waitForReadyRead(5)) {
            last = clock.elapsed();
            const QByteArray bytes = port.readAll();
            total += bytes.size();
            got.append({last, bytes});
        }
    }
    return got;
}

QByteArray joined(const QList<Arrival> &list)
{
    QByteArray all;
    for (const Arrival &a : list)
        all += a.bytes;
    return all;
}

using M = Misbehaviour;

// An answer in pieces, or with bytes more or fewer, for every request and for ever.
Misbehaviour shaped(M::Mode mode, int delayMs, const QList<int> &pieces, int surplus = 0)
{
    Misbehaviour m = fault(mode, -1, -1, delayMs);
    m.pieces = pieces;
    m.surplusBytes = surplus;
    return m;
}

} // namespace

class SimHostTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QSerialPort::SerialPortError>(); }
    void init();
    void cleanup();
    void answersEveryCommandAndKeepsTranscript();
    void misbehaviourOnTheWire_data();
    void misbehaviourOnTheWire();
    void misbehaviourLimitedByCodeAndCount();
    void scriptedReplies();
    void eepromFileSurvivesRestart();
    void hangUpAndReplugUnderNewName();
    void stopsWhileToolHoldsThePort();

private:
    std::unique_ptr<PtyHost> host;
    std::unique_ptr<QSerialPort> port;
};

void SimHostTest::init()
{
    host = std::make_unique<PtyHost>();
    QVERIFY(host->start());
    port = std::make_unique<QSerialPort>();
    QVERIFY2(openUnitPort(*port, *host), qPrintable(port->errorString()));
}

void SimHostTest::cleanup()
{
    port.reset();
    host.reset();
}

void SimHostTest::answersEveryCommandAndKeepsTranscript()
{
    QVERIFY(host->portPath().startsWith("/dev/pts/"));
    const QByteArray table = Firmware().feed(hex("20030064"));
    const struct
    {
        QByteArray request;
        QByteArray reply;
    } steps[] = {
        {hex("00010203"), {}},    {hex("04050607"), {}},
        {hex("08090a0b"), {}},    {hex("0c0d0e0f"), {}},
        {hex("10111213"), {}},    {hex("1c01"), {}},
        {hex("1d00"), {}},        {hex("1e1f"), hex("0100")},
        {hex("160000c03f"), {}},  {hex("1a"), hex("0000c03f")},
        {hex("20030064"), table}, {hex("22"), {}},
    };
    QByteArray written;
    for (const auto &step : steps) {
        const int size = step.request.at(0) < 0x14 ? 16 : int(step.reply.size());
        const QByteArray reply = joined(arrivals(*port, step.request, size, size ? 30 : 60));
        QCOMPARE(reply.size(), size);
        if (!step.reply.isEmpty())
            QCOMPARE(reply, step.reply);
        written += step.request;
    }
    QCOMPARE(host->received().toHex(' '), written.toHex(' '));
    // Each write arrived as one read, stamped in order.
    const QList<Received> chunks = host->receivedChunks();
    QCOMPARE(chunks.size(), int(std::size(steps)));
    for (int i = 1; i < chunks.size(); ++i)
        QVERIFY(chunks[i].usecs > chunks[i - 1].usecs);

    host->clearReceived();
    QVERIFY(host->received().isEmpty());
}

void SimHostTest::misbehaviourOnTheWire_data()
{
    QTest::addColumn<Misbehaviour>("mode");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("firstPiece"); // bytes in the first read; -1 any
    QTest::addColumn<int>("minFirstMs");
    QTest::addColumn<int>("minLastMs"); // from the write to the last read
    const QByteArray voltages = hex("04050607"), table = hex("20000064");
    QTest::newRow("normal") << fault(M::Normal) << voltages << 16 << 16 << 0 << 0;
    QTest::newRow("silent") << fault(M::Silent) << voltages << 0 << -1 << 0 << 0;
    QTest::newRow("late") << fault(M::Late, -1, -1, 250) << voltages << 16 << 16 << 240 << 240;
    QTest::newRow("5 + 11") << shaped(M::Split, 100, {5}) << voltages << 16 << 5 << 0 << 95;
    QTest::newRow("4 + 4 + 4 + rest")
        << shaped(M::Split, 50, {4, 4, 4}) << voltages << 16 << 4 << 0 << 145;
    QTest::newRow("4 surplus") << shaped(M::Surplus, 0, {}, 4) << voltages << 20 << 20 << 0 << 0;
    QTest::newRow("4 trailing") << shaped(M::Trailing, 100, {}, 4) << voltages << 20 << 16 << 0
                                << 95;
    QTest::newRow("3 short") << shaped(M::Surplus, 0, {}, -3) << voltages << 13 << 13 << 0 << 0;
    // Rubbish: the reply differs from the true answer where the two overlap.
    QTest::newRow("garbage") << fault(M::Garbage) << voltages << 16 << 16 << 0 << 0;
    QTest::newRow("garbage, 17") << shaped(M::GarbageWrongLength, 0, {}, 1) << voltages << 17 << 17
                                 << 0 << 0;
    QTest::newRow("garbage, 1") << shaped(M::GarbageWrongLength, 0, {}, -15) << voltages << 1 << 1
                                << 0 << 0;
    // 800 bytes take 16 ms at the line rate and 13 frames as USB packets.
    QTest::newRow("line rate") << fault(M::LineRate) << table << 800 << -1 << 0 << 15;
    QTest::newRow("USB packets") << fault(M::UsbPackets) << table << 800 << -1 << 0 << 11;
}

void SimHostTest::misbehaviourOnTheWire()
{
    QFETCH(Misbehaviour, mode);
    QFETCH(QByteArray, request);
    QFETCH(int, size);
    QFETCH(int, firstPiece);
    QFETCH(int, minFirstMs);
    QFETCH(int, minLastMs);
    const auto forced = [](Firmware &unit) {
        for (int channel = 0; channel < 4; ++channel)
            unit.forceRaw(channel, 1, 0x3f800000u + quint32(channel));
    };
    host->withFirmware(forced);
    Firmware twin;
    forced(twin);
    const QByteArray answer = twin.feed(request);

    host->setMisbehaviour(mode);
    const QList<Arrival> got = arrivals(*port, request, size, size ? 100 : 400);
    const QByteArray reply = joined(got);
    QCOMPARE(reply.size(), size);
    const int common = std::min(size, int(answer.size()));
    if (mode.mode == M::Garbage || mode.mode == M::GarbageWrongLength)
        QVERIFY(reply.left(common) != answer.left(common));
    else
        QCOMPARE(reply.left(common).toHex(), answer.left(common).toHex());
    if (got.isEmpty())
        return;
    if (firstPiece >= 0)
        QCOMPARE(got.first().bytes.size(), firstPiece);
    QVERIFY2(got.first().ms >= minFirstMs, qPrintable(QString::number(got.first().ms)));
    QVERIFY2(got.last().ms >= minLastMs, qPrintable(QString::number(got.last().ms)));
}

void SimHostTest::misbehaviourLimitedByCodeAndCount()
{
    host->setMisbehaviour(fault(M::Silent, 30, 1));
    QCOMPARE(joined(arrivals(*port, hex("00010203"), 16)).size(), 16);
    QCOMPARE(joined(arrivals(*port, hex("1c01"), 0)), QByteArray()); // no answer, not counted
    QCOMPARE(joined(arrivals(*port, hex("1e1f"), 0, 300)), QByteArray());
    QCOMPARE(joined(arrivals(*port, hex("1e1f"), 2)), hex("0100"));
    QCOMPARE(host->misbehaviour().mode, Misbehaviour::Normal);
}

void SimHostTest::scriptedReplies()
{
    host->scriptReply(30, hex("0005"), 2);
    host->scriptReply(34, hex("abcd"));
    QCOMPARE(joined(arrivals(*port, hex("1e1f"), 2)), hex("0005"));
    QCOMPARE(joined(arrivals(*port, hex("22"), 2)), hex("abcd")); // even where none is due
    QCOMPARE(joined(arrivals(*port, hex("1e1f"), 2)), hex("0005"));
    QCOMPARE(joined(arrivals(*port, hex("1e1f"), 2)), hex("0000"));
    QCOMPARE(joined(arrivals(*port, hex("22"), 0)), QByteArray());

    // A scripted reply still takes the misbehaviour, as an answer of the unit would.
    host->scriptReply(24, hex("0000c03f"));
    host->setMisbehaviour(shaped(M::Split, 80, {1}));
    const QList<Arrival> got = arrivals(*port, hex("18"), 4);
    QCOMPARE(joined(got), hex("0000c03f"));
    QCOMPARE(got.first().bytes, hex("00"));
}

void SimHostTest::eepromFileSurvivesRestart()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("unit.eeprom");
    {
        PtyHost unit(file);
        QVERIFY(unit.start());
        QSerialPort tool;
        QVERIFY(openUnitPort(tool, unit));
        arrivals(tool, hex("1500002040 22 1500000041"), 0); // 2.5 stored, then 8 unstored
        QTRY_VERIFY(QFileInfo(file).size() == Firmware::eepromSize);
    }
    PtyHost restarted(file);
    QVERIFY(restarted.start());
    QSerialPort tool;
    QVERIFY(openUnitPort(tool, restarted));
    QCOMPARE(joined(arrivals(tool, hex("19"), 4)), hex("00002040"));

    PtyHost inMemory;
    inMemory.withFirmware([](Firmware &unit) { QCOMPARE(unit.gain(1), 1.0f); });
}

void SimHostTest::hangUpAndReplugUnderNewName()
{
    PtyHost other;
    QVERIFY(other.start());
    const PortEntry modem {"ttyS0", false, 0, 0, {}};
    const PortLister lister = unitsLister({host.get(), &other}, {modem});
    const QString oldPath = host->portPath();
    QCOMPARE(lister().size(), 3);
    QCOMPARE(lister().at(0).portName, oldPath);
    QCOMPARE(lister().at(1).portName, other.portPath());
    QVERIFY(lister().at(0).hasUsbIds && lister().at(0).vendorId == 1155
            && lister().at(0).productId == 22336);
    QCOMPARE(lister().at(2).portName, QString("ttyS0"));

    arrivals(*port, hex("1c01"), 0);
    QSignalSpy errors(port.get(), &QSerialPort::errorOccurred);
    host->hangUp();
    QTRY_VERIFY(!errors.isEmpty());
    port.reset(); // the tool's business from here; stop its error loop
    // Its number goes to no other program while the unit is away, so the old name reaches none.
    int master = -1, slave = -1;
    char name[64] = {};
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(master);
    ::close(slave);
    QVERIFY(oldPath != name && !QFile::exists(oldPath));
    QCOMPARE(lister().size(), 2);

    QVERIFY(host->replug());
    QVERIFY(host->portPath() != oldPath);
    QCOMPARE(lister().at(0).portName, host->portPath());
    QSerialPort again;
    QVERIFY(openUnitPort(again, *host));
    QCOMPARE(joined(arrivals(again, hex("1e1f"), 2)), hex("0100")); // same unit, relay still on
}

void SimHostTest::stopsWhileToolHoldsThePort()
{
    host->setMisbehaviour(fault(M::Late, -1, -1, 10000));
    arrivals(*port, hex("00010203"), 0, 50);
    QElapsedTimer clock;
    clock.start();
    host->stop(); // an answer is still due in ten seconds
    host->stop();
    QVERIFY(!host->isServing());
    host.reset();
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    port.reset();

    QSerialPort tool;
    auto dropped = std::make_unique<PtyHost>();
    QVERIFY(dropped->start());
    QVERIFY(openUnitPort(tool, *dropped));
    dropped.reset(); // destroyed without stop(), the port still open
    QVERIFY(tool.isOpen());
}

QTEST_GUILESS_MAIN(SimHostTest)
#include "tst_simhost.moc"
