#pragma once

// Calibration at the bench: points a channel measured at known temperatures (an ice bath, boiling
// liquid nitrogen, beside a reference thermometer), the file they are kept in, and a channel's
// table corrected to pass through them. Pure, no widgets, no unit.
#include "calibration/standardtable.h"
#include "values/calibration.h"
#include "values/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

// A sensor held at a known temperature and what the channel measured there.
struct FixedPoint
{
    int channel = 0; // 0-3
    double kelvin = 0; // the temperature it was held at
    double ohms = 0; // the mean of the readings
    double spread = 0; // ohms, highest reading less lowest
    int readings = 0;
    QDateTime time; // when the last reading came, UTC
};

// A temperature as the operator names it: a preset's name ("ice", "ln2", "triple", "lhe") or a
// number of kelvin above zero. Nothing for any other text.
std::optional<double> fixedPointKelvin(const QString &text);
// The presets, one a line, for a --help text or a chooser: "ice  273.15 K  water's ice point".
struct FixedPointPreset
{
    const char *name;
    double kelvin;
    const char *what;
};
QVector<FixedPointPreset> fixedPointPresets();

// A point is the mean of this many live readings unless the operator asks for more or fewer.
constexpr int DefaultPointReadings = 10;

// By default a point is refused when its readings spread over more than this share of their mean:
// 100 ppm is 26 mK on a platinum sensor at the ice point.
constexpr double DefaultMaxSpreadPpm = 100;

// A point from a channel's live resistances: their mean and spread. Refused when no reading came,
// when one is no sensor's resistance, or with "the readings drift: they spread over ..." when
// their spread is above `maxSpreadPpm` of their mean.
Result<FixedPoint> pointFromReadings(int channel, double kelvin, const QVector<float> &ohms,
                                     double maxSpreadPpm, const QDateTime &time);

// A points file: text, a header line, then one point a line, tab-separated: channel (1-4),
// kelvin, ohms, spread in ohms, number of readings, time (ISO 8601, UTC). Numbers are written so
// that they read back to the same double.
QByteArray pointsFileHeader();
QByteArray pointLine(const FixedPoint &point);
// The points of a points file in file order, blank lines and "#" comments passed over. Refused
// whole, with "line 3 is not a point (...)", at the first line that is none.
Result<QVector<FixedPoint>> readPoints(const QByteArray &text);

// A table corrected through one to three points, and what the operator sees before it is sent.
struct Correction
{
    QVector<TableEntry> rows; // the corrected table
    std::optional<PlatinumCoefficients> fitted; // from a standard table: its fitted equation
    QVector<double> factors; // from any other table: the factor at each point
    QVector<double> tableKelvin; // what the corrected table gives at each point's resistance
    double largestChange = 0; // kelvin, the most a row's resistance reads differently from before
    QVector<TableEntry> source; // the table before the correction, for the chart
    QVector<FixedPoint> points; // the points, by rising temperature
};

// The standard's table through the points: R0 fitted to one point, R0 and A to two, R0, A and B
// to three; C stays the standard's. Refused, with a clause such as "the point at 4.222 K lies
// outside the table's range, 73.15 to 500 K", where platinumTable refuses the range, where the
// points are none, more than three, outside the range or against the sensor, and where the fitted
// equation gives no table.
Result<Correction> correctPlatinum(const PlatinumCoefficients &nominal, double low, double high,
                                   QVector<FixedPoint> points);
// Any other table through the points: every resistance times one factor, the one that brings the
// source onto the point at its temperature; with two or three points the factor runs linearly in
// log T from point to point and stays at the outer points' beyond them. Refused where a point lies
// outside the table's temperatures or the points would make it turn back, with the same clauses
// as correctPlatinum's, and where the table to correct does not run one way.
Result<Correction> correctTable(const QVector<TableEntry> &source, QVector<FixedPoint> points);

// What a correction does, in lines for the operator: the fit or the factors, the table's
// temperature at each point, the largest change.
QString correctionSummary(const Correction &correction);

// The temperature a table gives for a resistance, interpolating between rows as the unit does.
// Not a number outside the table.
double tableTemperature(const QVector<TableEntry> &rows, double ohms);
