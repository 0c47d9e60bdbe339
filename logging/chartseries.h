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

    // Adds a reading; x must not go back in time. A reading whose y is not finite is a gap: the
    // points shown then hold a point with a NaN y where the line must break, however far the
    // line is thinned. False when the points shown stay as they were (a reading within the
    // extremes of a thinned interval).
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
        bool hasValues = false; // low and high hold readings
        bool hasGap = false;
        qreal gapX = 0; // the first gap's time
    };
    void mergeNeighbours();
    int show(const Interval &interval);

    int maxBuckets;
    int readingsPerInterval = 1;
    std::vector<Interval> intervals;
    QVector<QPointF> shown;
    int shownOfLast = 0; // how many of `shown` belong to the last, still growing interval
};

// The stretches of a line between its gaps (the NaN points of ThinnedSeries), none empty.
QVector<QVector<QPointF>> lineRuns(const QVector<QPointF> &points);

// Whether a chart whose lines reach from `low` to `high` reads better on a logarithmic axis: all
// above zero and more than three decades apart.
bool wantsLogarithmicAxis(double low, double high);

// How the time axis of a chart spanning `spanMs` is labelled: the most ticks up to `maxTicks` that
// stay at least a second apart, so no two labels read alike, and the date in front once the span
// reaches a day.
struct TimeAxisLabels
{
    int ticks;
    QString format;
};
TimeAxisLabels timeAxisLabels(qint64 spanMs, int maxTicks);

// The chart's picture goes next to the log file, with its base name: "run.txt" gives "run.png".
QString chartImageName(const QString &logFileName);
