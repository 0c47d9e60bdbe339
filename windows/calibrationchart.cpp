#include "windows/calibrationchart.h"
#include "calibration/tableshape.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

// Qt 5 keeps the chart classes in a namespace of their own; Qt 6 does not.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_USE_NAMESPACE
#endif

namespace {

constexpr int ChartHeight = 170;
// A curve file may hold a million points; drawn, a few thousand look the same and stay quick.
constexpr int MostCurvePointsDrawn = 2000;

struct Range
{
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void take(double value)
    {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    bool empty() const { return !(low <= high); }
};

// A little air around the points, so the first and last rows are not drawn on the frame.
void setPadded(QValueAxis *axis, const Range &range)
{
    if (range.empty())
        return;
    double pad = (range.high - range.low) * 0.05;
    if (pad == 0)
        pad = range.low != 0 ? std::abs(range.low) * 0.05 : 1.0;
    axis->setRange(range.low - pad, range.high + pad);
}

// The axis over `range` with air around it, at round numbers. The round numbers are worked out
// on an axis of no chart, so that the chart lays itself out for the end result only and not for
// each step on the way there, nor at all when a table drawn again spans the same range.
void setNicePadded(QValueAxis *axis, const Range &range)
{
    QValueAxis rounding;
    rounding.setTickCount(axis->tickCount());
    rounding.setRange(axis->min(), axis->max());
    setPadded(&rounding, range);
    rounding.applyNiceNumbers();
    axis->setRange(rounding.min(), rounding.max());
    axis->setTickCount(rounding.tickCount());
}

} // namespace

struct CalibrationChart::Plot
{
    QChartView *view = nullptr; // until the chart is first needed
    QLineSeries *rows;
    QScatterSeries *curve;
    QScatterSeries *outOfOrder;
    QAbstractAxis *resistance = nullptr;
    QValueAxis *temperature;
    bool logarithmic = false;
};

CalibrationChart::CalibrationChart(QWidget *parent)
    : QWidget(parent)
    , plot(new Plot)
    , folder(new QToolButton(this))
    , noteLabel(new QLabel(this))
{
    folder->setText(tr("Chart"));
    folder->setCheckable(true);
    folder->setChecked(true);
    folder->setAutoRaise(true);
    folder->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    folder->setToolTip(tr("Show or hide the table drawn as a curve"));
    connect(folder, &QToolButton::toggled, this, &CalibrationChart::fold);
    fold(true);
    noteLabel->setObjectName(QStringLiteral("note"));
    noteLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long note is cut at the page's edge rather than widening the window; its tool tip has it.
    noteLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The table takes what height the window has to spare; the chart keeps its own.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

    auto *below = new QHBoxLayout;
    below->addWidget(folder);
    below->addWidget(noteLabel, 1);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addLayout(below);
}

// A chart costs the window more to make than the rest of its page, and the window has four of
// them behind its first page; so each is made when its page is first shown or given a table.
void CalibrationChart::makePlot()
{
    if (plot->view)
        return;
    auto *chart = new QChart;
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    chart->legend()->hide();
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);

    plot->rows = new QLineSeries;
    plot->rows->setObjectName(QStringLiteral("rows"));
    plot->rows->setPen(QPen(QColor(0x1f, 0x77, 0xb4), 1.5));
    plot->curve = new QScatterSeries;
    plot->curve->setObjectName(QStringLiteral("curve"));
    plot->curve->setMarkerSize(4);
    plot->curve->setColor(QColor(0xff, 0x7f, 0x0e));
    plot->curve->setBorderColor(QColor(0xff, 0x7f, 0x0e));
    plot->outOfOrder = new QScatterSeries;
    plot->outOfOrder->setObjectName(QStringLiteral("outOfOrder"));
    plot->outOfOrder->setMarkerSize(13);
    plot->outOfOrder->setColor(Qt::transparent);
    plot->outOfOrder->setBorderColor(Qt::red);
    plot->outOfOrder->setPen(QPen(Qt::red, 2));
    // The file's points over the rows' line, so that a row straying from them shows; the mark
    // over both.
    chart->addSeries(plot->rows);
    chart->addSeries(plot->curve);
    chart->addSeries(plot->outOfOrder);

    plot->temperature = new QValueAxis;
    // The unit alone: the table's headers name the quantities, and a short chart has no room.
    plot->temperature->setTitleText(tr("K"));
    plot->temperature->setTitleFont(small);
    plot->temperature->setLabelsFont(small);
    plot->temperature->setLabelFormat(QStringLiteral("%.4g"));
    chart->addAxis(plot->temperature, Qt::AlignLeft);
    for (QAbstractSeries *series : chart->series())
        series->attachAxis(plot->temperature);

    plot->view = new QChartView(chart, this);
    plot->view->setRenderHint(QPainter::Antialiasing);
    plot->view->setMinimumHeight(ChartHeight * 2 / 3);
    // Neither a view's own policy nor a stretch may claim a share of the page's spare height,
    // which belongs to the table.
    plot->view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, plot->view);
    plot->view->setVisible(folder->isChecked());
    redraw();
}

CalibrationChart::~CalibrationChart()
{
    delete plot;
}

void CalibrationChart::showRows(const QVector<TableEntry> &table)
{
    rows = table;
    if (plot->view)
        redraw();
    else
        makePlot();
}

void CalibrationChart::setCurve(const QVector<CurvePoint> &points)
{
    curve = points;
    if (plot->view)
        redraw();
    else
        makePlot();
}

QSize CalibrationChart::sizeHint() const
{
    const QSize below = layout()->itemAt(layout()->count() - 1)->sizeHint();
    return QSize(below.width(), (folder->isChecked() ? ChartHeight : 0) + below.height());
}

// The page asks for the room of its chart whether or not the chart was made yet.
QSize CalibrationChart::minimumSizeHint() const
{
    QSize least = QWidget::minimumSizeHint();
    if (!plot->view && folder->isChecked())
        least.rheight() += ChartHeight * 2 / 3;
    return least;
}

void CalibrationChart::showEvent(QShowEvent *event)
{
    makePlot();
    QWidget::showEvent(event);
}

QString CalibrationChart::note() const
{
    return noteLabel->text();
}

void CalibrationChart::fold(bool shown)
{
    folder->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    if (plot->view)
        plot->view->setVisible(shown);
    updateGeometry();
}

void CalibrationChart::redraw()
{
    QChart *chart = plot->view->chart();
    const bool logarithmic = needsLogResistanceAxis(rows);
    if (!plot->resistance || logarithmic != plot->logarithmic) {
        if (plot->resistance) {
            chart->removeAxis(plot->resistance);
            delete plot->resistance;
        }
        QAbstractAxis *axis;
        if (logarithmic) {
            auto *log = new QLogValueAxis;
            log->setLabelFormat(QStringLiteral("%g"));
            log->setMinorTickCount(-1);
            axis = log;
        } else {
            auto *linear = new QValueAxis;
            linear->setLabelFormat(QStringLiteral("%.4g"));
            axis = linear;
        }
        axis->setTitleText(tr("Ohm"));
        axis->setTitleFont(plot->temperature->titleFont());
        axis->setLabelsFont(plot->temperature->labelsFont());
        chart->addAxis(axis, Qt::AlignBottom);
        for (QAbstractSeries *series : chart->series())
            series->attachAxis(axis);
        plot->resistance = axis;
        plot->logarithmic = logarithmic;
    }

    Range resistance, temperature;
    QVector<QPointF> line;
    line.reserve(rows.size());
    for (const TableEntry &row : rows) {
        // A point a logarithmic axis cannot place would take the whole line with it.
        if (!std::isfinite(row.resistance) || !std::isfinite(row.temperature)
            || (logarithmic && row.resistance <= 0))
            continue;
        line.append(QPointF(row.resistance, row.temperature));
        resistance.take(row.resistance);
        temperature.take(row.temperature);
    }
    plot->rows->replace(line);

    QVector<QPointF> points;
    const int step = std::max(1, int(curve.size() / MostCurvePointsDrawn));
    for (int i = 0; i < curve.size(); i += step) {
        const CurvePoint &point = curve.at(i);
        if (!std::isfinite(point.resistance) || !std::isfinite(point.temperature)
            || (logarithmic && point.resistance <= 0))
            continue;
        points.append(QPointF(point.resistance, point.temperature));
        resistance.take(point.resistance);
        temperature.take(point.temperature);
    }
    plot->curve->replace(points);

    QStringList notes;
    const std::optional<int> wrong = firstRowOutOfOrder(rows);
    if (wrong) {
        const TableEntry &row = rows.at(*wrong);
        plot->outOfOrder->replace(QVector<QPointF> {QPointF(row.resistance, row.temperature)});
        notes.append(tr("Row %1 breaks the order (circled).").arg(*wrong + 1));
    } else {
        plot->outOfOrder->clear();
    }
    if (!curve.isEmpty()) {
        if (const std::optional<CurveDeviation> deviation = largestDeviation(rows, curve))
            notes.append(tr("Largest difference from the file: %1 K, at %2 Ohm.")
                             .arg(QString::number(deviation->kelvin, 'g', 3),
                                  QString::number(deviation->resistance, 'g', 4)));
    }
    noteLabel->setText(notes.join(QLatin1Char(' ')));
    noteLabel->setToolTip(noteLabel->text());

    setNicePadded(plot->temperature, temperature);
    if (logarithmic) {
        static_cast<QLogValueAxis *>(plot->resistance)
            ->setRange(resistance.low / 1.2, resistance.high * 1.2);
    } else {
        setNicePadded(static_cast<QValueAxis *>(plot->resistance), resistance);
    }
}
