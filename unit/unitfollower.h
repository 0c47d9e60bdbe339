#pragma once

// The one rule for following a unit that went away, for the window's logging run, `log` and
// `serve` alike: the unit is found again by its USB serial number on whichever port it comes
// back on (its own port preferred); by its port's name only where the operator named that port
// (a udev link, a pseudo-terminal the system does not list); another unit on its port is told
// apart and never taken for it; and while it is away there is nothing to open. What to show for
// each case is the caller's.
#include "link/portlister.h"
#include "link/unitports.h"

#include <QList>
#include <QString>

class UnitFollower
{
public:
    // What one look at the system's ports found.
    struct Sighting
    {
        QString port; // where to open the unit; empty while it is away
        bool anotherUnit = false; // another unit is on the unit's port
        QString otherSerial; // that unit's serial number, as its port reports it
    };

    // `named`: the operator named the unit's port, so that name stays the unit's, listed or not,
    // while no other unit is listed on it.
    UnitFollower(const UnitIdentity &unit, bool named);
    UnitFollower() = default; // follows no unit until one is assigned

    Sighting look(const QList<PortEntry> &ports) const;
    const UnitIdentity &unit() const { return identity; }
    // A unit first seen without a serial number is followed by the one `port` reports, once it
    // was opened there.
    void learnSerialNumber(const QString &port, const QList<PortEntry> &ports);

private:
    UnitIdentity identity;
    bool named = false;
};

// The lister's entry for a port, named as the lister names it or by its device path
// ("/dev/ttyACM0" is listed as "ttyACM0"); null when it is not listed.
const PortEntry *listedPort(const QList<PortEntry> &ports, const QString &name);
