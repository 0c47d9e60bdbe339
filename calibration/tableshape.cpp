#include "calibration/tableshape.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool usable(const TableEntry &row)
{
    return std::isfinite(row.resistance) && std::isfinite(row.temperature);
}

int sign(double value)
{
    return (value > 0) - (value < 0);
}

} // namespace

bool needsLogResistanceAxis(const QVector<TableEntry> &rows)
{
    double low = std::numeric_limits<double>::infinity();
    double high = 0;
    for (const TableEntry &row : rows) {
        if (!std::isfinite(row.resistance))
            continue;
        if (row.resistance <= 0)
            return false;
        low = std::min(low, double(row.resistance));
        high = std::max(high, double(row.resistance));
    }
    return high > 0 && high > 100 * low;
}

std::optional<int> firstRowOutOfOrder(const QVector<TableEntry> &rows)
{
    int previous = -1;
    int resistanceWay = 0;
    int temperatureWay = 0;
    for (int row = 0; row < rows.size(); ++row) {
        if (!usable(rows.at(row)))
            continue;
        if (previous >= 0) {
            const int r = sign(double(rows.at(row).resistance) - rows.at(previous).resistance);
            const int t = sign(double(rows.at(row).temperature) - rows.at(previous).temperature);
            if (resistanceWay == 0) {
                resistanceWay = r;
                temperatureWay = t;
            }
            if (r == 0 || t == 0 || r != resistanceWay || t != temperatureWay)
                return row;
        }
        previous = row;
    }
    return std::nullopt;
}

std::optional<CurveDeviation> largestDeviation(const QVector<TableEntry> &rows,
                                               const QVector<CurvePoint> &curve)
{
    // The table's lines, each from a row to the next usable one, by rising resistance.
    struct Segment
    {
        double r0, t0, r1, t1;
    };
    QVector<Segment> segments;
    const TableEntry *previous = nullptr;
    for (const TableEntry &row : rows) {
        if (!usable(row))
            continue;
        if (previous) {
            Segment s {previous->resistance, previous->temperature, row.resistance,
                       row.temperature};
            if (s.r1 < s.r0) {
                std::swap(s.r0, s.r1);
                std::swap(s.t0, s.t1);
            }
            segments.append(s);
        }
        previous = &row;
    }
    // A table that runs one way has segments that follow one another, so the one holding a point
    // is found by halving; one that does not is searched from end to end.
    const bool ordered = !firstRowOutOfOrder(rows);
    if (ordered)
        std::sort(segments.begin(), segments.end(),
                  [](const Segment &a, const Segment &b) { return a.r0 < b.r0; });

    std::optional<CurveDeviation> largest;
    auto measure = [&](const CurvePoint &point, const Segment &s) {
        const double t = s.r1 == s.r0
            ? s.t0
            : s.t0 + (point.resistance - s.r0) * (s.t1 - s.t0) / (s.r1 - s.r0);
        const double difference = std::abs(t - point.temperature);
        if (std::isfinite(difference) && (!largest || difference > largest->kelvin))
            largest = CurveDeviation {difference, point.resistance};
    };
    for (const CurvePoint &point : curve) {
        if (ordered) {
            auto after = std::upper_bound(segments.cbegin(), segments.cend(), point.resistance,
                                          [](double r, const Segment &s) { return r < s.r0; });
            if (after == segments.cbegin())
                continue;
            const Segment &s = *(after - 1);
            if (point.resistance <= s.r1)
                measure(point, s);
            continue;
        }
        for (const Segment &s : segments) {
            if (point.resistance >= s.r0 && point.resistance <= s.r1) {
                measure(point, s);
                break;
            }
        }
    }
    return largest;
}
