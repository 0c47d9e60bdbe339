// The bytes the tool puts on the wire and how it reads the unit's replies.
#include "link/protocol.h"
#include "link/unitports.h"
#include "tests/support/floatbits.h"

#include <QtTest>

Q_DECLARE_METATYPE(QList<PortEntry>)

using namespace protocol;

namespace {

QVector<TableEntry> block(float firstResistance)
{
    QVector<TableEntry> entries;
    for (int i = 0; i < BlockRows; ++i)
        entries.append({firstResistance + float(i), 4.0f + 0.5f * float(i)});
    return entries;
}

} // namespace

class ProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes_data();
    void requestBytes();
    void tableBlockCarriesItsEntriesInOrder_data();
    void tableBlockCarriesItsEntriesInOrder();
    void valuesTravelBitForBit_data();
    void valuesTravelBitForBit();
    void tableReplyYieldsOnlyWholeEntries_data();
    void tableReplyYieldsOnlyWholeEntries();
    void onlyTheUnitsPortsAreCandidates_data();
    void onlyTheUnitsPortsAreCandidates();
};

void ProtocolTest::requestBytes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("hex");

    QTest::newRow("ADC of all channels") << measurementRequest(0) << QByteArray("00010203");
    QTest::newRow("current voltage") << measurementRequest(1) << QByteArray("04050607");
    QTest::newRow("AC voltage") << measurementRequest(2) << QByteArray("08090a0b");
    QTest::newRow("resistance") << measurementRequest(3) << QByteArray("0c0d0e0f");
    QTest::newRow("temperature") << measurementRequest(4) << QByteArray("10111213");
    QTest::newRow("relay states") << relayStateRequest() << QByteArray("1e1f");
    QTest::newRow("relay 1 on") << setRelayRequest(1, true) << QByteArray("1c01");
    QTest::newRow("relay 1 off") << setRelayRequest(1, false) << QByteArray("1c00");
    QTest::newRow("relay 2 on") << setRelayRequest(2, true) << QByteArray("1d01");
    QTest::newRow("relay 2 off") << setRelayRequest(2, false) << QByteArray("1d00");
    QTest::newRow("gain read, channel 0") << getGainRequest(0) << QByteArray("18");
    QTest::newRow("gain read, channel 3") << getGainRequest(3) << QByteArray("1b");
    QTest::newRow("gain 1.0 to channel 2") << setGainRequest(2, 1.0f) << QByteArray("160000803f");
    QTest::newRow("gain -2.5 to channel 0") << setGainRequest(0, -2.5f) << QByteArray("14000020c0");
    QTest::newRow("table read, channel 3") << getTempTableRequest(3) << QByteArray("20030064");
    QTest::newRow("table read, channel 0") << getTempTableRequest(0) << QByteArray("20000064");
    QTest::newRow("store to EEPROM") << writeEepromRequest() << QByteArray("22");
    const auto head = [](int channel, int first) {
        return setTempTableRequest(channel, first, block(1.0f)).left(4);
    };
    QTest::newRow("first block of channel 1") << head(1, 0) << QByteArray("21010019");
    QTest::newRow("second block of channel 0") << head(0, 25) << QByteArray("21001919");
    QTest::newRow("third block of channel 3") << head(3, 50) << QByteArray("21033219");
    QTest::newRow("last block of channel 2") << head(2, 75) << QByteArray("21024b19");
}

void ProtocolTest::requestBytes()
{
    QFETCH(QByteArray, request);
    QTEST(request.toHex(), "hex");
}

void ProtocolTest::tableBlockCarriesItsEntriesInOrder_data()
{
    QTest::addColumn<float>("firstResistance");
    QTest::newRow("ohms") << 1000.0f;
    QTest::newRow("tiny") << 0.001f;
    QTest::newRow("negative") << -123456.789f;
}

void ProtocolTest::tableBlockCarriesItsEntriesInOrder()
{
    QFETCH(float, firstResistance);
    const auto entries = block(firstResistance);
    const QByteArray request = setTempTableRequest(1, 25, entries);

    QCOMPARE(request.size(), 204);
    QByteArray expected;
    for (const TableEntry &entry : entries)
        expected += wireFloat(entry.resistance) + wireFloat(entry.temperature);
    QCOMPARE(request.mid(4).toHex(), expected.toHex());
}

void ProtocolTest::valuesTravelBitForBit_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("word");

    QTest::newRow("first value") << QByteArray::fromHex("78563412") << 0 << 0x12345678u;
    QTest::newRow("fourth of four")
        << QByteArray::fromHex("000000000000000000000000efbeadde") << 12 << 0xdeadbeefu;
    QTest::newRow("odd offset") << QByteArray::fromHex("aa01020304") << 1 << 0x04030201u;
    QTest::newRow("1.0") << QByteArray::fromHex("0000803f") << 0 << 0x3f800000u;
    QTest::newRow("negative zero") << QByteArray::fromHex("00000080") << 0 << 0x80000000u;
    QTest::newRow("smallest subnormal") << QByteArray::fromHex("01000000") << 0 << 0x00000001u;
    QTest::newRow("NaN with payload") << QByteArray::fromHex("4523c17f") << 0 << 0x7fc12345u;
}

// A value read from the unit and sent back unchanged arrives unchanged.
void ProtocolTest::valuesTravelBitForBit()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, offset);
    QFETCH(quint32, word);
    QCOMPARE(u32At(reply, offset), word);
    const float value = floatAt(reply, offset);
    QCOMPARE(bitsOf(value), word);
    QCOMPARE(setGainRequest(1, value).mid(1).toHex(), reply.mid(offset, 4).toHex());
}

void ProtocolTest::tableReplyYieldsOnlyWholeEntries_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("entries");
    QTest::newRow("whole table") << 800 << 100;
    QTest::newRow("surplus ignored") << 812 << 100;
    QTest::newRow("two and a half entries") << 20 << 2;
    QTest::newRow("nothing") << 0 << 0;
}

void ProtocolTest::tableReplyYieldsOnlyWholeEntries()
{
    QFETCH(int, bytes);
    QFETCH(int, entries);
    QByteArray reply;
    for (int row = 0; row * EntryBytes < bytes; ++row)
        reply += wireFloat(float(row) * 10.0f) + wireFloat(300.0f - float(row));
    reply.truncate(bytes);

    const auto decoded = tableEntries(reply);
    QCOMPARE(decoded.size(), entries);
    for (int row = 0; row < decoded.size(); ++row) {
        QCOMPARE(decoded[row].resistance, float(row) * 10.0f);
        QCOMPARE(decoded[row].temperature, 300.0f - float(row));
    }
}

void ProtocolTest::onlyTheUnitsPortsAreCandidates_data()
{
    QTest::addColumn<QList<PortEntry>>("ports");
    QTest::addColumn<QStringList>("names");

    using Ports = QList<PortEntry>;
    const PortEntry unitA {"ttyACM0", true, 1155, 22336, {}};
    const PortEntry unitB {"COM5", true, 0x0483, 0x5740, {}};
    QTest::newRow("nothing attached") << Ports() << QStringList();
    QTest::newRow("enumeration order kept")
        << Ports {unitB, unitA} << QStringList {"COM5", "ttyACM0"};
    QTest::newRow("other vendor") << Ports {{"ttyUSB0", true, 1027, 22336, {}}} << QStringList();
    QTest::newRow("other product") << Ports {{"ttyACM1", true, 1155, 22337, {}}} << QStringList();
    QTest::newRow("ids swapped") << Ports {{"ttyACM2", true, 22336, 1155, {}}} << QStringList();
    // A port without USB identifiers whose fields happen to hold the unit's numbers.
    QTest::newRow("no USB ids") << Ports {{"ttyS0", false, 1155, 22336, {}}} << QStringList();
    QTest::newRow("units among others")
        << Ports {{"ttyS0", false, 0, 0, {}}, unitA, {"ttyUSB0", true, 1027, 24577, {}}, unitB}
        << QStringList {"ttyACM0", "COM5"};
}

void ProtocolTest::onlyTheUnitsPortsAreCandidates()
{
    QFETCH(QList<PortEntry>, ports);
    QTEST(unitPortNames(ports), "names");
}

QTEST_GUILESS_MAIN(ProtocolTest)
#include "tst_protocol.moc"
