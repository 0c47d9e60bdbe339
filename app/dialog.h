#pragma once

// The main window: the live data page, one calibration page per channel, and every operation
// that talks to the unit. Its members are defined in the folder of the subsystem they serve.
#include "link/exchangeguard.h"
#include "link/portlister.h"
#include "measure/channeldata.h"

#include <QDialog>

class QSerialPort;

namespace Ui {
class Dialog;
}

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    // The four records of the latest complete reading, in channel order.
    ChannelData *channelData();

    // Where the window looks for attached units; the system's serial ports unless replaced.
    void setPortLister(PortLister lister);

signals:
    void updatedData();

private slots:
    void GetData();
    void on_cbRelay1_clicked(bool checked);
    void on_cbRelay2_clicked(bool checked);
    void getEepromData(QWidget *widget);
    void setEepromData(QWidget *widget);
    void writeEeprom(QWidget *widget);
    void loadTempTable(QWidget *widget);
    void on_pbLogger_clicked();

private:
    bool openSerialPort();

    Ui::Dialog *ui;
    QSerialPort *port;
    ChannelData channels[4];

    PortLister portLister;
    ExchangeGuard guard;
};
