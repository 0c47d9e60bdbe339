#pragma once

// The text of the log file: the header line that opens a run and the row of one sample.
// Pure: bytes in, bytes out; the file and the clock belong to the caller.
#include "measure/channeldata.h"

#include <QByteArray>
#include <QString>
#include <QTime>

#include <array>

// The three quantities a channel can contribute to the log, in the order of its columns.
enum LogQuantity { LogVoltage = 0, LogResistance = 1, LogTemperature = 2 };
constexpr int LogQuantityCount = 3;
constexpr int LogChannelCount = 4;

// Which cells are ticked: enabled[channel][quantity].
using LogEnables = std::array<std::array<bool, LogQuantityCount>, LogChannelCount>;

// Every cell ticked, as a new logger window starts.
LogEnables allLogEnables();

// ";Time", then for each ticked cell a TAB and its column name ("Voltage0", "Temperature3"), CR LF.
QByteArray logHeader(const LogEnables &enabled);

// The sample time as hh:mm:ss, then for each ticked cell a TAB and its value, CR LF. The values
// come from the four records of one reading; the voltage column carries currentVoltage.
QByteArray logRow(const QTime &time, const ChannelData *records, const LogEnables &enabled);

// The name of a cell's column: the quantity's word and the channel's digit ("Temperature3").
QString logColumnName(int channel, int quantity);

// What a cell's column carries of a channel's record.
float logValue(const ChannelData &record, int quantity);
