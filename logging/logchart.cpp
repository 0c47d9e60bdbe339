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

// Qt 5 keeps the chart classes in a namespace of their own; Qt 6 does not.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_USE_NAMESPACE
#endif

namespace {

// A channel keeps its colour in every chart, so the eye can follow it from volts to kelvin.
const QColor channelColours[LogChannelCount] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                                QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28)};

// The unit alone: the legend names the quantity, and a short chart has no height for more.
QString unitOf(int quantity)
{
    switch (quantity) {
    case LogVoltage:
        return LogChart::tr("V");
    case LogResistance:
        return LogChart::tr("Ω");
    default:
        return LogChart::tr("K");
    }
}

constexpr int PlotHeight = 160;

struct ValueScale
{
    double from, to;
    int ticks;
};

// Round labels at a step of 1, 2 or 5 times a power of ten, few enough for a short chart.
ValueScale valueScale(double low, double high)
{
    double span = high - low;
    if (span <= 0)
        span = low != 0 ? std::abs(low) * 0.1 : 1.0;
    const double rough = span / 2;
    const double decade = std::pow(10.0, std::floor(std::log10(rough)));
    double step = decade * 5;
    for (const double factor : {1.0, 2.0}) {
        if (decade * factor >= rough) {
            step = decade * factor;
            break;
        }
    }
    double from = std::floor(low / step) * step;
    double to = std::ceil(high / step) * step;
    if (to - from < step) {
        from -= step;
        to += step;
    }
    return {from, to, int(std::lround((to - from) / step)) + 1};
}
constexpr int ChartMargin = 2;

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
    return QSize(600, PlotHeight * LogQuantityCount);
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
        chart->setMargins(QMargins(ChartMargin, ChartMargin, ChartMargin, ChartMargin));
        chart->setBackgroundRoundness(0);
        chart->legend()->setAlignment(Qt::AlignRight);
        // The legend and the axis titles are read once; the lines get the room.
        QFont small = chart->legend()->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        chart->legend()->setFont(small);
        plot->time = new QDateTimeAxis;
        plot->time->setFormat(QStringLiteral("hh:mm:ss"));
        plot->time->setTickCount(5);
        plot->values = new QValueAxis;
        plot->values->setTitleText(unitOf(quantity));
        plot->values->setTitleFont(small);
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
        stack->addWidget(plot->view, 1);
        plots.push_back(std::move(plot));
    }
    // One time axis for the stack: only the lowest chart labels it.
    for (const auto &plot : plots)
        plot->time->setLabelsVisible(plot == plots.back());
    queueAlignment();
}

void LogChart::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    queueAlignment();
}

// After the charts have laid themselves out anew; never from their own layout signals, so that a
// margin set here cannot start the next alignment.
void LogChart::queueAlignment()
{
    if (alignmentQueued)
        return;
    alignmentQueued = true;
    QMetaObject::invokeMethod(this, &LogChart::alignPlotAreas, Qt::QueuedConnection);
}

void LogChart::addRow(const QDateTime &time, const ChannelData *records)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    if (!hasRows) {
        firstRowMs = ms;
        timeEndMs = ms;
    }
    hasRows = true;
    // The time axis runs a quarter of the run ahead, so that it moves (and every line with it is
    // laid out anew) only now and then, not at every row.
    const bool timeGrew = ms >= timeEndMs;
    if (timeGrew)
        timeEndMs = ms + std::max<qint64>((ms - firstRowMs) / 4, 1000);

    for (const auto &plot : plots) {
        bool valuesGrew = false;
        for (auto &line : plot->lines) {
            const double value = logValue(records[line.channel], plot->quantity);
            // A value that is not a number is in the file but has no place on a chart.
            if (!std::isfinite(value))
                continue;
            if (line.points.append(QPointF(double(ms), value)))
                line.series->replace(line.points.points());
            if (value < plot->low || value > plot->high) {
                plot->low = std::min(plot->low, value);
                plot->high = std::max(plot->high, value);
                valuesGrew = true;
            }
        }
        if (timeGrew) {
            plot->time->setRange(QDateTime::fromMSecsSinceEpoch(firstRowMs),
                                 QDateTime::fromMSecsSinceEpoch(timeEndMs));
        }
        const ValueScale scale = valueScale(plot->low, plot->high);
        if (valuesGrew && (scale.from != plot->values->min() || scale.to != plot->values->max())) {
            plot->values->setRange(scale.from, scale.to);
            plot->values->setTickCount(scale.ticks);
            queueAlignment();
        }
    }
}

// The value labels and the legend of each chart take their own width; widening the narrower
// charts' margins puts the plot areas, and with them the moments of the shared time axis, one
// above the other.
void LogChart::alignPlotAreas()
{
    alignmentQueued = false;
    qreal widestLeft = 0;
    qreal widestRight = 0;
    auto ownLeft = [](const QChart *chart) {
        return chart->plotArea().left() - chart->margins().left();
    };
    auto ownRight = [](const QChart *chart) {
        return chart->size().width() - chart->plotArea().right() - chart->margins().right();
    };
    for (const auto &plot : plots) {
        widestLeft = std::max(widestLeft, ownLeft(plot->view->chart()));
        widestRight = std::max(widestRight, ownRight(plot->view->chart()));
    }
    for (const auto &plot : plots) {
        QChart *chart = plot->view->chart();
        QMargins margins = chart->margins();
        margins.setLeft(ChartMargin + qRound(widestLeft - ownLeft(chart)));
        margins.setRight(ChartMargin + qRound(widestRight - ownRight(chart)));
        if (margins != chart->margins())
            chart->setMargins(margins);
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
