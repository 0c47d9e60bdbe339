#pragma once

// What quadmeter-cli prints and reads: readings as a table, TSV or JSON, and a channel's
// calibration as a text file. Pure: values in, bytes out, and back.
#include "calibration/calibrationfile.h"
#include "unit/unit.h"
#include "values/channeldata.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The five quantities of the four channels as the tool's data table shows them, one line per
// quantity, then the relay states.
QByteArray readingTable(const ChannelData *records, const std::optional<RelayStates> &relays);

// The log file's header with every column, then Relay1 and Relay2.
QByteArray readingTsvHeader();
// The log file's row with every column, then the relay states: 1 on, 0 off, empty when unknown.
QByteArray readingTsvRow(const QByteArray &timeText, const ChannelData *records,
                         const std::optional<RelayStates> &relays);

// One reading as one line of compact JSON: the local time with its offset from UTC, the four
// channels' values exactly as the unit sent them, the relays (null when unknown).
QByteArray readingJson(const QDateTime &time, const ChannelData *records,
                       const std::optional<RelayStates> &relays);
