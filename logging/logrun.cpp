#include "logging/logrun.h"

#include "logging/logtext.h"
#include "unit/unit.h"

#include <QCoreApplication>

using logtext::shown;
using logtext::tr;

UnitIdentity identityOf(const QList<PortEntry> &ports, const QString &openedName)
{
    const PortEntry *entry = listedPort(ports, openedName);
    return entry ? UnitIdentity {entry->portName, entry->serialNumber}
                 : UnitIdentity {openedName, QString()};
}

LogRun::LogRun(Unit &unit, const UnitIdentity &identity, const LogRunSettings &settings,
               const Say &say, LogClock clock)
    : unit(unit)
    // A port the system does not list (a pseudo-terminal, a device path) was named by the
    // operator; with no serial number to go by, that name is the unit.
    , follower(identity, identity.serialNumber.isEmpty())
    // Copied, not moved: the writer below tells its own troubles through the same function.
    , say(say)
    , clock(std::move(clock))
    , lister(systemPorts)
    , writer(settings, say)
{ }

void LogRun::setPortLister(PortLister replacement)
{
    lister = std::move(replacement);
}

QString LogRun::stamp() const
{
    return QString::fromLatin1(logTimeText(clock(), LogTimeStyle::Iso));
}

bool LogRun::start()
{
    return writer.start(clock());
}

bool LogRun::findUnitAgain()
{
    const UnitFollower::Sighting seen = follower.look(lister());
    const UnitIdentity &identity = follower.unit();
    if (seen.anotherUnit && !anotherTold) {
        say(tr("%1: another unit (serial number %2) is on %3; waiting for the logged one "
               "(serial number %4).")
                .arg(stamp(), seen.otherSerial, shown(identity.portName), identity.serialNumber));
        anotherTold = true;
    }
    if (seen.port.isEmpty() || !unit.open(seen.port).ok())
        return false;
    anotherTold = false;
    say(tr("%1: the unit is back on %2; logging goes on.").arg(stamp(), shown(seen.port)));
    return true;
}

LogRun::Sample LogRun::sample()
{
    // The port's own report of an unplug is delivered through the event queue.
    QCoreApplication::processEvents();
    if (!unit.isOpen() && !findUnitAgain())
        return Sample::Away;

    const Result<LiveReading> reading = unit.readLive();
    if (!reading) {
        QCoreApplication::processEvents();
        if (!unit.isOpen()) {
            say(tr("%1: the unit on %2 went away; waiting for it.")
                    .arg(stamp(), shown(follower.unit().portName)));
            return Sample::Away;
        }
        well = false;
        say(tr("a reading failed: %1").arg(reading.error()));
        return Sample::NoRow;
    }

    if (!writer.write(clock(), reading->channels.data()))
        return Sample::NoRow;
    return Sample::Row;
}
