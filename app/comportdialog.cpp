#include "app/comportdialog.h"
#include "ui_comportdialog.h"

#include "windows/windowfit.h"

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
    // A fixed size, but one that shows the longest name and both buttons at the running font.
    setFixedSize(windowFitting(this, {}));
    return QDialog::exec();
}

QString ComPortDialog::selectedPortName() const
{
    return ui->cbPortName->currentText();
}
