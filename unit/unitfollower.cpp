#include "unit/unitfollower.h"

const PortEntry *listedPort(const QList<PortEntry> &ports, const QString &name)
{
    for (const PortEntry &entry : ports) {
        if (entry.portName == name || QLatin1String("/dev/") + entry.portName == name)
            return &entry;
    }
    return nullptr;
}

UnitFollower::UnitFollower(const UnitIdentity &unit, bool named)
    : identity(unit)
    , named(named)
{ }

UnitFollower::Sighting UnitFollower::look(const QList<PortEntry> &ports) const
{
    const QString found = portOfUnit(ports, identity);
    if (!found.isEmpty())
        return {found, false, QString()};
    // Without a serial number of its own, any unit on its port may be it.
    const PortEntry *own = listedPort(ports, identity.portName);
    if (own && !identity.serialNumber.isEmpty() && own->serialNumber != identity.serialNumber)
        return {QString(), true, own->serialNumber};
    if (named)
        return {identity.portName, false, QString()};
    return {};
}

void UnitFollower::learnSerialNumber(const QString &port, const QList<PortEntry> &ports)
{
    if (!identity.serialNumber.isEmpty())
        return;
    for (const PortEntry &entry : ports) {
        if (entry.portName == port)
            identity.serialNumber = entry.serialNumber;
    }
}
