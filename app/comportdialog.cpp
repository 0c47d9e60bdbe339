#include "app/comportdialog.h"
#include "ui_comportdialog.h"

ComPortDialog::ComPortDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ComPortDialog)
{
    ui->setupUi(this);
}

ComPortDialog::~ComPortDialog()
{
    delete ui;
}

void ComPortDialog::setPortNames(const QStringList &names)
{
    portNames = names;
}

int ComPortDialog::exec()
{
    ui->cbPortName->addItems(portNames);
    return QDialog::exec();
}

QString ComPortDialog::selectedPortName() const
{
    return ui->cbPortName->currentText();
}
