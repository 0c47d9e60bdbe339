#include "link/unitports.h"

QStringList unitPortNames(const QList<PortEntry> &ports)
{
    QStringList names;
    for (const PortEntry &entry : ports) {
        if (entry.hasUsbIds && entry.vendorId == UnitVendorId && entry.productId == UnitProductId)
            names.append(entry.portName);
    }
    return names;
}

namespace {

bool carriesUnitIds(const PortEntry &entry)
{
    return entry.hasUsbIds && entry.vendorId == UnitVendorId && entry.productId == UnitProductId;
}

} // namespace

// A unit known by its serial number is found by it wherever it was plugged in again, but only on a
// port with the unit's USB identifiers. With no serial number there is nothing to recognise it
// by but its port name, which is taken whatever the port reports: a pseudo-terminal standing in
// for the unit reports no USB identifiers and no serial number, and is the unit by its name alone.
QString portOfUnit(const QList<PortEntry> &ports, const UnitIdentity &unit)
{
    QString found;
    for (const PortEntry &entry : ports) {
        if (unit.serialNumber.isEmpty()) {
            if (entry.portName == unit.portName)
                return entry.portName;
            continue;
        }
        if (!carriesUnitIds(entry) || entry.serialNumber != unit.serialNumber)
            continue;
        if (entry.portName == unit.portName)
            return entry.portName;
        if (found.isEmpty())
            found = entry.portName;
    }
    return found;
}

bool isAnotherUnit(const QList<PortEntry> &ports, const UnitIdentity &unit)
{
    if (unit.serialNumber.isEmpty())
        return false;
    for (const PortEntry &entry : ports) {
        if (entry.portName == unit.portName)
            return entry.serialNumber != unit.serialNumber;
    }
    return false;
}
