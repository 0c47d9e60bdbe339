#pragma once

// The points of one chart line over a run of any length, in bounded memory: once the line is
// full, neighbouring intervals merge and each keeps only its lowest and highest reading, so a
// day-long run still shows every spike. Pure: points in, points out; no widgets.
#include <QPointF>
#include <QString>
#include <QVector>

#include <vector>

class ThinnedSeries
{
public:
    // Two points (a low and a high) for every pixel column or two of the Logger's chart: spikes
    // show, and a tick's redraw stays short.
    static constexpr int DefaultLimit = 500;

    // `limit` is the most points the line ever holds; it is rounded down to a multiple of 4.
    explicit ThinnedSeries(int limit = DefaultLimit);

    // Adds a reading; x must not go back in time. False when the points shown stay as they were
    // (a reading within the extremes of a thinned interval).
    bool append(const QPointF &point);
    void clear();

    // In time order, at most limit() of them. Until the line first fills, one per reading.
    const QVector<QPointF> &points() const { return shown; }
    int limit() const { return 2 * maxBuckets; }

private:
    // The readings of one interval, by their extremes.
    struct Interval
    {
        QPointF low;
        QPointF high;
        int count = 0;
    };
    void mergeNeighbours();
    int show(const Interval &interval);

    int maxBuckets;
    int readingsPerInterval = 1;
    std::vector<Interval> intervals;
    QVector<QPointF> shown;
    int shownOfLast = 0; // how many of `shown` belong to the last, still growing interval
};

// The chart's picture goes next to the log file, with its base name: "run.txt" gives "run.png".
QString chartImageName(const QString &logFileName);
