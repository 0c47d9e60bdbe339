#include "windows/calibrationwidget.h"
#include "ui_calibrationwidget.h"

#include "text/numbers.h"
#include "windows/chooserstart.h"
#include "windows/pointsdialog.h"
#include "windows/standarddialog.h"
#include "windows/windowfit.h"

#include <QCoreApplication>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

#include <limits>

namespace {

// The editors hold exactly what the C-locale conversion reads back: "." as decimal point, an
// exponent, no group separators. A comma is taken for what the operator meant by it on this
// desktop: the decimal point where the locale writes decimals with a comma (so "1,5" is 1.5, not
// 15), a group separator to leave out elsewhere.
class NumberValidator : public QDoubleValidator
{
public:
    explicit NumberValidator(QObject *owner)
        : QDoubleValidator(owner)
    {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        setLocale(c);
    }

    State validate(QString &input, int &pos) const override
    {
        const bool commaIsDecimal = QLocale().decimalPoint() == QLatin1Char(',');
        pos = withDecimalPoint(input.left(pos), commaIsDecimal).size();
        input = withDecimalPoint(input, commaIsDecimal);
        return QDoubleValidator::validate(input, pos);
    }
};

QDoubleValidator *numberValidator(QObject *owner)
{
    return new NumberValidator(owner);
}

// "is empty" or "is not a number" for a field that does not hold a whole number, else nothing.
QString fieldProblem(const QString &text, float &value)
{
    if (text.trimmed().isEmpty())
        return QCoreApplication::translate("calibrationWidget", "is empty");
    if (!readReal(text, value))
        return QCoreApplication::translate("calibrationWidget", "is not a number");
    return QString();
}

// The platinum curve that comes with the tool, beside the program as installed or as built.
QString exampleCurvePath()
{
    const QFileInfo example(QCoreApplication::applicationDirPath()
                            + QLatin1String("/../share/quadmeter/curves/PT-100.340"));
    return example.isFile() ? example.canonicalFilePath() : QString();
}

} // namespace

calibrationWidget::calibrationWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::calibrationWidget)
{
    // Only a page in a window waits to be shown or used.
    if (!parent)
        makeForm();
}

// The window holds four pages behind its first, and their fields cost more to make than all it
// shows first; so a page makes them when first shown or used.
void calibrationWidget::makeForm()
{
    if (formMade)
        return;
    formMade = true;
    // The form's own size is for a page on its own; one the window placed keeps its place.
    const QRect placed = geometry();
    ui->setupUi(this);
    if (!isWindow())
        setGeometry(placed);
    if (const QString example = exampleCurvePath(); !example.isEmpty())
        ui->leFileName->setText(example);
    ui->leGain->setValidator(numberValidator(this));
    followTyping(ui->leGain);
    // Fields made while the page is on screen are not shown with it.
    if (isVisible()) {
        for (QWidget *field : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            field->show();
    }
}

void calibrationWidget::setVisible(bool visible)
{
    if (visible)
        makeForm();
    QWidget::setVisible(visible);
}

calibrationWidget::~calibrationWidget()
{
    delete ui;
}

void calibrationWidget::followTyping(QLineEdit *field)
{
    // What the operator types replaces the exact value the tool put there.
    connect(field, &QLineEdit::textEdited, this, [this, field] { exact.remove(field); });
}

// The table's rows and their two hundred editors cost the window more to make and to lay out
// than all else behind its first page, four pages over; so they are made when the page is first
// shown, filled or read, the rows alone when the window asks for the page's size.
void calibrationWidget::makeRows()
{
    makeForm();
    if (ui->twTempTable->rowCount() != TableRows)
        ui->twTempTable->setRowCount(TableRows);
}

void calibrationWidget::makeCellEditors()
{
    if (cellEditorsMade)
        return;
    cellEditorsMade = true;
    makeRows();
    QDoubleValidator *number = numberValidator(this);
    for (int row = 0; row < ui->twTempTable->rowCount(); ++row) {
        for (int column = 0; column < 2; ++column) {
            auto *editor = new QLineEdit(this);
            editor->setFrame(false);
            editor->setValidator(number);
            followTyping(editor);
            ui->twTempTable->setCellWidget(row, column, editor);
            // The chart follows a row once its edit is done, not at every key.
            connect(editor, &QLineEdit::editingFinished, this, &calibrationWidget::redrawChart);
        }
    }
}

QSize calibrationWidget::fitTable()
{
    // Enough of the table to see the curve's shape, whatever the font and scale.
    constexpr int shownRows = 10;
    tableFitted = true;
    makeRows();
    return tableShowing(ui->twTempTable, shownRows);
}

void calibrationWidget::fitToTable()
{
    const QSize table = fitTable(); // makes the table first
    resize(windowFitting(this, {{ui->twTempTable, table}}));
}

void calibrationWidget::showEvent(QShowEvent *event)
{
    makeForm();
    makeCellEditors();
    // The table's headers get their room here unless the window already asked for it. A page
    // in the window takes the window's size; only a page on its own opens at its table's.
    if (!tableFitted) {
        if (isWindow())
            fitToTable();
        else
            fitTable();
    }
    QWidget::showEvent(event);
}

int calibrationWidget::channel()
{
    return channelIndex;
}

void calibrationWidget::setChannel(int index)
{
    channelIndex = index;
}

float calibrationWidget::gain()
{
    makeForm();
    return value(ui->leGain);
}

void calibrationWidget::setGain(float value)
{
    makeForm();
    showExact(ui->leGain, value);
}

TempTableRow calibrationWidget::tableRow(int row)
{
    return {value(cellEditor(row, 0)), value(cellEditor(row, 1))};
}

void calibrationWidget::setTableRow(int row, float resistance, float temperature)
{
    showExact(cellEditor(row, 0), resistance);
    showExact(cellEditor(row, 1), temperature);
}

QString calibrationWidget::fileName()
{
    makeForm();
    return ui->leFileName->text();
}

std::optional<Calibration> calibrationWidget::calibration(QString &problem) const
{
    const_cast<calibrationWidget *>(this)->makeForm();
    // A field the tool filled holds its exact value; one the operator typed must hold a number.
    const auto fieldProblem = [this](const QLineEdit *field, float &value) {
        if (const std::optional<float> kept = exactValue(field)) {
            value = *kept;
            return QString();
        }
        return ::fieldProblem(field->text(), value);
    };
    Calibration page;
    if (const QString why = fieldProblem(ui->leGain, page.gain); !why.isEmpty()) {
        problem = tr("the gain %1").arg(why);
        return std::nullopt;
    }
    page.rows.resize(TableRows);
    for (int row = 0; row < TableRows; ++row) {
        for (int column = 0; column < 2; ++column) {
            TableEntry &entry = page.rows[row];
            float &value = column == 0 ? entry.resistance : entry.temperature;
            const QString why = fieldProblem(cellEditor(row, column), value);
            if (!why.isEmpty()) {
                problem = tr("row %1, %2, %3")
                              .arg(QString::number(row + 1),
                                   ui->twTempTable->horizontalHeaderItem(column)->text(), why);
                return std::nullopt;
            }
        }
    }
    return page;
}

void calibrationWidget::showCalibration(const Calibration &calibration)
{
    makeForm();
    standardSource.reset();
    setGain(calibration.gain);
    for (int row = 0; row < calibration.rows.size(); ++row)
        setTableRow(row, calibration.rows.at(row).resistance, calibration.rows.at(row).temperature);
    ui->chTable->setCurve({});
    redrawChart();
}

void calibrationWidget::showBackup(const QString &path)
{
    makeForm();
    ui->pbSetData->setToolTip(
        tr("Before this run first changed the unit's calibration, all four channels were backed "
           "up to %1")
            .arg(path));
}

void calibrationWidget::showCurveTable(const QVector<TableEntry> &rows,
                                       const QVector<CurvePoint> &curve)
{
    makeForm();
    standardSource.reset();
    for (int row = 0; row < rows.size(); ++row)
        setTableRow(row, rows.at(row).resistance, rows.at(row).temperature);
    ui->chTable->setCurve(curve);
    redrawChart();
}

QVector<TableEntry> calibrationWidget::shownRows() const
{
    constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
    QVector<TableEntry> rows(TableRows);
    for (int row = 0; row < TableRows; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QLineEdit *cell = cellEditor(row, column);
            float value = notANumber;
            if (const std::optional<float> kept = exactValue(cell))
                value = *kept;
            else if (!readReal(cell->text(), value))
                value = notANumber;
            (column == 0 ? rows[row].resistance : rows[row].temperature) = value;
        }
    }
    return rows;
}

void calibrationWidget::redrawChart()
{
    ui->chTable->showRows(shownRows());
}

QLineEdit *calibrationWidget::cellEditor(int row, int column) const
{
    // Reading a page not shown yet makes its editors as showing it would; they start empty.
    const_cast<calibrationWidget *>(this)->makeCellEditors();
    return static_cast<QLineEdit *>(ui->twTempTable->cellWidget(row, column));
}

void calibrationWidget::showExact(QLineEdit *field, float value)
{
    field->setText(formatReal(value));
    exact.insert(field, {value, field->text()});
}

std::optional<float> calibrationWidget::exactValue(const QLineEdit *field) const
{
    // Text set some other way than by the operator's typing is no longer the value kept.
    const auto kept = exact.constFind(field);
    if (kept == exact.cend() || kept->shown != field->text())
        return std::nullopt;
    return kept->value;
}

float calibrationWidget::value(const QLineEdit *field) const
{
    return exactValue(field).value_or(parseReal(field->text()));
}

void calibrationWidget::on_pbSetData_clicked()
{
    emit setEepromData(this);
}

void calibrationWidget::on_pbGetData_clicked()
{
    emit getEepromData(this);
}

void calibrationWidget::on_pbWriteEeprom_clicked()
{
    emit writeEeprom(this);
}

void calibrationWidget::on_tbLoadTable_clicked()
{
    QString start = chooserStart(ui->leFileName->text());
    if (start.isEmpty())
        start = chooserStart(exampleCurvePath());
    const QString path = QFileDialog::getOpenFileName(
        this, tr("OPen file..."), start,
        tr("Curves and calibrations (*.340 *.txt *.dat *.tsv);;Curve files (*.340 *.txt *.dat);;"
           "Calibration files and backups (*.tsv *.txt);;All files (*)"));
    if (!path.isEmpty())
        ui->leFileName->setText(path);
}

void calibrationWidget::on_pbLoadFromFile_clicked()
{
    emit loadTempTable(this);
}

void calibrationWidget::on_pbStandard_clicked()
{
    StandardDialog chooser(this);
    if (chooser.exec() != QDialog::Accepted)
        return;
    showCurveTable(chooser.rows(), {});
    standardSource = StandardSource {chooser.coefficients(), chooser.low(), chooser.high()};
}

void calibrationWidget::on_pbPoints_clicked()
{
    PointsDialog dialog(this);
    pointsDialog = &dialog;
    dialog.showPoints(points);
    connect(&dialog, &PointsDialog::takePoint, this,
            [this](double kelvin) { emit takePoint(this, kelvin); });
    connect(&dialog, &PointsDialog::removePoint, this, [this, &dialog](int index) {
        points.remove(index);
        dialog.showPoints(points);
    });
    connect(&dialog, &PointsDialog::correctTable, this, &calibrationWidget::correctThroughPoints);
    dialog.exec();
}

void calibrationWidget::pointTaken(const Result<FixedPoint> &point)
{
    if (point)
        points.append(*point);
    if (!pointsDialog)
        return;
    pointsDialog->showPoints(points);
    pointsDialog->showStatus(point ? QString() : tr("No point was taken: %1.").arg(point.error()));
}

void calibrationWidget::correctThroughPoints()
{
    const QVector<TableEntry> source = shownRows();
    const Result<Correction> corrected = standardSource
        ? correctPlatinum(standardSource->pt, standardSource->low, standardSource->high, points)
        : correctTable(source, points);
    QWidget *asking = pointsDialog ? static_cast<QWidget *>(pointsDialog) : this;
    if (!corrected) {
        QMessageBox::warning(
            asking, tr("Correct table"),
            tr("The table cannot be corrected through the points: %1.").arg(corrected.error()));
        return;
    }
    const Correction &correction = *corrected;
    if (QMessageBox::question(asking, tr("Correct table"),
                              correctionSummary(correction)
                                  + tr("\nPut the corrected table on the page? \"Set Data\" then "
                                       "sends it."))
        != QMessageBox::Yes)
        return;
    // The table before is drawn as points over the corrected rows' line.
    QVector<CurvePoint> before;
    for (const TableEntry &row : correction.source)
        before.append({row.resistance, row.temperature});
    const std::optional<StandardSource> standard = standardSource;
    showCurveTable(correction.rows, before);
    standardSource = standard;
}
