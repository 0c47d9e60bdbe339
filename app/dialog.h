#pragma once

// The main window: the live data page, one calibration page per channel, and the buttons behind
// which the unit's operations run. Each slot takes the turn, asks the unit, shows the result.
#include "calibration/backupstore.h"
#include "link/exchangeguard.h"
#include "link/portlister.h"
#include "link/unitports.h"
#include "unit/unitfollower.h"
#include "values/channeldata.h"
#include "values/unitshape.h"

#include <QDialog>
#include <QPointer>

class Logger;
struct TableSource;
class calibrationWidget;
class Unit;

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
    void takePoint(QWidget *widget, double kelvin);
    void on_pbLogger_clicked();

private:
    // Makes sure the unit's port is open, telling the operator in a box when it cannot be.
    bool openSerialPort();
    // The attached units; the box when there is none.
    QStringList findUnits();
    // The one unit to use, asking the operator when there are several. False when the operator
    // refused to choose; the application is then ending.
    bool chooseUnit(const QStringList &units, QString &chosen);
    // Opens the chosen unit; the box when its port will not open.
    bool openUnit(const QString &name);
    // Whether a unit that cannot be reached is worth a box now: once per logging run, since the
    // ticks go on trying by themselves.
    bool tellOpeningFailure();
    void switchRelay(int relay, bool checked);
    // Fills the page from a get-cal file or the page's own channel of a whole unit's file.
    void loadCalibrationFile(calibrationWidget *page, const QString &path,
                             const TableSource &source);
    // Whether a backup taken from the unit with USB serial number `savedFrom` goes on the page:
    // yes unless the open unit is known to be another one and the operator says no.
    bool mayLoadBackupOf(calibrationWidget *page, const QString &path, const QString &savedFrom);
    // A logging run stays with the unit it started on: after an unplug only that unit, found by
    // its serial number on whichever port, is opened again; another one stops the run.
    void followRunUnit();
    bool followsRunUnit() const;
    bool reopenRunUnit();

    Ui::Dialog *ui;
    Unit *unit;
    ChannelData channels[ChannelCount];

    ExchangeGuard guard;
    QPointer<Logger> logger; // while the Logger window is open
    int runToldOfFailure = 0; // the logging run in which the operator saw the last such box
    BackupStore backups;
    PortLister ports = systemPorts;
    QString openedPort; // as the lister named it, which the port object may shorten
    UnitFollower runUnit;
    int runOfUnit = 0; // the logging run that runUnit belongs to
};
