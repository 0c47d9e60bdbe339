#pragma once

// The unit as the tool sees it, without any window: finding it among the serial ports, opening
// and closing its port, and the operations by name. Each operation returns a Result: what
// came back, or why nothing did; what to tell the operator is the caller's business.
#include "link/portlister.h"
#include "link/unitports.h"
#include "values/unitvalues.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QSerialPort;

class Unit : public QObject
{
    Q_OBJECT

public:
    explicit Unit(QObject *parent = nullptr);

    // Where the unit is looked for; the system's serial ports unless replaced.
    void setPortLister(PortLister lister);
    // The ports that carry the unit's USB identifiers, in the system's enumeration order.
    QStringList attachedUnits() const;

    // Opens the named port with the unit's line settings; on failure the port's own reason.
    Result<void> open(const QString &portName);
    bool isOpen() const;
    QString portName() const;
    // The open unit: the port name it was opened by and, where the port lists one, its USB serial
    // number.
    UnitIdentity identity() const;
    void close();

    // One live reading: the five quantities of the four channels, then the relay states. Only a
    // whole reading, followed by a quiet line, comes back.
    Result<LiveReading> readLive();
    // Switches a relay (1 or 2). The unit acknowledges nothing; it fails only with no open port.
    Result<void> switchRelay(int relay, bool on);
    // The channel's gain and all 100 rows, and nothing else on the line.
    Result<Calibration> readCalibration(int channel);
    // Sends the gain and the four table blocks, then reads them back to see that they arrived:
    // ok only when the unit holds, bit for bit, what was sent.
    Result<void> sendCalibration(int channel, const Calibration &calibration);
    // The two relays' states as the unit reports them (codes 30 and 31).
    Result<RelayStates> readRelays();
    // Makes the unit keep its present calibration of all channels in its EEPROM. The store is
    // acknowledged by nothing, so it goes out only after the unit answered a relay read: a
    // silent unit is reported, not stored to.
    Result<void> storeEeprom();

signals:
    // The port failed as an unplugged unit's does and has been closed.
    void wentAway(const QString &portName);

private:
    void onPortError();

    QSerialPort *port;
    PortLister lister;
    QString openedName; // as the lister or the operator named the port
};
