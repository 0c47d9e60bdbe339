#pragma once

// The readings of the units as Prometheus reads them: the text exposition format 0.0.4. Pure: the
// exporter renders it once per reading, and every scrape until the next one gets the same bytes.
#include "values/channeldata.h"
#include "values/unitshape.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <optional>

// What the exporter knows of one unit it follows.
struct UnitMetrics
{
    QString port; // where the unit was first found, or the path the operator named
    QString serial; // its USB serial number; empty where the port reports none
    bool up = false; // the last reading came complete; only then are its readings shown
    std::array<ChannelData, ChannelCount> channels {};
    std::optional<std::array<bool, RelayCount>> relays; // absent when the unit kept them to itself
    quint64 readings = 0; // readings tried, the failed ones included
    quint64 failures = 0;
    std::optional<qint64> lastReadingMs; // the last complete reading, ms since the epoch
};

// The whole page at /metrics. A unit that is not up shows only its up, counters and the time of
// its last complete reading: Prometheus then marks its readings stale instead of drawing the last
// values on as if they were still being measured.
QByteArray metricsText(const QList<UnitMetrics> &units);

// A sample value as Prometheus writes it: "NaN", "+Inf", "-Inf", otherwise the shortest decimal
// that reads back as the very same float.
QByteArray sampleValue(float value);
QByteArray sampleValue(double value);

// A label value between its double quotes: backslash, double quote and line feed escaped.
QByteArray labelValue(const QString &value);

// The media type of the page.
constexpr char MetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";
