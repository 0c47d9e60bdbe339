#include "app/dialog.h"
#include "ui_dialog.h"

#include "calibration/calibrationwidget.h"
#include "logging/logger.h"
#include "unit/unit.h"

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Dialog)
    , unit(new Unit(this))
{
    ui->setupUi(this);

    connect(ui->pbGetData, &QPushButton::clicked, this, &Dialog::GetData);

    for (int i = 0; i < 4; ++i) {
        auto *page = new calibrationWidget(this);
        page->setChannel(i);
        connect(page, &calibrationWidget::getEepromData, this, &Dialog::getEepromData);
        connect(page, &calibrationWidget::setEepromData, this, &Dialog::setEepromData);
        connect(page, &calibrationWidget::writeEeprom, this, &Dialog::writeEeprom);
        connect(page, &calibrationWidget::loadTempTable, this, &Dialog::loadTempTable);
        ui->tabWidget->addTab(page, QStringLiteral("Channel%1").arg(i + 1));
    }
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::setPortLister(PortLister lister)
{
    unit->setPortLister(std::move(lister));
}

void Dialog::on_pbLogger_clicked()
{
    Logger logger(channels, this);
    connect(&logger, &Logger::updateData, this, &Dialog::GetData);
    connect(this, &Dialog::updatedData, &logger, &Logger::dataUpdated);
    logger.exec();
}
