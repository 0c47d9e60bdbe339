#include "logging/logchart.h"
#include "logging/chartseries.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QPixmap>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QValueAxis>

#include <cmath>
#include <limits>

QT_CHARTS_USE_NAMESPACE

namespace {

// A channel keeps its colour in every chart, so the eye can follow it from volts to kelvin.
const QColor channelColours[LogChannelCount] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                                QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28)};

QString quantityTitle(int quantity)
{
    switch (quantity) {
    case LogVoltage:
        return LogChart::tr("Voltage (V)");
    case LogResistance:
        return LogChart::tr("Resistance (Ω)");
    default:
        return LogChart::tr("Temperature (K)");
    }
}

constexpr int PlotHeight = 150;

} // namespace

struct LogChart::Plot
{
    struct Line
    {
        int channel;
        QLineSeries *series;
        ThinnedSeries points;
    };

    int quantity;
    QChartView *view;
    QDateTimeAxis *time;
    QValueAxis *values;
    std::vector<Line> lines;
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
};

LogChart::LogChart(QWidget *parent)
    : QWidget(parent)
    , stack(new QVBoxLayout(this))
{
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    startRun(allLogEnables());
}

LogChart::~LogChart() = default;

QSize LogChart::sizeHint() const
{
    return QSize(520, PlotHeight * LogQuantityCount);
}

void LogChart::startRun(const LogEnables &enabled)
{
    for (const auto &plot : plots)
        delete plot->view;
    plots.clear();
    hasRows = false;

    for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
        auto plot = std::make_unique<Plot>();
        plot->quantity = quantity;
        for (int channel = 0; channel < LogChannelCount; ++channel) {
            if (!enabled[channel][quantity])
                continue;
            auto *series = new QLineSeries;
            series->setName(logColumnName(channel, quantity));
            series->setColor(channelColours[channel]);
            plot->lines.push_back({channel, series, ThinnedSeries()});
        }
        if (plot->lines.empty())
            continue;

        auto *chart = new QChart;
        chart->setMargins(QMargins(2, 2, 2, 2));
        chart->setBackgroundRoundness(0);
        chart->legend()->setAlignment(Qt::AlignRight);
        plot->time = new QDateTimeAxis;
        plot->time->setFormat(QStringLiteral("hh:mm:ss"));
        plot->time->setTickCount(5);
        plot->values = new QValueAxis;
        plot->values->setTitleText(quantityTitle(quantity));
        plot->values->setLabelFormat(QStringLiteral("%.6g"));
        chart->addAxis(plot->time, Qt::AlignBottom);
        chart->addAxis(plot->values, Qt::AlignLeft);
        for (auto &line : plot->lines) {
            chart->addSeries(line.series);
            line.series->attachAxis(plot->time);
            line.series->attachAxis(plot->values);
        }
        plot->view = new QChartView(chart, this);
        plot->view->setMinimumHeight(PlotHeight * 2 / 3);
        stack->addWidget(plot->view);
        plots.push_back(std::move(plot));
    }
    // One time axis for the stack: only the lowest chart labels it.
    for (const auto &plot : plots)
        plot->time->setLabelsVisible(plot == plots.back());
}

void LogChart::addRow(const QDateTime &time, const ChannelData *records)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    if (!hasRows)
        firstRowMs = ms;
    hasRows = true;
    // The first row alone still gets a second of time to stand in.
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(firstRowMs);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(std::max(ms, firstRowMs + 1000));

    for (const auto &plot : plots) {
        bool valuesGrew = false;
        for (auto &line : plot->lines) {
            const double value = logValue(records[line.channel], plot->quantity);
            // A value that is not a number is in the file but has no place on a chart.
            if (!std::isfinite(value))
                continue;
            line.points.append(QPointF(double(ms), value));
            line.series->replace(line.points.points());
            if (value < plot->low || value > plot->high) {
                plot->low = std::min(plot->low, value);
                plot->high = std::max(plot->high, value);
                valuesGrew = true;
            }
        }
        plot->time->setRange(from, to);
        if (valuesGrew) {
            const double span = plot->high - plot->low;
            const double margin
                = span > 0 ? span * 0.05 : std::max(std::abs(plot->high) * 0.05, 1e-3);
            plot->values->setRange(plot->low - margin, plot->high + margin);
        }
    }
}

QString LogChart::saveImage(const QString &fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (!grab().save(&file, "PNG")) {
        const QString error = file.error() != QFileDevice::NoError
            ? file.errorString()
            : tr("the picture could not be made");
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}
