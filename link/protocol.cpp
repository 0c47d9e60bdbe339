#include "link/protocol.h"

#include <QtEndian>

#include <cstring>

namespace protocol {

namespace {

quint8 channelCode(Command base, int channel)
{
    Q_ASSERT(channel >= 0 && channel < ChannelCount);
    return quint8(base + channel);
}

void appendU32(QByteArray &bytes, quint32 value)
{
    char le[4];
    qToLittleEndian(value, le);
    bytes.append(le, 4);
}

void appendFloat(QByteArray &bytes, float value)
{
    appendU32(bytes, floatBits(value));
}

} // namespace

QByteArray measurementRequest(int quantity)
{
    Q_ASSERT(quantity >= 0 && quantity < QuantityCount);
    QByteArray request;
    for (int channel = 0; channel < ChannelCount; ++channel)
        request.append(char(readCode(quantity, channel)));
    return request;
}

QByteArray relayStateRequest()
{
    QByteArray request;
    request.append(char(GetRelay1));
    request.append(char(GetRelay2));
    return request;
}

QByteArray setRelayRequest(int relay, bool on)
{
    Q_ASSERT(relay == 1 || relay == 2);
    QByteArray request;
    request.append(char(relay == 1 ? SetRelay1 : SetRelay2));
    request.append(char(on ? 1 : 0));
    return request;
}

QByteArray getGainRequest(int channel)
{
    return QByteArray(1, char(channelCode(GetGain, channel)));
}

QByteArray setGainRequest(int channel, float gain)
{
    QByteArray request(1, char(channelCode(SetGain, channel)));
    appendFloat(request, gain);
    return request;
}

QByteArray getTempTableRequest(int channel)
{
    Q_ASSERT(channel >= 0 && channel < ChannelCount);
    QByteArray request;
    request.append(char(GetTempTable));
    request.append(char(channel));
    request.append(char(0));
    request.append(char(TableRows));
    return request;
}

QByteArray setTempTableRequest(int channel, int first, const QVector<TableEntry> &entries)
{
    Q_ASSERT(channel >= 0 && channel < ChannelCount);
    Q_ASSERT(first >= 0 && first + entries.size() <= TableRows);
    QByteArray request;
    request.reserve(4 + entries.size() * EntryBytes);
    request.append(char(SetTempTable));
    request.append(char(channel));
    request.append(char(first));
    request.append(char(entries.size()));
    for (const TableEntry &entry : entries) {
        appendFloat(request, entry.resistance);
        appendFloat(request, entry.temperature);
    }
    return request;
}

QByteArray writeEepromRequest()
{
    return QByteArray(1, char(WriteEeprom));
}

quint32 u32At(const QByteArray &reply, int offset)
{
    Q_ASSERT(offset >= 0 && offset + 4 <= reply.size());
    if (offset < 0 || offset + 4 > reply.size())
        return 0; // never read past the end of a short reply
    return qFromLittleEndian<quint32>(reply.constData() + offset);
}

float floatAt(const QByteArray &reply, int offset)
{
    const quint32 bits = u32At(reply, offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

QVector<TableEntry> tableEntries(const QByteArray &reply)
{
    // Only whole entries of a short reply, so nothing past its end is ever read.
    const int rows = qMin(TableRows, reply.size() / EntryBytes);
    QVector<TableEntry> entries;
    entries.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        const int offset = row * EntryBytes;
        entries.append({floatAt(reply, offset), floatAt(reply, offset + 4)});
    }
    return entries;
}

} // namespace protocol
