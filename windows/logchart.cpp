#include "windows/logchart.h"
#include "logging/chartseries.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
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
const QColor channelColours[ChannelCount] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
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
        // One series per stretch between gaps; the first names the line in the legend.
        std::vector<QLineSeries *> stretches;
        ThinnedSeries points;
        int gaps = 0; // readings that were not finite
    };

    int quantity;
    QChartView *view;
    QDateTimeAxis *time;
    QAbstractAxis *values;
    bool logarithmic = false;
    std::vector<Line> lines;
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
};

LogChart::LogChart(QWidget *parent)
    : QWidget(parent)
    , stack(new QVBoxLayout(this))
    , note(new QLabel(this))
{
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    note->setObjectName(QStringLiteral("gapNote"));
    note->setWordWrap(true);
    stack->addWidget(note);
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
    note->hide();

    for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
        auto plot = std::make_unique<Plot>();
        plot->quantity = quantity;
        for (int channel = 0; channel < ChannelCount; ++channel) {
            if (!enabled[channel][quantity])
                continue;
            auto *series = new QLineSeries;
            series->setName(logColumnName(channel, quantity));
            series->setColor(channelColours[channel]);
            plot->lines.push_back({channel, {series}, ThinnedSeries()});
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
        auto *values = new QValueAxis;
        values->setLabelFormat(QStringLiteral("%.6g"));
        plot->values = values;
        plot->values->setTitleText(unitOf(quantity));
        plot->values->setTitleFont(small);
        chart->addAxis(plot->time, Qt::AlignBottom);
        chart->addAxis(plot->values, Qt::AlignLeft);
        for (auto &line : plot->lines) {
            chart->addSeries(line.stretches.front());
            line.stretches.front()->attachAxis(plot->time);
            line.stretches.front()->attachAxis(plot->values);
        }
        plot->view = new QChartView(chart, this);
        plot->view->setMinimumHeight(PlotHeight * 2 / 3);
        stack->insertWidget(stack->count() - 1, plot->view, 1);
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

namespace {

// Puts the line's stretches between its gaps on the chart, one series each; the stretches after
// the first keep out of the legend.
void showStretches(QChart *chart, std::vector<QLineSeries *> &stretches,
                   const QVector<QPointF> &points)
{
    const QVector<QVector<QPointF>> runs = lineRuns(points);
    QLineSeries *first = stretches.front();
    const size_t wanted = runs.isEmpty() ? 1 : size_t(runs.size());
    while (stretches.size() < wanted) {
        auto *more = new QLineSeries;
        more->setName(first->name());
        more->setColor(first->color());
        chart->addSeries(more);
        for (QAbstractAxis *axis : first->attachedAxes())
            more->attachAxis(axis);
        for (QLegendMarker *marker : chart->legend()->markers(more))
            marker->setVisible(false);
        stretches.push_back(more);
    }
    while (stretches.size() > wanted) {
        chart->removeSeries(stretches.back());
        delete stretches.back();
        stretches.pop_back();
    }
    for (size_t i = 0; i < stretches.size(); ++i) {
        const QVector<QPointF> run = i < size_t(runs.size()) ? runs.at(int(i)) : QVector<QPointF>();
        // A reading alone between two gaps has no line to be part of; its point shows it.
        stretches[i]->setPointsVisible(run.size() == 1);
        stretches[i]->replace(run);
    }
}

} // namespace

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
    bool newGap = false;

    for (const auto &plot : plots) {
        bool valuesGrew = false;
        for (auto &line : plot->lines) {
            const double value = logValue(records[line.channel], plot->quantity);
            // A value that is not a number is in the file; the line breaks there.
            if (!std::isfinite(value)) {
                newGap = newGap || line.gaps == 0;
                ++line.gaps;
            }
            if (line.points.append(QPointF(double(ms), value)))
                showStretches(plot->view->chart(), line.stretches, line.points.points());
            if (std::isfinite(value) && (value < plot->low || value > plot->high)) {
                plot->low = std::min(plot->low, value);
                plot->high = std::max(plot->high, value);
                valuesGrew = true;
            }
        }
        if (timeGrew) {
            plot->time->setRange(QDateTime::fromMSecsSinceEpoch(firstRowMs),
                                 QDateTime::fromMSecsSinceEpoch(timeEndMs));
            const TimeAxisLabels labels = timeAxisLabels(timeEndMs - firstRowMs, 5);
            plot->time->setTickCount(labels.ticks);
            plot->time->setFormat(labels.format);
        }
        if (valuesGrew)
            showValueRange(*plot);
    }
    if (newGap)
        showNote();
}

// A linear axis with round steps; past three decades a logarithmic one, so that a line far above
// the others does not press them flat against the axis.
void LogChart::showValueRange(Plot &plot)
{
    const bool logarithmic = wantsLogarithmicAxis(plot.low, plot.high);
    if (logarithmic != plot.logarithmic) {
        QChart *chart = plot.view->chart();
        QAbstractAxis *old = plot.values;
        QAbstractAxis *values;
        if (logarithmic) {
            auto *axis = new QLogValueAxis;
            axis->setLabelFormat(QStringLiteral("%g"));
            values = axis;
        } else {
            auto *axis = new QValueAxis;
            axis->setLabelFormat(QStringLiteral("%.6g"));
            values = axis;
        }
        values->setTitleText(old->titleText());
        values->setTitleFont(old->titleFont());
        chart->removeAxis(old);
        delete old;
        chart->addAxis(values, Qt::AlignLeft);
        for (const auto &line : plot.lines) {
            for (QLineSeries *stretch : line.stretches)
                stretch->attachAxis(values);
        }
        plot.values = values;
        plot.logarithmic = logarithmic;
    }
    if (plot.logarithmic) {
        // Labels at whole decades, or every few decades when there are many of them.
        const double lowDecade = std::floor(std::log10(plot.low));
        const double highDecade = std::ceil(std::log10(plot.high));
        const double step = std::max(1.0, std::ceil((highDecade - lowDecade) / 4));
        auto *axis = static_cast<QLogValueAxis *>(plot.values);
        axis->setBase(std::pow(10.0, step));
        axis->setRange(std::pow(10.0, std::floor(lowDecade / step) * step),
                       std::pow(10.0, std::ceil(highDecade / step) * step));
    } else {
        auto *axis = static_cast<QValueAxis *>(plot.values);
        const ValueScale scale = valueScale(plot.low, plot.high);
        if (scale.from == axis->min() && scale.to == axis->max())
            return;
        axis->setRange(scale.from, scale.to);
        axis->setTickCount(scale.ticks);
    }
    queueAlignment();
}

void LogChart::showNote()
{
    QStringList columns;
    for (const auto &plot : plots) {
        for (const auto &line : plot->lines) {
            if (line.gaps > 0)
                columns << logColumnName(line.channel, plot->quantity);
        }
    }
    note->setText(tr("Not a finite number, left as a gap in the line: %1.")
                      .arg(columns.join(QLatin1String(", "))));
    note->show();
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
