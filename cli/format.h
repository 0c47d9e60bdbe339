#pragma once

// What quadmeter-cli prints and reads: readings as a table, TSV or JSON, and a channel's
// calibration as a text file. Pure: values in, bytes out, and back.
#include "measure/channeldata.h"
#include "unit/unit.h"

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

// A channel's calibration as a text file: "Gain<TAB>g", a header line, then one
// "resistance<TAB>temperature" line per row, CR LF. Each value reads back to the same float.
QByteArray calibrationFileText(const Calibration &calibration);

// A calibration file read back: its rows, and its gain when it has one.
struct CalibrationFile
{
    std::optional<float> gain;
    QVector<protocol::TableEntry> rows;
    QString problem; // empty when the file holds a whole table
};

// Reads the text calibrationFileText writes. A line whose first field is a number is a row and
// must hold exactly two numbers; "Gain" starts the gain's line; other lines are headers. A table
// of other than 100 rows is refused.
CalibrationFile readCalibrationFile(const QByteArray &text);
