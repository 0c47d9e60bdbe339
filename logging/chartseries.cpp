#include "logging/chartseries.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

ThinnedSeries::ThinnedSeries(int limit)
    : maxBuckets(std::max(2, limit / 4 * 2))
{
    intervals.reserve(maxBuckets);
    shown.reserve(limit);
}

void ThinnedSeries::clear()
{
    readingsPerInterval = 1;
    intervals.clear();
    shown.clear();
    shownOfLast = 0;
}

bool ThinnedSeries::append(const QPointF &point)
{
    const bool gap = !std::isfinite(point.y());
    if (intervals.empty() || intervals.back().count == readingsPerInterval) {
        if (int(intervals.size()) == maxBuckets)
            mergeNeighbours();
        Interval fresh;
        fresh.count = 1;
        if (gap) {
            fresh.hasGap = true;
            fresh.gapX = point.x();
        } else {
            fresh.low = fresh.high = point;
            fresh.hasValues = true;
        }
        intervals.push_back(fresh);
        shownOfLast = 0;
    } else {
        Interval &last = intervals.back();
        ++last.count;
        if (gap) {
            if (last.hasGap)
                return false;
            last.hasGap = true;
            last.gapX = point.x();
        } else if (!last.hasValues) {
            last.low = last.high = point;
            last.hasValues = true;
        } else if (point.y() >= last.low.y() && point.y() <= last.high.y()) {
            return false;
        } else if (point.y() < last.low.y()) {
            last.low = point;
        } else {
            last.high = point;
        }
    }
    shown.resize(shown.size() - shownOfLast);
    shownOfLast = show(intervals.back());
    return true;
}

// Halves the number of intervals; each pair keeps the lower low and the higher high, the earlier
// one on a tie, and a gap of either.
void ThinnedSeries::mergeNeighbours()
{
    const size_t merged = intervals.size() / 2;
    for (size_t i = 0; i < merged; ++i) {
        const Interval a = intervals[2 * i];
        const Interval b = intervals[2 * i + 1];
        Interval both;
        both.count = a.count + b.count;
        both.hasValues = a.hasValues || b.hasValues;
        if (a.hasValues && b.hasValues) {
            both.low = b.low.y() < a.low.y() ? b.low : a.low;
            both.high = b.high.y() > a.high.y() ? b.high : a.high;
        } else {
            both.low = a.hasValues ? a.low : b.low;
            both.high = a.hasValues ? a.high : b.high;
        }
        both.hasGap = a.hasGap || b.hasGap;
        both.gapX = a.hasGap ? a.gapX : b.gapX;
        intervals[i] = both;
    }
    intervals.resize(merged);
    readingsPerInterval *= 2;
    shown.clear();
    for (const Interval &interval : intervals)
        show(interval);
    shownOfLast = 0;
}

// Appends the interval's extremes and its gap in time order; returns how many points that took.
int ThinnedSeries::show(const Interval &interval)
{
    QPointF points[3];
    int n = 0;
    if (interval.hasValues) {
        const bool lowFirst = interval.low.x() <= interval.high.x();
        points[n++] = lowFirst ? interval.low : interval.high;
        if (interval.low != interval.high)
            points[n++] = lowFirst ? interval.high : interval.low;
    }
    if (interval.hasGap) {
        const QPointF gap(interval.gapX, std::numeric_limits<double>::quiet_NaN());
        int at = n;
        while (at > 0 && points[at - 1].x() > gap.x()) {
            points[at] = points[at - 1];
            --at;
        }
        points[at] = gap;
        ++n;
    }
    for (int i = 0; i < n; ++i)
        shown.append(points[i]);
    return n;
}

QVector<QVector<QPointF>> lineRuns(const QVector<QPointF> &points)
{
    QVector<QVector<QPointF>> runs(1);
    for (const QPointF &point : points) {
        if (std::isfinite(point.y()))
            runs.last().append(point);
        else if (!runs.last().isEmpty())
            runs.append(QVector<QPointF>());
    }
    if (runs.last().isEmpty())
        runs.removeLast();
    return runs;
}

bool wantsLogarithmicAxis(double low, double high)
{
    return low > 0 && high / low > 1000;
}

TimeAxisLabels timeAxisLabels(qint64 spanMs, int maxTicks)
{
    constexpr qint64 SecondMs = 1000;
    constexpr qint64 DayMs = 24 * 60 * 60 * SecondMs;
    const int ticks = int(qBound(qint64(2), spanMs / SecondMs + 1, qint64(maxTicks)));
    // Within a day a time of day never comes round again; a longer span needs its date.
    return {ticks, spanMs >= DayMs ? QStringLiteral("MM-dd hh:mm") : QStringLiteral("hh:mm:ss")};
}

QString chartImageName(const QString &logFileName)
{
    const QFileInfo log(logFileName);
    return log.dir().filePath(log.completeBaseName() + QLatin1String(".png"));
}
