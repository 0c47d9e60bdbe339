#pragma once

// The calibration file that get-cal writes and set-cal --table reads: a channel's gain and its
// 100 rows as text a spreadsheet opens. Pure: values in, bytes out, and back.
//
//     Gain<TAB>1.00000012
//     Resistance (Ohm)<TAB>Temperature (K)
//     108.513046<TAB>295.002991
//     ... one line per row, 100 in all, CR LF line ends
//     # end: 100 rows
//
// Every value is written with nine significant digits and a decimal point, so it reads back to
// the very same float. The end line shows the file was written to its end: a file cut short by a
// crash or a full disk, even inside its last number, is never taken for a table.
#include "values/result.h"
#include "values/unitvalues.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

QByteArray calibrationFileText(const Calibration &calibration);

// A calibration file read back: its rows, and its gain when it has one.
struct CalibrationFile
{
    std::optional<float> gain; // absent when the file has no gain line
    QVector<TableEntry> rows;
};

// Reads what calibrationFileText writes, strictly: empty lines aside, an optional "Gain" line
// first, then at most one column-header line (no number in it), then rows of exactly two
// numbers, then the end line. Any other line is refused by its number and text, a decimal comma
// included, so no line is ever dropped unseen; so is a table of other than 100 rows. A file
// without the end line (as written before files had one, or made by hand) is taken only when its
// last row has its line end. A UTF-8 byte-order mark is skipped; CR LF, LF and CR all end lines;
// UTF-16 and text that is not UTF-8 are refused by name. A refusal is a clause to follow the file's
// name, as in "line 57 ("1,5 300") has a decimal comma; ..." or "it holds 99 rows, not 100". The
// values are not judged here: checkValues and checkOrder say whether they can go to the unit.
Result<CalibrationFile> readCalibrationFile(const QByteArray &text);

// The whole unit's calibration in one file, as `backup` writes it and as every automatic backup
// is kept:
//
//     # Quadmeter calibration of the whole unit
//     # Taken: 2026-12-08T00:54:31+01:00
//     # Port: ttyACM0
//     # USB serial number: 2065376B5748
//     # Tool: quadmeter-cli 0.1.0
//     # Channel1
//     Gain<TAB>1
//     Resistance (Ohm)<TAB>Temperature (K)
//     ... 100 rows, then "# Channel2" and its section, up to Channel4
//     # end: 4 channels
//
// The serial number's line is there only where the port reports one. Each channel's section, from
// its "Gain" line up to the next "#" line, is on its own a get-cal file (without its end line)
// with the same exact values.
struct UnitCalibrationHeader
{
    QDateTime taken;
    QString portName;
    QString serialNumber; // empty where the port reports none
    QString tool; // the program and its version: "quadmeter-cli 0.1.0"
};

// `channels` holds the four channels in channel order.
QByteArray unitCalibrationText(const UnitCalibrationHeader &header,
                               const QVector<Calibration> &channels);

struct UnitCalibrationFile
{
    QVector<Calibration> channels; // all four in channel order
    // The unit it was taken from, as its header names it; empty where it names none.
    QString serialNumber;
    QString portName;
};

// Reads what unitCalibrationText writes: comment lines first, then "# Channel1" to "# Channel4",
// each followed by its section, which is read as strictly as a get-cal file and must have its gain,
// then the end line; without it (files written before it existed), only when the last row has its
// line end. Text as for readCalibrationFile; a refusal is a clause as for a get-cal file, its line
// counted from the start of the whole file: "in Channel2's section, line 210 ("oops") is not a
// row of two numbers".
Result<UnitCalibrationFile> readUnitCalibrationFile(const QByteArray &text);

enum class CalibrationFileKind {
    Curve, // anything else: a sensor's curve, resampled into the 100 rows
    Channel, // starts with a "Gain" line, as a get-cal file does
    Unit, // starts with the first comment line of the whole unit's file
};
// What a file holds, by its first line that is not empty: a byte-order mark skipped, and wide
// (UTF-16) text told by its characters, so that its reader refuses it by name.
CalibrationFileKind calibrationFileKind(const QByteArray &text);
