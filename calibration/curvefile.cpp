#include "calibration/curvefile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CurveFile", text);
}

// Reads a device line by line without ever holding more than one short line: a longer line is
// passed over in pieces, so a binary file or a gigabyte without a line end costs no memory.
class LineReader
{
public:
    explicit LineReader(QIODevice &device)
        : device(device)
    { }

    enum Result { Line, TooLong, End, Failed };

    // The next line without its line end (LF or CR LF), cut at its first NUL byte.
    Result next(QByteArray &line)
    {
        if (device.atEnd())
            return End;
        const qint64 got = device.readLine(buffer, sizeof buffer);
        if (got < 0)
            return Failed;
        if (got == 0)
            return device.atEnd() ? End : Failed;

        qint64 length = got;
        const bool complete = buffer[length - 1] == '\n' || device.atEnd();
        if (!complete) {
            skipRestOfLine();
            return TooLong;
        }
        if (buffer[length - 1] == '\n')
            --length;
        if (length > 0 && buffer[length - 1] == '\r')
            --length;
        if (length > MaxCurveLineBytes)
            return TooLong;
        const char *nul = static_cast<const char *>(std::memchr(buffer, '\0', size_t(length)));
        if (nul)
            length = nul - buffer;
        line = QByteArray::fromRawData(buffer, int(length));
        return Line;
    }

private:
    void skipRestOfLine()
    {
        char piece[4096];
        while (!device.atEnd()) {
            const qint64 got = device.readLine(piece, sizeof piece);
            if (got <= 0 || piece[got - 1] == '\n')
                return;
        }
    }

    QIODevice &device;
    // Room for the longest line we read (its text and CR LF) and one byte more, so that a
    // longer line shows as one without a line end; readLine also writes a terminating NUL.
    char buffer[MaxCurveLineBytes + 2 + 1 + 1] {};
};

// A line's fields: split at each TAB when it has one, else at runs of blanks; trimmed.
QList<QByteArray> fieldsOf(const QByteArray &line)
{
    if (line.contains('\t')) {
        QList<QByteArray> fields = line.split('\t');
        for (QByteArray &field : fields)
            field = field.trimmed();
        return fields;
    }
    return line.simplified().split(' ');
}

bool finiteNumber(const QByteArray &field, double &value)
{
    bool ok = false;
    value = field.toDouble(&ok);
    return ok && std::isfinite(value);
}

// The text after "Key:" when the line is a header line with this key, matched without regard to
// case or to how the words of the key are spaced.
bool headerValue(const QByteArray &line, const char *key, QByteArray &value)
{
    const int colon = line.indexOf(':');
    if (colon < 0 || line.left(colon).simplified().toLower() != key)
        return false;
    value = line.mid(colon + 1).simplified();
    return true;
}

// The leading whole number of a header value such as "4      (Log Ohms/Kelvin)".
bool leadingNumber(const QByteArray &value, qint64 &number)
{
    bool ok = false;
    const int blank = value.indexOf(' ');
    number = (blank < 0 ? value : value.left(blank)).toLongLong(&ok);
    return ok;
}

QString formatRefusal(qint64 format)
{
    if (format == 1 || format == 2)
        return tr("it is a diode voltage curve (Data Format %1), which cannot fill a resistance "
                  "table")
            .arg(format);
    if (format < 3 || format > 5)
        return tr("its Data Format %1 is not one of the resistance formats 3, 4 and 5").arg(format);
    return QString();
}

// The points of a ".340" curve from its data lines' units and temperatures.
Result<QVector<CurvePoint>> curveFrom340(qint64 format, qint64 breakpoints,
                                         const QVector<CurvePoint> &dataLines)
{
    if (breakpoints >= 0 && breakpoints != dataLines.size())
        return Failure {tr("it holds %1 data lines but declares %2 breakpoints")
                            .arg(QString::number(dataLines.size()), QString::number(breakpoints))};
    QVector<CurvePoint> points;
    points.reserve(dataLines.size());
    for (const CurvePoint &line : dataLines) {
        CurvePoint point = line;
        if (format >= 4)
            point.resistance = std::pow(10.0, line.resistance);
        if (format == 5)
            point.temperature = std::pow(10.0, line.temperature);
        if (!std::isfinite(point.resistance) || !std::isfinite(point.temperature))
            return Failure {tr("some of its breakpoints lie out of range")};
        points.append(point);
    }
    return points;
}

} // namespace

Result<QVector<CurvePoint>> readCurve(QIODevice &device)
{
    // Both readings are gathered in one pass, since a ".340" header may come anywhere before the
    // end: the plain one (first two fields) and the ".340" one (units and temperature of lines
    // of at least three numbers). Once a "Data Format:" line is seen the plain one is dropped.
    QVector<CurvePoint> plain;
    QVector<CurvePoint> dataLines;
    bool is340 = false;
    QString formatProblem;
    qint64 format = 0;
    bool breakpointsUnreadable = false;
    qint64 breakpoints = -1; // no count given: nothing to check the data lines against

    LineReader reader(device);
    QByteArray line;
    for (int lineNumber = 1;; ++lineNumber) {
        const LineReader::Result result = reader.next(line);
        if (result == LineReader::End)
            break;
        if (result == LineReader::Failed)
            return Failure {tr("it could not be read to its end")};
        if (result == LineReader::TooLong)
            continue;

        const QList<QByteArray> fields = fieldsOf(line);
        double first = 0;
        double second = 0;
        double third = 0;
        if (fields.size() >= 2 && finiteNumber(fields[0], first)
            && finiteNumber(fields[1], second)) {
            if (!is340)
                plain.append({first, second, lineNumber});
            if (fields.size() >= 3 && finiteNumber(fields[2], third))
                dataLines.append({second, third, lineNumber});
            continue;
        }

        QByteArray value;
        if (!is340 && headerValue(line, "data format", value)) {
            is340 = true;
            plain = QVector<CurvePoint>();
            formatProblem = leadingNumber(value, format) ? formatRefusal(format)
                                                         : tr("its Data Format is not a number");
        } else if (breakpoints < 0 && !breakpointsUnreadable
                   && headerValue(line, "number of breakpoints", value)) {
            if (!leadingNumber(value, breakpoints) || breakpoints < 0) {
                breakpoints = -1;
                breakpointsUnreadable = true;
            }
        }
    }

    if (is340 && !formatProblem.isEmpty())
        return Failure {formatProblem};
    if (is340 && breakpointsUnreadable)
        return Failure {tr("its Number of Breakpoints is not a number")};
    const Result<QVector<CurvePoint>> points
        = is340 ? curveFrom340(format, breakpoints, dataLines) : Result<QVector<CurvePoint>>(plain);
    if (points && points->size() < 2)
        return Failure {tr("it holds fewer than two resistance/temperature points")};
    return points;
}

Result<QVector<CurvePoint>> readCurve(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readCurve(buffer);
}

Result<CurveTable> resampleCurve(QVector<CurvePoint> points)
{
    const int n = points.size();
    if (n < 2)
        return Failure {tr("it holds fewer than two resistance/temperature points")};
    std::stable_sort(points.begin(), points.end(), [](const CurvePoint &a, const CurvePoint &b) {
        return a.resistance < b.resistance;
    });

    const double tFirst = points[0].temperature;
    const double tLast = points[n - 1].temperature;
    if (!(tFirst > 0 && tLast > 0))
        return Failure {tr("its temperatures at the lowest and highest resistance are not both "
                           "above 0 K")};

    // A sensor's temperature runs one way as its resistance rises. A point against that (a
    // mistyped digit) bends the table to follow it, so it is named by its line; the rows are
    // still computed for an operator who knows the curve has such a step.
    QString disorder;
    const bool falling = tFirst > tLast;
    for (int k = 1; k < n && disorder.isEmpty(); ++k) {
        const CurvePoint &before = points[k - 1];
        const CurvePoint &point = points[k];
        if (falling ? point.temperature <= before.temperature
                    : point.temperature >= before.temperature)
            continue;
        disorder
            = tr("its line %1 breaks the order of its temperatures: %2 K at %3 ohms comes "
                 "after %4 K at %5 ohms (line %6)")
                  .arg(QString::number(point.line), QString::number(point.temperature, 'g', 9),
                       QString::number(point.resistance, 'g', 9),
                       QString::number(before.temperature, 'g', 9),
                       QString::number(before.resistance, 'g', 9), QString::number(before.line));
    }

    // The rows' temperatures form a geometric series from one end of the curve to the other. The
    // operations and their order are kept exactly as they have always been, so that a curve
    // loaded again gives the same table to the last bit.
    const double q = std::pow(tFirst / tLast, 0.010101010101010102);
    // A sensor whose temperature rises with its resistance is walked the other way round; a
    // falling one keeps the search it has always had.
    const bool rising = tFirst < tLast;
    double t = tFirst;
    int i = 1;
    int j = 0;
    const double floatMax = std::numeric_limits<float>::max();
    QVector<TableEntry> rows;
    rows.reserve(TableRows);
    for (int row = 0; row < TableRows; ++row) {
        while ((rising ? points[i].temperature < t : points[i].temperature > t) && j < n - 2) {
            j = i;
            i = i + 1;
        }
        const double slope = (points[i].resistance - points[j].resistance)
            / (points[i].temperature - points[j].temperature);
        const double r = (t - points[j].temperature) * slope + points[j].resistance;
        if (!(std::fabs(r) <= floatMax && std::fabs(t) <= floatMax))
            return Failure {tr("it gives table rows that are not finite numbers, as where two "
                               "neighbouring points share a temperature")};
        rows.append({float(r), float(t)});
        t = t / q;
    }
    return CurveTable {rows, disorder, {}};
}
