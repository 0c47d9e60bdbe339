// The simulated unit's firmware against the wire bytes the tool sends, without a port.
#include "sim/firmware.h"
#include "tests/support/floatbits.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

// Blanks, which keep the requests and answers apart, are skipped.
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// The four blocks of a full table upload for one channel; row k holds 1000 + k ohms, k + 0.5 K.
QByteArray tableUpload(int channel)
{
    QByteArray all;
    for (const char *first : {"00", "19", "32", "4b"}) {
        QByteArray block = hex("21") + char(channel) + hex(first) + hex("19");
        for (int m = 0; m < 25; ++m) {
            const int row = QByteArray::fromHex(first).at(0) + m;
            block += wireFloat(1000.0f + row) + wireFloat(row + 0.5f);
        }
        Q_ASSERT(block.size() == 204);
        all += block;
    }
    return all;
}

using Rows = std::array<std::pair<float, float>, Firmware::tableRows>;

Rows rowsOf(QList<std::pair<float, float>> used)
{
    Rows rows {};
    for (int i = 0; i < used.size(); ++i)
        rows[i] = used[i];
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(Rows)

class SimFirmwareTest : public QObject
{
    Q_OBJECT

private slots:
    void answersWireExamples_data();
    void answersWireExamples();
    void fourBlocksFillEveryRow_data();
    void fourBlocksFillEveryRow();
    void streamCutAnywhereGivesSameReplies_data();
    void streamCutAnywhereGivesSameReplies();
    void oddRequestsStaySafe_data();
    void oddRequestsStaySafe();
    void eepromHoldsOnlyWhatWasWritten();
    void interpolation_data();
    void interpolation();
    void liveTemperatureComesFromTheTable();
    void gainScalesTheConverterOnly();
    void forcedWordsAndDrift();
};

void SimFirmwareTest::answersWireExamples_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("gain 1.0 to channel 2, read back") << hex("160000803f 1a") << hex("0000803f");
    QTest::newRow("gain 2 to channel 0 leaves channel 1")
        << hex("1400000040 18 19") << hex("00000040 0000803f");
    QTest::newRow("gain 1.5 bit for bit") << hex("170000c03f 1b") << hex("0000c03f");
    QTest::newRow("relays off at power-up") << hex("1e1f") << hex("0000");
    QTest::newRow("relay 2 on") << hex("1d01 1e1f") << hex("0001");
    QTest::newRow("relay 1 on, then off") << hex("1c01 1e 1c00 1e") << hex("01 00");
    QTest::newRow("any non-zero state switches on") << hex("1c05 1e") << hex("01");
    QTest::newRow("one table row in, same bytes out")
        << hex("21020001 0000c84200009643 20020001") << hex("0000c84200009643");
    QTest::newRow("store answers nothing") << hex("22") << QByteArray();
}

void SimFirmwareTest::answersWireExamples()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, reply);
    Firmware unit;
    QCOMPARE(unit.feed(bytes).toHex(' '), reply.toHex(' '));
}

void SimFirmwareTest::fourBlocksFillEveryRow_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("channel index 0") << 0;
    QTest::newRow("channel index 3") << 3;
}

void SimFirmwareTest::fourBlocksFillEveryRow()
{
    QFETCH(int, channel);
    Firmware unit;
    const auto otherBefore = unit.tableRow(channel ^ 1, 50);
    QCOMPARE(unit.feed(tableUpload(channel)), QByteArray());

    const QByteArray table = unit.feed(hex("20") + char(channel) + hex("0064"));
    QCOMPARE(table.size(), 800);
    for (int row : {0, 24, 25, 49, 50, 74, 75, 99}) {
        QCOMPARE(floatFromWire(table, 8 * row), 1000.0f + row);
        QCOMPARE(floatFromWire(table, 8 * row + 4), row + 0.5f);
    }
    QCOMPARE(unit.tableRow(channel ^ 1, 50), otherBefore);
}

void SimFirmwareTest::streamCutAnywhereGivesSameReplies_data()
{
    QTest::addColumn<int>("pieceSize");
    for (int size : {1, 3, 5, 64, 203, 205})
        QTest::newRow(qPrintable(QString("pieces of %1").arg(size))) << size;
}

// A USB serial link hands the firmware whatever pieces it likes; the replies must not care.
void SimFirmwareTest::streamCutAnywhereGivesSameReplies()
{
    QFETCH(int, pieceSize);
    const QByteArray stream
        = hex("00010203 1c01 1500004040 19") + tableUpload(1) + hex("1e1f 20010064 22 10111213");
    Firmware whole, cut;
    const QByteArray expected = whole.feed(stream);
    QCOMPARE(expected.size(), 16 + 4 + 2 + 800 + 16);

    QByteArray replies;
    for (int at = 0; at < stream.size(); at += pieceSize)
        replies += cut.feed(stream.mid(at, pieceSize));
    QCOMPARE(replies, expected);
    QCOMPARE(cut.pendingBytes(), 0);
    QCOMPARE(cut.eepromImage(), whole.eepromImage());
}

void SimFirmwareTest::oddRequestsStaySafe_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray row99 = wireFloat(1000.0f + 99) + wireFloat(99.5f);
    QTest::newRow("undefined codes skipped") << hex("23ff80 1e") << hex("00");
    QTest::newRow("table read of channel 7 gives zeros") << hex("20070002") << QByteArray(16, '\0');
    QTest::newRow("table read past row 99 gives zeros")
        << hex("20006303") << row99 + QByteArray(16, '\0');
    QTest::newRow("table read of no rows") << hex("20000000 1f") << hex("00");
    QTest::newRow("table write to channel 9 stores nothing")
        << hex("21090001") + wireFloat(1) + wireFloat(2) + hex("20090001 20000001")
        << QByteArray(8, '\0') + wireFloat(1000) + wireFloat(0.5f);
    QTest::newRow("table write past row 99 keeps the rows that exist") << hex("21006302")
            + wireFloat(7) + wireFloat(8) + wireFloat(9) + wireFloat(10)
            + hex("20006301") << wireFloat(7) + wireFloat(8);
    QTest::newRow("table write of no rows") << hex("21000000 1e") << hex("00");
}

void SimFirmwareTest::oddRequestsStaySafe()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, reply);
    Firmware unit;
    unit.feed(tableUpload(0));
    QCOMPARE(unit.feed(bytes).toHex(' '), reply.toHex(' '));
    QCOMPARE(unit.pendingBytes(), 0);
}

void SimFirmwareTest::eepromHoldsOnlyWhatWasWritten()
{
    Firmware unit;
    const QByteArray factory = unit.eepromImage();
    QCOMPARE(factory, Firmware::factoryEeprom());
    unit.feed(hex("1500002040") + tableUpload(1));
    QCOMPARE(Firmware(unit.eepromImage()).gain(1), 1.0f); // not stored yet

    unit.feed(hex("22"));
    unit.feed(hex("1500000000")); // changed after storing: lost at power-down
    Firmware restarted(unit.eepromImage());
    QCOMPARE(restarted.gain(1), 2.5f);
    QCOMPARE(restarted.tableRow(1, 99), std::make_pair(1099.0f, 99.5f));
    QCOMPARE(restarted.tableRow(0, 0), Firmware(factory).tableRow(0, 0));
    QCOMPARE(restarted.relay(1), false);

    Firmware damaged(unit.eepromImage().left(100));
    QCOMPARE(damaged.eepromImage(), factory);
}

void SimFirmwareTest::interpolation_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<float>("resistance");
    QTest::addColumn<float>("temperature");
    const Rows rising = rowsOf({{100, 273}, {110, 300}, {120, 330}});
    const Rows falling = rowsOf({{5000, 2}, {1000, 4}, {100, 40}});
    QTest::newRow("on a row") << rising << 110.0f << 300.0f;
    QTest::newRow("between rows") << rising << 115.0f << 315.0f;
    QTest::newRow("below the table") << rising << 50.0f << 273.0f;
    QTest::newRow("above the table") << rising << 500.0f << 330.0f;
    QTest::newRow("falling table") << falling << 3000.0f << 3.0f;
    QTest::newRow("falling table, beyond") << falling << 9000.0f << 2.0f;
    QTest::newRow("unused rows between are skipped")
        << rowsOf({{100, 10}, {0, 0}, {0, 0}, {200, 20}}) << 150.0f << 15.0f;
    QTest::newRow("one used row") << rowsOf({{0, 0}, {100, 77}}) << 42.0f << 77.0f;
    QTest::newRow("empty table") << Rows {} << 108.0f << 0.0f;
}

void SimFirmwareTest::interpolation()
{
    QFETCH(Rows, rows);
    QFETCH(float, resistance);
    QTEST(interpolateTemperature(rows, resistance), "temperature");
}

// Live temperatures are right from the first read, and a table sent over the wire takes effect.
void SimFirmwareTest::liveTemperatureComesFromTheTable()
{
    Firmware unit;
    const QByteArray fresh = unit.feed(hex("10111213"));
    for (int channel = 0; channel < 4; ++channel) {
        const double truth = unit.trueTemperature(channel);
        QVERIFY2(std::abs(floatFromWire(fresh, 4 * channel) - truth) < 0.01 * truth,
                 qPrintable(QString("channel %1: %2 K read, %3 K true")
                                .arg(channel)
                                .arg(floatFromWire(fresh, 4 * channel))
                                .arg(truth)));
    }
    QVERIFY(unit.trueTemperature(0) > 280 && unit.trueTemperature(0) < 310);
    QVERIFY(unit.trueTemperature(3) < 5);

    // A two-row table around channel 2's resistance: the reading moves to its proportion.
    const float ohms = floatFromWire(unit.feed(hex("0e")), 0);
    unit.feed(hex("21020002") + wireFloat(ohms - 10) + wireFloat(100) + wireFloat(ohms + 30)
              + wireFloat(200) + hex("21020262") + QByteArray(98 * 8, '\0'));
    QCOMPARE(floatFromWire(unit.feed(hex("12")), 0), 125.0f);

    unit.feed(hex("21020064") + QByteArray(800, '\0'));
    QCOMPARE(floatFromWire(unit.feed(hex("12")), 0), 0.0f);
}

void SimFirmwareTest::gainScalesTheConverterOnly()
{
    Firmware unit;
    const QByteArray before = unit.feed(hex("000c"));
    unit.feed(hex("1400000040")); // gain 2 on channel 0
    const QByteArray after = unit.feed(hex("000c"));
    const quint32 countsBefore = qFromLittleEndian<quint32>(before.constData());
    const quint32 countsAfter = qFromLittleEndian<quint32>(after.constData());
    QVERIFY(countsAfter >= 2 * countsBefore - 1 && countsAfter <= 2 * countsBefore + 1);
    QVERIFY(std::abs(floatFromWire(after, 4) - floatFromWire(before, 4)) < 1e-3f);

    unit.feed(hex("1400000000")); // a gain the amplifier cannot take
    QCOMPARE(unit.feed(hex("000c10")), QByteArray(8, '\0') + wireFloat(unit.tableRow(0, 0).second));
}

void SimFirmwareTest::forcedWordsAndDrift()
{
    Firmware unit;
    unit.forceRaw(1, 0, 0xbeef);
    unit.forceRaw(2, 4, 0xffffffffu);
    QCOMPARE(unit.feed(hex("0001")).mid(4), hex("efbe0000"));
    QCOMPARE(unit.feed(hex("12")), hex("ffffffff"));
    unit.clearForced();
    QVERIFY(unit.feed(hex("01")) != hex("efbe0000"));

    // The sensors drift slowly: nothing in a second, something within minutes.
    const double start = unit.trueTemperature(1);
    unit.advanceTime(1);
    QVERIFY(std::abs(unit.trueTemperature(1) - start) < 0.01);
    unit.advanceTime(150);
    QVERIFY(std::abs(unit.trueTemperature(1) - start) > 0.05);
}

QTEST_GUILESS_MAIN(SimFirmwareTest)
#include "tst_simfirmware.moc"
