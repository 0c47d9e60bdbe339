#include "link/unitports.h"

namespace {

bool carriesUnitIds(const PortEntry &entry)
{
    return entry.hasUsbIds && entry.vendorId == UnitVendorId && entry.productId == UnitProductId;
}

} // namespace

QStringList unitPortNames(const QList<PortEntry> &ports)
{
    QStringList names;
    for (const PortEntry &entry : ports) {
        if (carriesUnitIds(entry))
            names.append(entry.portName);
    }
    return names;
}

// A port counts only while it carries the unit's USB identifiers, whichever way the unit is
// known: a port without them is never the unit, so a pseudo-terminal that reports no USB ids is
// not found here (test listers give theirs the unit's ids; a caller that opens a path the operator
// named may try that path itself). Without a serial number the port name is all there is: a unit
// that comes back under another name is then a unit not seen before.
QString portOfUnit(const QList<PortEntry> &ports, const UnitIdentity &unit)
{
    QString elsewhere;
    for (const PortEntry &entry : ports) {
        if (!carriesUnitIds(entry))
            continue;
        if (unit.serialNumber.isEmpty()) {
            if (entry.portName == unit.portName)
                return entry.portName;
        } else if (entry.serialNumber == unit.serialNumber) {
            if (entry.portName == unit.portName)
                return entry.portName;
            if (elsewhere.isEmpty())
                elsewhere = entry.portName;
        }
    }
    return elsewhere;
}

bool isAnotherUnit(const QList<PortEntry> &ports, const UnitIdentity &unit)
{
    for (const PortEntry &entry : ports) {
        if (entry.portName == unit.portName)
            return !unit.serialNumber.isEmpty() && entry.serialNumber != unit.serialNumber;
    }
    return false;
}
