#include "calibration/tablesource.h"

#include "files/regularfile.h"

#include <QCoreApplication>
#include <QFile>

namespace {

// Enough of a file to tell its kind by.
constexpr qint64 KindBytes = 4096;

} // namespace

Result<TableSource> readTableSource(const QString &path)
{
    QFile file;
    const Result<void> opened = openRegularFile(file, path, QIODevice::ReadOnly);
    if (!opened)
        return Failure {opened.error()};
    TableSource source;
    // A file that grows while it is read still shows as too large.
    source.tooLarge = file.size() > MaxCurveFileBytes;
    source.text = file.read(source.tooLarge ? KindBytes : MaxCurveFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Failure {
            QCoreApplication::translate("CurveFile", "it could not be read to its end")};
    if (source.text.size() > MaxCurveFileBytes) {
        source.tooLarge = true;
        source.text.truncate(KindBytes);
    }
    source.kind = calibrationFileKind(source.text);
    return source;
}

Result<CalibrationFile> channelCalibration(const TableSource &source)
{
    if (source.tooLarge)
        return Failure {QCoreApplication::translate("TableSource", "it is too large")};
    return readCalibrationFile(source.text);
}

Result<UnitCalibrationFile> unitCalibration(const TableSource &source)
{
    if (source.tooLarge)
        return Failure {QCoreApplication::translate("TableSource", "it is too large")};
    const Result<UnitCalibrationFile> read = readUnitCalibrationFile(source.text);
    if (read && source.kind != CalibrationFileKind::Unit)
        return Failure {QCoreApplication::translate(
            "TableSource", "it is no whole unit's calibration written by backup")};
    return read;
}

Result<CurveTable> curveTable(const TableSource &source)
{
    if (source.tooLarge)
        return Failure {QCoreApplication::translate(
            "CurveFile", "it is larger than 16 MiB, far more than any curve")};
    const Result<QVector<CurvePoint>> points = readCurve(source.text);
    if (!points)
        return Failure {points.error()};
    Result<CurveTable> table = resampleCurve(*points);
    if (!table)
        return table;
    CurveTable withPoints = *table;
    withPoints.points = *points;
    return withPoints;
}

Result<CurveTable> curveTableFromFile(const QString &path)
{
    const Result<TableSource> source = readTableSource(path);
    if (!source)
        return Failure {source.error()};
    return curveTable(*source);
}
