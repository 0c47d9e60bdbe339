#pragma once

// One channel's calibration page: the gain and the 100-row resistance-to-temperature table as
// editable text, and the path of a curve file. The main window does the work behind its buttons.
#include "unit/unitvalues.h"

#include <QWidget>

#include <optional>

class QLineEdit;

namespace Ui {
class calibrationWidget;
}

struct TempTableRow
{
    float resistance; // ohms
    float temperature; // kelvin
};

class calibrationWidget : public QWidget
{
    Q_OBJECT

public:
    explicit calibrationWidget(QWidget *parent = nullptr);
    ~calibrationWidget() override;

    int channel();
    void setChannel(int index);
    float gain();
    void setGain(float value);
    TempTableRow tableRow(int row);
    void setTableRow(int row, float resistance, float temperature);
    QString fileName();

    // The page as the unit would get it, when the gain and all 200 cells hold whole numbers.
    // Otherwise nothing, and `problem` names the first field that does not, as in
    // "row 17, Temperature (K), is not a number".
    std::optional<Calibration> calibration(QString &problem) const;
    // Shows a whole calibration: the gain and all rows.
    void showCalibration(const Calibration &calibration);

signals:
    void getEepromData(QWidget *widget);
    void setEepromData(QWidget *widget);
    void writeEeprom(QWidget *widget);
    void loadTempTable(QWidget *widget);

private slots:
    void on_pbSetData_clicked();
    void on_pbGetData_clicked();
    void on_pbWriteEeprom_clicked();
    void on_tbLoadTable_clicked();
    void on_pbLoadFromFile_clicked();

private:
    QLineEdit *cellEditor(int row, int column) const;

    Ui::calibrationWidget *ui;
    // The channel index 0-3; a data member cannot share the accessor's name in C++.
    int channelIndex = 0;
};
