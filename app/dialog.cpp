#include "app/dialog.h"
#include "ui_dialog.h"

#include "unit/unit.h"
#include "windows/calibrationwidget.h"
#include "windows/logger.h"
#include "windows/windowfit.h"

#include <QCoreApplication>

#include <QDateTime>

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Dialog)
    , unit(new Unit(this))
    // The tool keeps its backups in its own data folder; the demo, named otherwise, in its own.
    , backups(BackupStore::defaultFolder(QCoreApplication::applicationName()))
{
    ui->setupUi(this);

    connect(ui->pbGetData, &QPushButton::clicked, this, &Dialog::GetData);

    for (int i = 0; i < ChannelCount; ++i) {
        auto *page = new calibrationWidget(this);
        page->setChannel(i);
        // The pages are alike, so the first one's size speaks for all; the others fit their
        // tables when first shown.
        if (i == 0)
            page->fitToTable();
        connect(page, &calibrationWidget::getEepromData, this, &Dialog::getEepromData);
        connect(page, &calibrationWidget::setEepromData, this, &Dialog::setEepromData);
        connect(page, &calibrationWidget::writeEeprom, this, &Dialog::writeEeprom);
        connect(page, &calibrationWidget::loadTempTable, this, &Dialog::loadTempTable);
        connect(page, &calibrationWidget::takePoint, this, &Dialog::takePoint);
        ui->tabWidget->addTab(page, QStringLiteral("Channel%1").arg(i + 1));
    }

    // Room for the whole data table and for a calibration page at the size it opened at.
    QWidget *page = ui->tabWidget->widget(1);
    connect(unit, &Unit::wentAway, this, [this] {
        if (followsRunUnit())
            logger->unitWentAway(QDateTime::currentDateTime());
    });
    resize(windowFitting(this, {{ui->twData, tableShowing(ui->twData)}, {page, page->size()}}));
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::setPortLister(PortLister lister)
{
    ports = lister;
    unit->setPortLister(std::move(lister));
}

void Dialog::on_pbLogger_clicked()
{
    Logger window(channels, this);
    connect(&window, &Logger::updateData, this, &Dialog::GetData);
    connect(this, &Dialog::updatedData, &window, &Logger::dataUpdated);
    logger = &window;
    window.exec();
}
