#pragma once

// The chooser of a standard platinum table for a calibration page: the sensor, its resistance at
// 0 °C, the equation's coefficients and the span of the table. It computes nothing itself; the
// table is the standard table's, and a refusal is shown in the dialog until the fields make sense.
#include "calibration/standardtable.h"

#include <QDialog>

namespace Ui {
class StandardDialog;
}

class StandardDialog : public QDialog
{
    Q_OBJECT

public:
    explicit StandardDialog(QWidget *parent = nullptr);
    ~StandardDialog() override;

    // The 100 rows chosen, once accepted.
    QVector<TableEntry> rows() const { return chosen; }
    PlatinumCoefficients coefficients() const { return pt; }
    double low() const { return from; }
    double high() const { return to; }

public slots:
    void accept() override;

private:
    Ui::StandardDialog *ui;
    QVector<TableEntry> chosen;
    PlatinumCoefficients pt;
    double from = 0;
    double to = 0;
};
