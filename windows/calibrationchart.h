#pragma once

// A channel's table drawn as the curve it is: temperature against resistance, the first row that
// breaks the order marked, and after a curve file was loaded the file's own points beside the
// rows, with how far the rows stray from them stated underneath. It can be folded away.
#include "calibration/curvefile.h"
#include "values/calibration.h"

#include <QWidget>

class QLabel;
class QToolButton;

class CalibrationChart : public QWidget
{
    Q_OBJECT

public:
    explicit CalibrationChart(QWidget *parent = nullptr);
    ~CalibrationChart() override;

    // Draws the table; a row holding a value that is not finite is left out. The curve points
    // given last stay beside it.
    void showRows(const QVector<TableEntry> &rows);
    // The points of the curve file the table was made from; none after a table from the unit.
    void setCurve(const QVector<CurvePoint> &points);

    // The line under the chart: the row out of order, the largest difference from the curve.
    QString note() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void makePlot();
    void redraw();
    void fold(bool shown);

    struct Plot;
    Plot *plot;
    QToolButton *folder;
    QLabel *noteLabel;
    QVector<TableEntry> rows;
    QVector<CurvePoint> curve;
};
