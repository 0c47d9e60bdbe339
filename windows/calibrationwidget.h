#pragma once

// One channel's calibration page: the gain and the 100-row resistance-to-temperature table as
// editable text, and the path of a curve file. The main window does the work behind its buttons.
//
// The text shows six significant digits, but a value the tool put in a field (setGain,
// setTableRow, showCalibration) is kept exactly behind it until the operator edits that field:
// gain(), tableRow() and calibration() give that exact float, and a field's typed value only
// once its text was edited. So a calibration shown and sent back unedited is the very same.
#include "calibration/curvefile.h"
#include "calibration/fixedpoints.h"
#include "values/unitvalues.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <optional>

class PointsDialog;
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
    // Makes the page's fields now; a page otherwise makes them when first shown or used.
    void makeForm();
    void setVisible(bool visible) override;
    // Sizes the page to show enough of its table, every column whole, and fits the table's
    // columns and rows to their headers; done when the page is first shown unless done before.
    void fitToTable();

    // The page as the unit would get it, when the gain and all 200 cells hold whole numbers.
    // Otherwise nothing, and `problem` names the first field that does not, as in
    // "row 17, Temperature (K), is not a number".
    std::optional<Calibration> calibration(QString &problem) const;
    // Shows a whole calibration: the gain and all rows.
    void showCalibration(const Calibration &calibration);
    // Shows the 100 rows made from a curve file, and the file's points beside them on the chart.
    // Tells, on "Set Data", where the unit's calibration went before this run first changed it.
    void showBackup(const QString &path);
    void showCurveTable(const QVector<TableEntry> &rows, const QVector<CurvePoint> &curve);
    // A point taken for this page's channel joins its points; a refusal is shown with them.
    void pointTaken(const Result<FixedPoint> &point);

signals:
    void getEepromData(QWidget *widget);
    void setEepromData(QWidget *widget);
    void writeEeprom(QWidget *widget);
    void loadTempTable(QWidget *widget);
    // "Take point" in the page's points: the channel's resistance at `kelvin`, for pointTaken().
    void takePoint(QWidget *widget, double kelvin);

private slots:
    void on_pbSetData_clicked();
    void on_pbGetData_clicked();
    void on_pbWriteEeprom_clicked();
    void on_tbLoadTable_clicked();
    void on_pbLoadFromFile_clicked();
    // Fills the rows from the standard platinum table the operator chooses; the gain stays.
    void on_pbStandard_clicked();
    void on_pbPoints_clicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void followTyping(QLineEdit *field);
    void makeRows();
    void makeCellEditors();
    // Fits the table's columns and rows to their headers; the size that shows enough of it.
    QSize fitTable();
    QLineEdit *cellEditor(int row, int column) const;
    void showExact(QLineEdit *field, float value);
    // The exact value behind a field the operator has not edited since the tool filled it.
    std::optional<float> exactValue(const QLineEdit *field) const;
    float value(const QLineEdit *field) const;
    // The rows as the page holds them; a cell that holds no number reads as not a number.
    QVector<TableEntry> shownRows() const;
    void redrawChart();
    // The page's table corrected through its points, once the operator saw what it does.
    void correctThroughPoints();

    Ui::calibrationWidget *ui;
    // The channel index 0-3; a data member cannot share the accessor's name in C++.
    int channelIndex = 0;
    bool formMade = false;
    bool cellEditorsMade = false;
    bool tableFitted = false;
    struct Exact
    {
        float value;
        QString shown; // the text it was shown as
    };
    QHash<const QLineEdit *, Exact> exact;
    // The points taken for this channel in this run, and their dialog while it is open.
    QVector<FixedPoint> points;
    QPointer<PointsDialog> pointsDialog;
    // The standard platinum table the rows came from, which a correction then refits; nothing
    // when they came from elsewhere.
    struct StandardSource
    {
        PlatinumCoefficients pt;
        double low, high;
    };
    std::optional<StandardSource> standardSource;
};
