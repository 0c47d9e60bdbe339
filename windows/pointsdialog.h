#pragma once

// A calibration page's points: the temperatures its channel was measured at, "Take point" for
// another, removing one, and "Correct table" through them. The page keeps the points and does
// the work; this only shows them and asks.
#include "calibration/fixedpoints.h"

#include <QDialog>

namespace Ui {
class PointsDialog;
}

class PointsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PointsDialog(QWidget *parent = nullptr);
    ~PointsDialog() override;

    void showPoints(const QVector<FixedPoint> &points);
    void showStatus(const QString &text);

signals:
    void takePoint(double kelvin);
    void removePoint(int index);
    void correctTable();

private:
    void take();

    Ui::PointsDialog *ui;
};
