#pragma once

// Floats as the unit keeps and sends them: their exact bits, and those bits on the wire (least
// significant byte first). Tests compare bits, so that a value that only prints the same is
// never taken for the one that was sent.
#include <QByteArray>
#include <QtEndian>

#include <cstring>

inline quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float floatOf(quint32 bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline QByteArray wireFloat(float value)
{
    char bytes[4];
    qToLittleEndian(bitsOf(value), bytes);
    return QByteArray(bytes, 4);
}

inline float floatFromWire(const QByteArray &bytes, int offset)
{
    return floatOf(qFromLittleEndian<quint32>(bytes.constData() + offset));
}
