#pragma once

// What the commands of calibration at the bench share: the standard platinum table chosen with
// --standard, --r0 and --range, the points file a table is corrected through, and writing a file
// whole.
#include "calibration/fixedpoints.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <optional>

class QCommandLineParser;

struct StandardChoice
{
    PlatinumCoefficients pt;
    double low = PlatinumLowestKelvin;
    double high = PlatinumDefaultHighKelvin;
};

// --standard pt100|pt1000, --r0 OHMS, --range TMIN:TMAX.
QList<QCommandLineOption> standardOptions();
// The standard named, nothing without --standard; false with `error` set when the values make no
// sense or --r0 or --range come without --standard.
bool takeStandard(const QCommandLineParser &parser, std::optional<StandardChoice> &choice,
                  QString *error);

// A points file as read: its text and its points.
struct PointsFile
{
    QByteArray text;
    QVector<FixedPoint> points;
};
// The points file at `path`. Refused, with the reason as a clause, when it cannot be opened, is
// too large or holds a line that is no point.
Result<PointsFile> readPointsFile(const QString &path);

// The points of `channel` in the points file at `path`; false after saying why there are none.
bool loadPoints(const QString &path, int channel, QVector<FixedPoint> &points);

// Shows what the correction does, or says why there is none (false).
bool showCorrection(const Result<Correction> &correction, int channel);

// Writes `bytes` to `path` whole on disk, over a regular file only; false after saying why not.
bool writeOutputFile(const QString &path, const QByteArray &bytes);
