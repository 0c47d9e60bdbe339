#include "cli/benchcal.h"

#include "calibration/curvefile.h"
#include "cli/command.h"
#include "files/regularfile.h"
#include "files/wholefile.h"

#include <QCommandLineParser>
#include <QFile>

#include <cmath>

namespace {

const QString standardName = QStringLiteral("standard");
const QString r0Name = QStringLiteral("r0");
const QString rangeName = QStringLiteral("range");

bool readPositive(const QString &text, double &value)
{
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value) && value > 0;
}

} // namespace

QList<QCommandLineOption> standardOptions()
{
    return {
        {standardName,
         cliText("the standard platinum table (IEC 60751) of a Pt100 or a Pt1000 sensor, computed "
                 "from its equation"),
         QStringLiteral("pt100|pt1000")},
        {r0Name, cliText("with --standard: the sensor's resistance at 0 °C (default 100 or 1000)"),
         QStringLiteral("OHMS")},
        {rangeName,
         cliText("with --standard: the table's span in kelvin, within 73.15:1123.15 (default "
                 "73.15:500)"),
         QStringLiteral("TMIN:TMAX")},
    };
}

bool takeStandard(const QCommandLineParser &parser, std::optional<StandardChoice> &choice,
                  QString *error)
{
    choice.reset();
    if (!parser.isSet(standardName)) {
        if (parser.isSet(r0Name) || parser.isSet(rangeName)) {
            *error = cliText("--r0 and --range go with --standard");
            return false;
        }
        return true;
    }
    StandardChoice standard;
    const QString kind = parser.value(standardName).toLower();
    if (kind == QLatin1String("pt1000")) {
        standard.pt.r0 = 1000;
    } else if (kind != QLatin1String("pt100")) {
        *error = cliText("--standard is pt100 or pt1000");
        return false;
    }
    if (parser.isSet(r0Name) && !readPositive(parser.value(r0Name), standard.pt.r0)) {
        *error = cliText("--r0 takes a resistance above zero");
        return false;
    }
    if (parser.isSet(rangeName)) {
        const QStringList ends = parser.value(rangeName).split(':');
        if (ends.size() != 2 || !readPositive(ends.at(0), standard.low)
            || !readPositive(ends.at(1), standard.high)) {
            *error = cliText("--range takes two temperatures in kelvin, as 73.15:500");
            return false;
        }
    }
    // The table itself judges the range: the same words as the window's.
    const Result<QVector<TableEntry>> table
        = platinumTable(standard.pt, standard.low, standard.high);
    if (!table) {
        *error = cliText("--range: %1").arg(table.error());
        return false;
    }
    choice = standard;
    return true;
}

Result<PointsFile> readPointsFile(const QString &path)
{
    QFile file;
    const Result<void> opened = openRegularFile(file, path, QIODevice::ReadOnly);
    if (!opened)
        return Failure {opened.error()};
    // A points file is a few lines; a curve's cap keeps a wrong file from filling memory.
    PointsFile read;
    read.text = file.read(MaxCurveFileBytes + 1);
    if (read.text.size() > MaxCurveFileBytes)
        return Failure {cliText("it is too large")};
    if (file.error() != QFileDevice::NoError)
        return Failure {file.errorString()};
    const Result<QVector<FixedPoint>> points = readPoints(read.text);
    if (!points)
        return Failure {points.error()};
    read.points = *points;
    return read;
}

bool loadPoints(const QString &path, int channel, QVector<FixedPoint> &points)
{
    const Result<PointsFile> read = readPointsFile(path);
    if (!read) {
        say(cliText("The points file \"%1\" was not read: %2. Nothing was sent to the unit.")
                .arg(shown(path), read.error()));
        return false;
    }
    points.clear();
    for (const FixedPoint &point : read->points)
        if (point.channel == channel)
            points.append(point);
    if (points.isEmpty()) {
        say(cliText("The points file \"%1\" holds no point of %2. Nothing was sent to the unit.")
                .arg(shown(path), channelTitle(channel)));
        return false;
    }
    return true;
}

bool showCorrection(const Result<Correction> &correction, int channel)
{
    if (!correction) {
        say(cliText("%1 cannot be corrected through its points: %2. Nothing was sent to the unit.")
                .arg(channelTitle(channel), correction.error()));
        return false;
    }
    return printResult((channelTitle(channel) + ", corrected through its points:\n"
                        + correctionSummary(*correction))
                           .toUtf8(),
                       cliText("the correction"));
}

bool writeOutputFile(const QString &path, const QByteArray &bytes)
{
    const Result<void> written = writeWholeFile(path, bytes);
    if (!written)
        say(cliText("%1 cannot be written: %2.").arg(shown(path), written.error()));
    return bool(written);
}
