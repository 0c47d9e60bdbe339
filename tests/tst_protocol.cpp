// The bytes the tool puts on the wire and how it reads the unit's replies.
#include "link/exchange.h"
#include "link/protocol.h"
#include "link/unitports.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

Q_DECLARE_METATYPE(QList<PortEntry>)

using namespace protocol;

namespace {

quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatOfBits(quint32 bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QVector<TableEntry> rampEntries(int count, float firstResistance)
{
    QVector<TableEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.append({firstResistance + float(i), 4.0f + 0.5f * float(i)});
    return entries;
}

// A float as the unit sends it: its bits, least significant byte first.
QByteArray wireFloat(float value)
{
    const quint32 bits = bitsOf(value);
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((bits >> shift) & 0xff));
    return bytes;
}

PortEntry port(const QString &name, bool ids, quint16 vendor, quint16 product)
{
    PortEntry entry;
    entry.portName = name;
    entry.hasUsbIds = ids;
    entry.vendorId = vendor;
    entry.productId = product;
    return entry;
}

} // namespace

class ProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes_data();
    void requestBytes();
    void tableBlockCarriesItsEntriesBitForBit_data();
    void tableBlockCarriesItsEntriesBitForBit();
    void repliesDecodeLittleEndian_data();
    void repliesDecodeLittleEndian();
    void gainTravelsBitForBit_data();
    void gainTravelsBitForBit();
    void tableReplyYieldsOnlyWholeEntries_data();
    void tableReplyYieldsOnlyWholeEntries();
    void onlyTheUnitsPortsAreCandidates_data();
    void onlyTheUnitsPortsAreCandidates();
    void portErrorsThatMeanTheUnitIsGone_data();
    void portErrorsThatMeanTheUnitIsGone();
};

void ProtocolTest::requestBytes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expectedHex");

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
    QTest::newRow("gain 0.1 to channel 3") << setGainRequest(3, 0.1f) << QByteArray("17cdcccc3d");
    QTest::newRow("table read, channel 3") << getTempTableRequest(3) << QByteArray("20030064");
    QTest::newRow("table read, channel 0") << getTempTableRequest(0) << QByteArray("20000064");
    QTest::newRow("store to EEPROM") << writeEepromRequest() << QByteArray("22");
    QTest::newRow("second block of channel 0, head")
        << setTempTableRequest(0, 25, rampEntries(25, 100.0f)).left(4) << QByteArray("21001919");
    QTest::newRow("last block of channel 2, head")
        << setTempTableRequest(2, 75, rampEntries(25, 100.0f)).left(4) << QByteArray("21024b19");
    QTest::newRow("first block of channel 1, head")
        << setTempTableRequest(1, 0, rampEntries(25, 100.0f)).left(4) << QByteArray("21010019");
    QTest::newRow("third block of channel 3, head")
        << setTempTableRequest(3, 50, rampEntries(25, 100.0f)).left(4) << QByteArray("21033219");
}

void ProtocolTest::requestBytes()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expectedHex);
    QCOMPARE(request.toHex(), expectedHex);
}

void ProtocolTest::tableBlockCarriesItsEntriesBitForBit_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<float>("firstResistance");
    QTest::newRow("block 0") << 0 << 1000.0f;
    QTest::newRow("block 1") << 25 << 0.001f;
    QTest::newRow("block 3, negative values") << 75 << -123456.789f;
}

void ProtocolTest::tableBlockCarriesItsEntriesBitForBit()
{
    QFETCH(int, first);
    QFETCH(float, firstResistance);
    const auto entries = rampEntries(BlockRows, firstResistance);
    const QByteArray block = setTempTableRequest(1, first, entries);

    QCOMPARE(block.size(), 204);
    for (int i = 0; i < BlockRows; ++i) {
        const int offset = 4 + i * EntryBytes;
        // Resistance first, then temperature.
        QCOMPARE(block.mid(offset, 4).toHex(), wireFloat(entries[i].resistance).toHex());
        QCOMPARE(block.mid(offset + 4, 4).toHex(), wireFloat(entries[i].temperature).toHex());
    }
}

void ProtocolTest::repliesDecodeLittleEndian_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("word");

    QTest::newRow("first value") << QByteArray::fromHex("78563412") << 0 << 0x12345678u;
    QTest::newRow("fourth of four")
        << QByteArray::fromHex("000000000000000000000000efbeadde") << 12 << 0xdeadbeefu;
    QTest::newRow("top bit set") << QByteArray::fromHex("ffffff80") << 0 << 0x80ffffffu;
    QTest::newRow("odd offset") << QByteArray::fromHex("aa01020304") << 1 << 0x04030201u;
}

void ProtocolTest::repliesDecodeLittleEndian()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, offset);
    QFETCH(quint32, word);
    QCOMPARE(u32At(reply, offset), word);
    QCOMPARE(bitsOf(floatAt(reply, offset)), word);
}

void ProtocolTest::gainTravelsBitForBit_data()
{
    QTest::addColumn<quint32>("bits");
    QTest::newRow("1.0") << bitsOf(1.0f);
    QTest::newRow("negative zero") << 0x80000000u;
    QTest::newRow("smallest subnormal") << 0x00000001u;
    QTest::newRow("largest float") << bitsOf(std::numeric_limits<float>::max());
    QTest::newRow("infinity") << bitsOf(std::numeric_limits<float>::infinity());
    QTest::newRow("NaN with payload") << 0x7fc12345u;
}

// A value read from the unit and sent back unchanged must arrive unchanged.
void ProtocolTest::gainTravelsBitForBit()
{
    QFETCH(quint32, bits);
    const QByteArray request = setGainRequest(1, floatOfBits(bits));
    QCOMPARE(request.size(), 5);
    QCOMPARE(bitsOf(floatAt(request, 1)), bits);
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

    const PortEntry unitA = port("ttyACM0", true, 1155, 22336);
    const PortEntry unitB = port("COM5", true, 0x0483, 0x5740);
    QTest::newRow("nothing attached") << QList<PortEntry>() << QStringList();
    QTest::newRow("one unit") << QList<PortEntry> {unitA} << QStringList {"ttyACM0"};
    QTest::newRow("enumeration order kept")
        << QList<PortEntry> {unitB, unitA} << QStringList {"COM5", "ttyACM0"};
    QTest::newRow("other vendor") << QList<PortEntry> {port("ttyUSB0", true, 1027, 22336)}
                                  << QStringList();
    QTest::newRow("other product")
        << QList<PortEntry> {port("ttyACM1", true, 1155, 22337)} << QStringList();
    QTest::newRow("ids swapped") << QList<PortEntry> {port("ttyACM2", true, 22336, 1155)}
                                 << QStringList();
    // A port without USB identifiers whose fields happen to hold the unit's numbers.
    QTest::newRow("no USB ids") << QList<PortEntry> {port("ttyS0", false, 1155, 22336)}
                                << QStringList();
    QTest::newRow("units among others")
        << QList<PortEntry> {port("ttyS0", false, 0, 0), unitA, port("ttyUSB0", true, 1027, 24577),
                             unitB}
        << QStringList {"ttyACM0", "COM5"};
}

void ProtocolTest::onlyTheUnitsPortsAreCandidates()
{
    QFETCH(QList<PortEntry>, ports);
    QFETCH(QStringList, names);
    QCOMPARE(unitPortNames(ports), names);
}

void ProtocolTest::portErrorsThatMeanTheUnitIsGone_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<bool>("gone");
    QTest::newRow("device removed") << QSerialPort::ResourceError << true;
    QTest::newRow("read failed") << QSerialPort::ReadError << true;
    QTest::newRow("write failed") << QSerialPort::WriteError << true;
    QTest::newRow("wait expired") << QSerialPort::TimeoutError << false;
    QTest::newRow("no error") << QSerialPort::NoError << false;
    QTest::newRow("open refused") << QSerialPort::PermissionError << false;
    QTest::newRow("not open") << QSerialPort::NotOpenError << false;
}

void ProtocolTest::portErrorsThatMeanTheUnitIsGone()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, gone);
    QCOMPARE(exchange::deviceWentAway(error), gone);
}

QTEST_GUILESS_MAIN(ProtocolTest)
#include "tst_protocol.moc"
