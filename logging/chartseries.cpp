#include "logging/chartseries.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

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

void ThinnedSeries::append(const QPointF &point)
{
    if (intervals.isEmpty() || intervals.last().count == readingsPerInterval) {
        if (intervals.size() == maxBuckets)
            mergeNeighbours();
        intervals.append({point, point, 1});
        shownOfLast = 0;
    } else {
        Interval &last = intervals.last();
        if (point.y() < last.low.y())
            last.low = point;
        if (point.y() > last.high.y())
            last.high = point;
        ++last.count;
    }
    shown.resize(shown.size() - shownOfLast);
    shownOfLast = show(intervals.last());
}

// Halves the number of intervals; each pair keeps the lower low and the higher high, the earlier
// one on a tie.
void ThinnedSeries::mergeNeighbours()
{
    for (int i = 0; i < intervals.size() / 2; ++i) {
        const Interval &a = intervals[2 * i];
        const Interval &b = intervals[2 * i + 1];
        intervals[i] = {b.low.y() < a.low.y() ? b.low : a.low,
                        b.high.y() > a.high.y() ? b.high : a.high, a.count + b.count};
    }
    intervals.resize(intervals.size() / 2);
    readingsPerInterval *= 2;
    shown.clear();
    for (const Interval &interval : std::as_const(intervals))
        show(interval);
    shownOfLast = 0;
}

// Appends the interval's extremes in time order; returns how many points that took.
int ThinnedSeries::show(const Interval &interval)
{
    const bool lowFirst = interval.low.x() <= interval.high.x();
    shown.append(lowFirst ? interval.low : interval.high);
    if (interval.low == interval.high)
        return 1;
    shown.append(lowFirst ? interval.high : interval.low);
    return 2;
}

QString chartImageName(const QString &logFileName)
{
    const QFileInfo log(logFileName);
    return log.dir().filePath(log.completeBaseName() + QLatin1String(".png"));
}
