#include "logging/chartseries.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

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
    if (intervals.empty() || intervals.back().count == readingsPerInterval) {
        if (int(intervals.size()) == maxBuckets)
            mergeNeighbours();
        intervals.push_back({point, point, 1});
        shownOfLast = 0;
    } else {
        Interval &last = intervals.back();
        ++last.count;
        if (point.y() >= last.low.y() && point.y() <= last.high.y())
            return false;
        if (point.y() < last.low.y())
            last.low = point;
        else
            last.high = point;
    }
    shown.resize(shown.size() - shownOfLast);
    shownOfLast = show(intervals.back());
    return true;
}

// Halves the number of intervals; each pair keeps the lower low and the higher high, the earlier
// one on a tie.
void ThinnedSeries::mergeNeighbours()
{
    const size_t merged = intervals.size() / 2;
    for (size_t i = 0; i < merged; ++i) {
        const Interval a = intervals[2 * i];
        const Interval b = intervals[2 * i + 1];
        intervals[i] = {b.low.y() < a.low.y() ? b.low : a.low,
                        b.high.y() > a.high.y() ? b.high : a.high, a.count + b.count};
    }
    intervals.resize(merged);
    readingsPerInterval *= 2;
    shown.clear();
    for (const Interval &interval : intervals)
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
