#pragma once

// Which of the system's serial ports are the unit: its USB virtual COM port identifiers.
#include "link/portlister.h"

#include <QStringList>

constexpr quint16 UnitVendorId = 1155; // 0x0483
constexpr quint16 UnitProductId = 22336; // 0x5740

// The names of the ports that carry both of the unit's identifiers, in enumeration order. A port
// that reports no USB identifiers is never the unit.
QStringList unitPortNames(const QList<PortEntry> &ports);

// Which unit a run or an exporter follows: the port it was found on and, where the port reports
// one, its USB serial number.
struct UnitIdentity
{
    QString portName;
    QString serialNumber; // empty where the port reported none
};
// Where that unit is now: a port carrying the unit's USB identifiers and the same serial number
// (its own port name preferred); with no serial number known, its own port name if that port is
// listed. Empty when the unit is not attached.
QString portOfUnit(const QList<PortEntry> &ports, const UnitIdentity &unit);
// True when the port of that name is attached but carries another serial number: another unit.
bool isAnotherUnit(const QList<PortEntry> &ports, const UnitIdentity &unit);
