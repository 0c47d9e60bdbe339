#include "windows/standarddialog.h"

#include "text/numbers.h"

#include "ui_standarddialog.h"

#include <QLineEdit>
#include <QLocale>

#include <cmath>

StandardDialog::StandardDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::StandardDialog)
{
    ui->setupUi(this);
    connect(ui->cbSensor, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { ui->leR0->setText(index == 1 ? "1000" : "100"); });
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &StandardDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &StandardDialog::reject);
}

StandardDialog::~StandardDialog()
{
    delete ui;
}

void StandardDialog::accept()
{
    const bool commaIsDecimal = QLocale().decimalPoint() == ',';
    QString problem;
    const auto number = [&](const QLineEdit *field, const QString &name) {
        bool ok = false;
        const double value = withDecimalPoint(field->text(), commaIsDecimal).toDouble(&ok);
        if ((!ok || !std::isfinite(value)) && problem.isEmpty())
            problem = tr("%1 is not a number").arg(name);
        return value;
    };
    pt.r0 = number(ui->leR0, tr("R0"));
    pt.a = number(ui->leA, tr("A"));
    pt.b = number(ui->leB, tr("B"));
    pt.c = number(ui->leC, tr("C"));
    from = number(ui->leLow, tr("the range's low end"));
    to = number(ui->leHigh, tr("the range's high end"));
    if (problem.isEmpty() && !(pt.r0 > 0))
        problem = tr("R0 is not above zero");
    const Result<QVector<TableEntry>> table
        = problem.isEmpty() ? platinumTable(pt, from, to) : Failure {problem};
    if (!table) {
        ui->lProblem->setText(tr("No table: %1.").arg(table.error()));
        return;
    }
    chosen = *table;
    QDialog::accept();
}
