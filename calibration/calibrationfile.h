#pragma once

// The calibration file that get-cal writes and set-cal --table reads: a channel's gain and its
// 100 rows as text a spreadsheet opens. Pure: values in, bytes out, and back.
//
//     Gain<TAB>1.00000012
//     Resistance (Ohm)<TAB>Temperature (K)
//     108.513046<TAB>295.002991
//     ... one line per row, 100 in all, CR LF line ends
//
// Every value is written with nine significant digits and a decimal point, so it reads back to
// the very same float.
#include "calibration/calibration.h"

#include <QByteArray>
#include <QString>

#include <optional>

QByteArray calibrationFileText(const Calibration &calibration);

// A calibration file read back: its rows, and its gain when it has one.
struct CalibrationFile
{
    std::optional<float> gain; // absent when the file has no gain line
    QVector<protocol::TableEntry> rows;
    // Empty when the file holds a whole table. Otherwise a clause to follow the file's name,
    // as in "line 57 ("1,5 300") has a decimal comma; ..." or "it holds 99 rows, not 100".
    QString problem;
};

// Reads what calibrationFileText writes, strictly: empty lines aside, an optional "Gain" line
// first, then at most one column-header line (no number in it), then rows of exactly two
// numbers. Any other line is refused by its number and text, a decimal comma included, so no
// line is ever dropped unseen; so is a table of other than 100 rows. The values are not judged
// here: checkCalibration says whether they can go to the unit.
CalibrationFile readCalibrationFile(const QByteArray &text);
