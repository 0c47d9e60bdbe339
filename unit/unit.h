#pragma once

// The unit as the tool sees it, without any window: finding it among the serial ports, opening
// and closing its port, and the operations by name. Each operation returns what came back, or
// that it did not; what to tell the operator is the caller's business.
#include "calibration/calibration.h"
#include "link/portlister.h"
#include "link/protocol.h"
#include "measure/channeldata.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class QSerialPort;

struct RelayStates
{
    bool relay1 = false;
    bool relay2 = false;
};

struct LiveReading
{
    bool complete = false; // all five quantities came whole and the line stayed quiet after them
    std::optional<RelayStates> relays; // absent when the unit did not answer the relay read
};

struct CalibrationRead
{
    bool complete = false; // the gain and all 100 rows came, and nothing else did
    Calibration calibration;
};

// What the unit holds after a calibration was sent, against what was sent.
struct CalibrationSendResult
{
    bool verified = false; // the read-back matched what was sent, bit for bit
    int rowsNotSent = 0; // a block stuck on its way: it and the blocks after it were not sent
    bool readBackComplete = false;
    bool gainDiffers = false;
    QVector<int> rowsDiffering; // 0-based
};

class Unit : public QObject
{
    Q_OBJECT

public:
    explicit Unit(QObject *parent = nullptr);

    // Where the unit is looked for; the system's serial ports unless replaced.
    void setPortLister(PortLister lister);
    // The ports that carry the unit's USB identifiers, in the system's enumeration order.
    QStringList attachedUnits() const;

    // Opens the named port with the unit's line settings. On failure the port's own reason is
    // in errorString().
    bool open(const QString &portName);
    bool isOpen() const;
    QString portName() const;
    QString errorString() const;
    void close();

    // One live reading: the five quantities of the four channels, each stored into `records` as
    // it comes, then the relay states.
    LiveReading readLive(ChannelData *records);
    // Switches a relay (1 or 2). False when there is no open port to send it on.
    bool switchRelay(int relay, bool on);
    CalibrationRead readCalibration(int channel);
    // Sends the gain and the four table blocks, then reads them back to see that they arrived.
    CalibrationSendResult sendCalibration(int channel, const Calibration &calibration);
    // Makes the unit keep its present calibration of all channels in its EEPROM.
    void storeEeprom();

signals:
    // The port failed as an unplugged unit's does and has been closed.
    void wentAway(const QString &portName);

private:
    void onPortError();

    QSerialPort *port;
    PortLister lister;
};

// Why a sent calibration did not verify, as a clause for the operator: "gain, rows 26–50 differ",
// "rows 51–100 were not sent", "it did not answer the read-back in full". Rows are counted from 1
// as on the calibration page.
QString notTakenText(const CalibrationSendResult &result);
