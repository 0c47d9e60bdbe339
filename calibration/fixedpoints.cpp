#include "calibration/fixedpoints.h"

#include "calibration/tableshape.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("FixedPoints", text);
}

constexpr double ZeroCelsius = 273.15;

QString exact(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString kelvinText(double kelvin)
{
    return QString::number(kelvin, 'g', 9);
}

QString ohmsText(double ohms)
{
    return QString::number(ohms, 'g', 9);
}

bool positive(double value)
{
    return std::isfinite(value) && value > 0;
}

// Solves the n-by-n system (n <= 3) by elimination with the largest pivot; nothing when the
// equations do not fix the unknowns (points too close together to tell them apart).
std::optional<std::array<double, 3>> solve(std::array<std::array<double, 4>, 3> m, int n)
{
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int row = col + 1; row < n; ++row)
            if (std::abs(m[row][col]) > std::abs(m[pivot][col]))
                pivot = row;
        if (!(std::abs(m[pivot][col]) > 1e-12))
            return std::nullopt;
        std::swap(m[col], m[pivot]);
        for (int row = 0; row < n; ++row) {
            if (row == col)
                continue;
            const double f = m[row][col] / m[col][col];
            for (int k = col; k <= n; ++k)
                m[row][k] -= f * m[col][k];
        }
    }
    std::array<double, 3> x {};
    for (int k = 0; k < n; ++k)
        x[k] = m[k][n] / m[k][k];
    return x;
}

// The standard's equation through the points, with as many coefficients fitted as there are
// points. The equation is linear in R0, R0·A and R0·B, so the fit is exact.
std::optional<PlatinumCoefficients> fitPlatinum(const PlatinumCoefficients &nominal,
                                                const QVector<FixedPoint> &points)
{
    PlatinumCoefficients fit = nominal;
    const int n = points.size();
    std::array<std::array<double, 4>, 3> m {};
    for (int k = 0; k < n; ++k) {
        const double t = points.at(k).kelvin - ZeroCelsius;
        const double cTerm = (t < 0 ? nominal.c : 0.0) * (t - 100) * t * t * t;
        const double bTerm = n < 3 ? nominal.b * t * t : 0.0;
        const double aTerm = n < 2 ? nominal.a * t : 0.0;
        m[k] = {1 + aTerm + bTerm + cTerm, t, t * t, 0};
        m[k][n] = points.at(k).ohms;
    }
    const std::optional<std::array<double, 3>> x = solve(m, n);
    if (!x || !positive((*x)[0]))
        return std::nullopt;
    fit.r0 = (*x)[0];
    if (n >= 2)
        fit.a = (*x)[1] / fit.r0;
    if (n >= 3)
        fit.b = (*x)[2] / fit.r0;
    return fit;
}

// The resistance a table has at a temperature, on the straight line between the rows around it;
// nothing outside the table.
std::optional<double> resistanceAt(const QVector<TableEntry> &rows, double kelvin)
{
    for (int k = 1; k < rows.size(); ++k) {
        const double t0 = rows.at(k - 1).temperature, t1 = rows.at(k).temperature;
        if ((kelvin - t0) * (kelvin - t1) > 0)
            continue;
        const double r0 = rows.at(k - 1).resistance, r1 = rows.at(k).resistance;
        return t1 == t0 ? r0 : r0 + (kelvin - t0) * (r1 - r0) / (t1 - t0);
    }
    return std::nullopt;
}

// The factor at a temperature: the points' factors joined by straight lines in log T, the outer
// points' beyond them.
double factorAt(const QVector<FixedPoint> &points, const QVector<double> &factors, double kelvin)
{
    if (kelvin <= points.first().kelvin)
        return factors.first();
    for (int k = 1; k < points.size(); ++k) {
        if (kelvin > points.at(k).kelvin)
            continue;
        const double w = std::log(kelvin / points.at(k - 1).kelvin)
            / std::log(points.at(k).kelvin / points.at(k - 1).kelvin);
        return factors.at(k - 1) + w * (factors.at(k) - factors.at(k - 1));
    }
    return factors.last();
}

// What every correction asks of its points: one to three, at distinct temperatures inside the
// table's, their resistances running the table's way (`way` +1 when resistance rises with
// temperature, -1 when it falls). The points come back by rising temperature.
QString pointsProblem(QVector<FixedPoint> &points, double low, double high, int way)
{
    if (points.isEmpty())
        return tr("there is no point to correct it through");
    if (points.size() > 3)
        return tr("a table is corrected through one to three points, not %1").arg(points.size());
    std::sort(points.begin(), points.end(),
              [](const FixedPoint &a, const FixedPoint &b) { return a.kelvin < b.kelvin; });
    for (int k = 0; k < points.size(); ++k) {
        const FixedPoint &p = points.at(k);
        if (!positive(p.kelvin) || !positive(p.ohms))
            return tr("the point at %1 K, %2 ohms, is no sensor's")
                .arg(kelvinText(p.kelvin), ohmsText(p.ohms));
        if (p.kelvin < low || p.kelvin > high)
            return tr("the point at %1 K lies outside the table's range, %2 to %3 K")
                .arg(kelvinText(p.kelvin), kelvinText(low), kelvinText(high));
        if (k == 0)
            continue;
        const FixedPoint &before = points.at(k - 1);
        if (p.kelvin == before.kelvin)
            return tr("two points are at the same temperature, %1 K").arg(kelvinText(p.kelvin));
        if ((p.ohms - before.ohms) * way <= 0)
            return tr("the points at %1 K (%2 ohms) and %3 K (%4 ohms) would make the table turn "
                      "back: their resistances run against the sensor's")
                .arg(kelvinText(before.kelvin), ohmsText(before.ohms), kelvinText(p.kelvin),
                     ohmsText(p.ohms));
    }
    return {};
}

// The table's temperature at each point and the largest change from the source, once the rows
// are known.
void describe(Correction &c)
{
    for (const FixedPoint &p : qAsConst(c.points))
        c.tableKelvin.append(tableTemperature(c.rows, p.ohms));
    QVector<CurvePoint> corrected;
    for (const TableEntry &row : qAsConst(c.rows))
        corrected.append({row.resistance, row.temperature});
    if (const std::optional<CurveDeviation> change = largestDeviation(c.source, corrected))
        c.largestChange = change->kelvin;
}

} // namespace

std::optional<double> fixedPointKelvin(const QString &text)
{
    for (const FixedPointPreset &preset : fixedPointPresets())
        if (text.compare(QLatin1String(preset.name), Qt::CaseInsensitive) == 0)
            return preset.kelvin;
    bool ok = false;
    const double kelvin = text.trimmed().toDouble(&ok);
    if (ok && positive(kelvin))
        return kelvin;
    return std::nullopt;
}

QVector<FixedPointPreset> fixedPointPresets()
{
    return {
        {"ln2", 77.355, "liquid nitrogen boiling at one standard atmosphere"},
        {"ice", 273.15, "water's ice point"},
        {"triple", 273.16, "water's triple point"},
        {"lhe", 4.222, "helium-4 boiling at one standard atmosphere"},
    };
}

Result<FixedPoint> pointFromReadings(int channel, double kelvin, const QVector<float> &ohms,
                                     double maxSpreadPpm, const QDateTime &time)
{
    if (ohms.isEmpty())
        return Failure {tr("no reading came")};
    double sum = 0;
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const float value : ohms) {
        if (!positive(value))
            return Failure {
                tr("the channel reads no sensor's resistance (%1 ohms)").arg(ohmsText(value))};
        sum += value;
        low = std::min(low, double(value));
        high = std::max(high, double(value));
    }
    FixedPoint point;
    point.channel = channel;
    point.kelvin = kelvin;
    point.ohms = sum / ohms.size();
    point.spread = high - low;
    point.readings = ohms.size();
    point.time = time.toUTC();
    const double ppm = point.spread / point.ohms * 1e6;
    if (ppm > maxSpreadPpm)
        return Failure {tr("the readings drift: they spread over %1 ohms (%2 ppm of their mean, "
                           "%3 ohms), above the limit of %4 ppm")
                            .arg(ohmsText(point.spread), QString::number(ppm, 'g', 3),
                                 ohmsText(point.ohms), QString::number(maxSpreadPpm, 'g', 6))};
    return point;
}

QByteArray pointsFileHeader()
{
    return "# channel\tkelvin\tohms\tspread_ohms\treadings\ttime\n";
}

QByteArray pointLine(const FixedPoint &p)
{
    return QStringList {QString::number(p.channel + 1),
                        exact(p.kelvin),
                        exact(p.ohms),
                        exact(p.spread),
                        QString::number(p.readings),
                        p.time.toUTC().toString(Qt::ISODateWithMs)}
               .join('\t')
               .toUtf8()
        + '\n';
}

Result<QVector<FixedPoint>> readPoints(const QByteArray &text)
{
    QVector<FixedPoint> points;
    const QList<QByteArray> lines = text.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = QString::fromUtf8(lines.at(n)).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QStringList f = line.split('\t');
        FixedPoint p;
        bool ok[5] = {};
        if (f.size() == 6) {
            p.channel = f.at(0).toInt(&ok[0]) - 1;
            p.kelvin = f.at(1).toDouble(&ok[1]);
            p.ohms = f.at(2).toDouble(&ok[2]);
            p.spread = f.at(3).toDouble(&ok[3]);
            p.readings = f.at(4).toInt(&ok[4]);
            p.time = QDateTime::fromString(f.at(5), Qt::ISODateWithMs);
        }
        if (f.size() != 6 || !std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; })
            || p.channel < 0 || p.channel >= ChannelCount || !positive(p.kelvin)
            || !positive(p.ohms) || !(p.spread >= 0) || p.readings < 1 || !p.time.isValid()) {
            return Failure {tr("line %1 is not a point (channel, kelvin, ohms, spread, readings "
                               "and time, separated by tabs)")
                                .arg(n + 1)};
        }
        points.append(p);
    }
    return points;
}

Result<Correction> correctPlatinum(const PlatinumCoefficients &nominal, double low, double high,
                                   QVector<FixedPoint> points)
{
    const Result<QVector<TableEntry>> source = platinumTable(nominal, low, high);
    if (!source)
        return Failure {source.error()};
    if (const QString problem = pointsProblem(points, low, high, +1); !problem.isEmpty())
        return Failure {problem};
    const std::optional<PlatinumCoefficients> fit = fitPlatinum(nominal, points);
    if (!fit)
        return Failure {tr("the points give the equation no R0 above zero")};
    const Result<QVector<TableEntry>> corrected = platinumTable(*fit, low, high);
    if (!corrected)
        return Failure {tr("with the fitted coefficients %1").arg(corrected.error())};
    Correction c;
    c.source = *source;
    c.rows = *corrected;
    c.fitted = fit;
    c.points = points;
    describe(c);
    return c;
}

Result<Correction> correctTable(const QVector<TableEntry> &source, QVector<FixedPoint> points)
{
    const bool usable = source.size() >= 2
        && std::all_of(source.cbegin(), source.cend(), [](const TableEntry &row) {
                            return positive(row.resistance) && positive(row.temperature);
                        });
    if (!usable || firstRowOutOfOrder(source))
        return Failure {tr("the table to correct does not run one way through values above zero")};
    const TableEntry &first = source.first(), &last = source.last();
    const int way
        = (last.resistance > first.resistance) == (last.temperature > first.temperature) ? +1 : -1;
    const QString problem = pointsProblem(points, std::min(first.temperature, last.temperature),
                                          std::max(first.temperature, last.temperature), way);
    if (!problem.isEmpty())
        return Failure {problem};
    Correction c;
    for (const FixedPoint &p : qAsConst(points))
        c.factors.append(p.ohms / *resistanceAt(source, p.kelvin));

    QVector<TableEntry> rows;
    rows.reserve(source.size());
    for (const TableEntry &row : source) {
        const double ohms = row.resistance * factorAt(points, c.factors, row.temperature);
        if (!(positive(ohms) && ohms <= std::numeric_limits<float>::max()))
            return Failure {tr("the correction gives %1 ohms at %2 K, which no sensor has")
                                .arg(ohmsText(ohms), kelvinText(row.temperature))};
        rows.append({float(ohms), row.temperature});
    }
    if (const std::optional<int> row = firstRowOutOfOrder(rows))
        return Failure {tr("the points would make the table turn back near %1 K")
                            .arg(kelvinText(rows.at(*row).temperature))};
    c.source = source;
    c.rows = rows;
    c.points = points;
    describe(c);
    return c;
}

QString correctionSummary(const Correction &c)
{
    QStringList lines;
    if (c.fitted) {
        const int n = c.points.size();
        lines
            << tr("the equation with %1 fitted: R0 = %2 ohms, A = %3 /°C, B = %4 /°C², C = %5 /°C⁴")
                   .arg(n == 1       ? tr("R0")
                            : n == 2 ? tr("R0 and A")
                                     : tr("R0, A and B"),
                        ohmsText(c.fitted->r0), QString::number(c.fitted->a, 'g', 7),
                        QString::number(c.fitted->b, 'g', 7), QString::number(c.fitted->c, 'g', 7));
    }
    for (int k = 0; k < c.points.size(); ++k) {
        const FixedPoint &p = c.points.at(k);
        QString line = tr("at %1 K, %2 ohms: the corrected table gives %3 K")
                           .arg(kelvinText(p.kelvin), ohmsText(p.ohms),
                                QString::number(c.tableKelvin.value(k), 'f', 4));
        if (k < c.factors.size())
            line += tr(", factor %1").arg(QString::number(c.factors.at(k), 'g', 9));
        lines << line;
    }
    lines << tr("largest change from the table before: %1 K")
                 .arg(QString::number(c.largestChange, 'f', 4));
    return lines.join('\n') + '\n';
}

double tableTemperature(const QVector<TableEntry> &rows, double ohms)
{
    // The deviation of a point at 0 K from the table is the table's own temperature there.
    const std::optional<CurveDeviation> at = largestDeviation(rows, {CurvePoint {ohms, 0.0}});
    return at ? at->kelvin : std::numeric_limits<double>::quiet_NaN();
}
