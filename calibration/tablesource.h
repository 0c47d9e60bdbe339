#pragma once

// The files an operator names to fill a channel's table: a get-cal file, a whole unit's backup or
// a sensor's curve, read the one way whichever program reads them. Only a regular file is opened,
// so no open waits on a named pipe or acts on a device, and only so much of it is read as any
// such file needs. GUI-free.
#include "calibration/calibrationfile.h"
#include "calibration/curvefile.h"
#include "values/result.h"

#include <QByteArray>
#include <QString>

// A file named for a table, read but not yet taken for anything.
struct TableSource
{
    CalibrationFileKind kind = CalibrationFileKind::Curve;
    // Its bytes; only its first ones when it is tooLarge, enough to tell its kind.
    QByteArray text;
    bool tooLarge = false; // larger than MaxCurveFileBytes: refused whatever it holds
};

// The file at `path`, up to MaxCurveFileBytes. Fails when it could not be opened or read: with
// notRegularFileText() for anything but a regular file, else in the system's words.
Result<TableSource> readTableSource(const QString &path);

// What the file holds, each refused with a clause to follow the file's name. A get-cal file's
// rows and gain, as readCalibrationFile reads them.
Result<CalibrationFile> channelCalibration(const TableSource &source);
// A whole unit's calibration as backup writes it, and nothing else.
Result<UnitCalibrationFile> unitCalibration(const TableSource &source);
// A curve resampled into the table, with its own points.
Result<CurveTable> curveTable(const TableSource &source);

// The curve file at `path` read and resampled.
Result<CurveTable> curveTableFromFile(const QString &path);
