#include "calibration/calibrationwidget.h"
#include "ui_calibrationwidget.h"

#include "app/chooserstart.h"
#include "app/numbers.h"
#include "app/windowfit.h"

#include <QCoreApplication>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace {

// The editors accept exactly what the C-locale conversion reads back: "." as decimal point,
// an exponent, no group separators. A default-locale validator would let "1,5" through on a
// decimal-comma desktop, which then reads as 0 and would go to the unit as a zero calibration.
QDoubleValidator *numberValidator(QObject *owner)
{
    auto *validator = new QDoubleValidator(owner);
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    validator->setLocale(c);
    return validator;
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
    ui->setupUi(this);
    if (const QString example = exampleCurvePath(); !example.isEmpty())
        ui->leFileName->setText(example);
    ui->leGain->setValidator(numberValidator(this));

    for (int row = 0; row < ui->twTempTable->rowCount(); ++row) {
        for (int column = 0; column < 2; ++column) {
            auto *editor = new QLineEdit(this);
            editor->setFrame(false);
            editor->setValidator(numberValidator(this));
            ui->twTempTable->setCellWidget(row, column, editor);
        }
    }

    // Enough of the table to see the curve's shape, whatever the font and scale.
    constexpr int shownRows = 10;
    resize(windowFitting(this, {{ui->twTempTable, tableShowing(ui->twTempTable, shownRows)}}));
}

calibrationWidget::~calibrationWidget()
{
    delete ui;
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
    return parseReal(ui->leGain->text());
}

void calibrationWidget::setGain(float value)
{
    ui->leGain->setText(formatReal(value));
}

TempTableRow calibrationWidget::tableRow(int row)
{
    return {parseReal(cellEditor(row, 0)->text()), parseReal(cellEditor(row, 1)->text())};
}

void calibrationWidget::setTableRow(int row, float resistance, float temperature)
{
    cellEditor(row, 0)->setText(formatReal(resistance));
    cellEditor(row, 1)->setText(formatReal(temperature));
}

QString calibrationWidget::fileName()
{
    return ui->leFileName->text();
}

QLineEdit *calibrationWidget::cellEditor(int row, int column) const
{
    return static_cast<QLineEdit *>(ui->twTempTable->cellWidget(row, column));
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
        this, tr("OPen file..."), start, tr("Curve files (*.340 *.txt *.dat);;All files (*)"));
    if (!path.isEmpty())
        ui->leFileName->setText(path);
}

void calibrationWidget::on_pbLoadFromFile_clicked()
{
    emit loadTempTable(this);
}
