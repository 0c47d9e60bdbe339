#pragma once

// Sensor curve files: reading resistance/temperature points from a plain two-column file or a
// ".340" curve, and resampling them into a channel's 100-row temperature table. Pure, no widgets.
#include "values/calibration.h"
#include "values/result.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

// One point of a sensor curve.
struct CurvePoint
{
    double resistance; // ohms
    double temperature; // kelvin
    int line = 0; // the file's line it was read from, counted from 1; 0 when not from a file
};

// A channel's table computed from a curve.
struct CurveTable
{
    QVector<TableEntry> rows; // TableRows rows
    // What an operator must know before taking the rows: empty, or where the curve's temperatures
    // turn back, as a mistyped point makes them (though a real sensor's curve may have such a step
    // too), naming the line. The rows follow the curve all the same, for whoever knowingly takes
    // them.
    QString turnsBack;
    QVector<CurvePoint> points; // from a file: its own points, to compare the rows with
};

// A curve file larger than this is refused unread: no real curve comes near it (a 200-point ".340"
// file is 5 KiB), and reading gigabytes would hold the window for many seconds.
constexpr qint64 MaxCurveFileBytes = 16 * 1024 * 1024;

// A line longer than this (line end not counted) is not a point and is skipped unread.
constexpr int MaxCurveLineBytes = 1023;

// Reads a curve from a file or buffer opened for reading, to its end.
//
// A file with a "Data Format:" header line is a ".340" curve: its data lines are "number units
// temperature", and the units are ohms (format 3), log10 ohms (4) or log10 ohms with log10 kelvin
// (5). Diode curves (formats 1, 2), unknown formats and files whose count of data lines differs
// from their "Number of Breakpoints" are refused.
//
// Any other file is read as plain lines "resistance temperature", fields separated by TABs or by
// runs of blanks; lines whose first two fields are not finite numbers are skipped.
//
// A curve of fewer than two points is refused. The points come in file order; a refusal is a
// clause such as "it is a diode voltage curve", to follow the file's name in a sentence.
Result<QVector<CurvePoint>> readCurve(QIODevice &device);
Result<QVector<CurvePoint>> readCurve(const QByteArray &bytes);

// Resamples a curve at 100 temperatures evenly spaced on a logarithmic scale from the temperature
// of its lowest-resistance point to that of its highest, each with the resistance interpolated
// linearly between the points that enclose it. Refuses curves that give rows which are not finite
// or do not fit the table's single-precision values. A curve whose temperatures in the order of
// resistance do not run one way throughout gives its rows with turnsBack naming the first point
// against the order by its line.
Result<CurveTable> resampleCurve(QVector<CurvePoint> points);
