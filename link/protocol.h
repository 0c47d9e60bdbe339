#pragma once

// The unit's command set: request bytes and reply decoding. Pure, no I/O.
// Requests are one code byte and, for some commands, little-endian parameters; replies are raw
// little-endian values with no header, answered in the order the codes were sent.
#include "values/calibration.h"
#include "values/unitshape.h"

#include <QByteArray>
#include <QVector>

namespace protocol {

enum Command : quint8 {
    GetAdcData = readCode(0, 0), // + channel; reply quint32
    GetCurrentVoltage = readCode(1, 0), // + channel; reply float, volts
    GetAcVoltage = readCode(2, 0), // + channel; reply float, volts
    GetResistance = readCode(3, 0), // + channel; reply float, ohms
    GetTemperature = readCode(4, 0), // + channel; reply float, kelvin
    SetGain = 20, // + channel; float; no reply
    GetGain = 24, // + channel; reply float
    SetRelay1 = 28, // state byte; no reply
    SetRelay2 = 29, // state byte; no reply
    GetRelay1 = 30, // reply one state byte
    GetRelay2 = 31, // reply one state byte
    GetTempTable = 32, // channel, first, count; reply count x (float, float)
    SetTempTable = 33, // channel, first, count, count x (float, float); no reply
    WriteEeprom = 34, // no reply
};

constexpr int BlockRows = 25; // rows in one SetTempTable block
constexpr int EntryBytes = 8; // one table entry: resistance, temperature

constexpr int MeasurementReplyBytes = 4 * ChannelCount;
constexpr int RelayStateReplyBytes = 2;
constexpr int GainReplyBytes = 4;
constexpr int TableReplyBytes = TableRows * EntryBytes;

// The four codes of one quantity (0 ADC ... 4 temperature) for channels 0-3, sent in one write.
QByteArray measurementRequest(int quantity);
QByteArray relayStateRequest(); // 1E 1F
QByteArray setRelayRequest(int relay, bool on); // relay 1 or 2: 1C s / 1D s
QByteArray getGainRequest(int channel); // 18+n
QByteArray setGainRequest(int channel, float gain); // 14+n, gain
QByteArray getTempTableRequest(int channel); // 20 n 00 64
// One block of rows first .. first + entries.size() - 1: 21 n first count, then the entries.
QByteArray setTempTableRequest(int channel, int first, const QVector<TableEntry> &entries);
QByteArray writeEepromRequest(); // 22

// Little-endian values at a byte offset; the caller makes sure the bytes are there.
quint32 u32At(const QByteArray &reply, int offset);
float floatAt(const QByteArray &reply, int offset);

// A float's IEEE 754 bits, as the unit keeps and sends them.
quint32 floatBits(float value);

// A table reply of at least TableReplyBytes as its 100 entries.
QVector<TableEntry> tableEntries(const QByteArray &reply);

} // namespace protocol
