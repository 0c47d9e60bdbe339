#pragma once

// Which of the system's serial ports are the unit: its USB virtual COM port identifiers.
#include "link/portlister.h"

#include <QStringList>

constexpr quint16 UnitVendorId = 1155; // 0x0483
constexpr quint16 UnitProductId = 22336; // 0x5740

// The names of the ports that carry both of the unit's identifiers, in enumeration order. A port
// that reports no USB identifiers is never the unit.
QStringList unitPortNames(const QList<PortEntry> &ports);
