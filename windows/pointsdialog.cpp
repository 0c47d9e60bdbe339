#include "windows/pointsdialog.h"

#include "ui_pointsdialog.h"

PointsDialog::PointsDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::PointsDialog)
{
    ui->setupUi(this);
    for (const FixedPointPreset &preset : fixedPointPresets())
        ui->cbAt->addItem(
            tr("%1 (%2 K, %3)")
                .arg(QLatin1String(preset.name), QString::number(preset.kelvin), tr(preset.what)));
    ui->cbAt->setCurrentIndex(1);
    connect(ui->pbTake, &QPushButton::clicked, this, &PointsDialog::take);
    connect(ui->pbRemove, &QPushButton::clicked, this, [this] {
        if (ui->lwPoints->currentRow() >= 0)
            emit removePoint(ui->lwPoints->currentRow());
    });
    connect(ui->pbCorrect, &QPushButton::clicked, this, &PointsDialog::correctTable);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &PointsDialog::reject);
}

PointsDialog::~PointsDialog()
{
    delete ui;
}

void PointsDialog::showPoints(const QVector<FixedPoint> &points)
{
    ui->lwPoints->clear();
    for (const FixedPoint &p : points)
        ui->lwPoints->addItem(
            tr("%1 K: %2 ohms, spread %3 ohms over %4 readings, %5")
                .arg(QString::number(p.kelvin, 'g', 9), QString::number(p.ohms, 'g', 9),
                     QString::number(p.spread, 'g', 3), QString::number(p.readings),
                     p.time.toLocalTime().toString(Qt::ISODate)));
}

void PointsDialog::showStatus(const QString &text)
{
    ui->lStatus->setText(text);
}

void PointsDialog::take()
{
    // A preset is chosen by its name, the first word of its entry; anything else is kelvin.
    const QString typed = ui->cbAt->currentText().section(' ', 0, 0);
    const std::optional<double> kelvin = fixedPointKelvin(typed);
    if (!kelvin) {
        showStatus(tr("No point: \"%1\" is no temperature in kelvin and no fixed point's name.")
                       .arg(ui->cbAt->currentText()));
        return;
    }
    emit takePoint(*kelvin);
}
