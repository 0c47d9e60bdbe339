#include "logging/logrun.h"

#include "unit/unit.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LogRun", text);
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A port named by its device path ("/dev/ttyACM0") is listed under its short name ("ttyACM0").
const PortEntry *entryNamed(const QList<PortEntry> &ports, const QString &name)
{
    for (const PortEntry &entry : ports) {
        if (entry.portName == name || QLatin1String("/dev/") + entry.portName == name)
            return &entry;
    }
    return nullptr;
}

} // namespace

UnitIdentity identityOf(const QList<PortEntry> &ports, const QString &openedName)
{
    const PortEntry *entry = entryNamed(ports, openedName);
    return entry ? UnitIdentity {entry->portName, entry->serialNumber}
                 : UnitIdentity {openedName, QString()};
}

LogRun::LogRun(Unit &unit, const UnitIdentity &identity, const LogRunSettings &settings, Say say,
               LogClock clock)
    : unit(unit)
    , identity(identity)
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
    const QList<PortEntry> ports = lister();
    QString name = portOfUnit(ports, identity);
    // A port the system does not list (a pseudo-terminal, a device path) was named by the
    // operator; with no serial number to go by, that name is the unit.
    if (name.isEmpty() && identity.serialNumber.isEmpty() && !entryNamed(ports, identity.portName))
        name = identity.portName;
    if (name.isEmpty()) {
        if (isAnotherUnit(ports, identity) && !anotherTold) {
            const PortEntry *other = entryNamed(ports, identity.portName);
            say(tr("%1: another unit (serial number %2) is on %3; waiting for the logged one "
                   "(serial number %4).")
                    .arg(stamp(), other->serialNumber, shown(identity.portName),
                         identity.serialNumber));
            anotherTold = true;
        }
        return false;
    }
    if (!unit.open(name).ok())
        return false;
    anotherTold = false;
    say(tr("%1: the unit is back on %2; logging goes on.").arg(stamp(), shown(name)));
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
                    .arg(stamp(), shown(identity.portName)));
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
