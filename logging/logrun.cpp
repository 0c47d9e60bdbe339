#include "logging/logrun.h"

#include "logging/logfile.h"
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
    , settings(settings)
    , say(std::move(say))
    , clock(std::move(clock))
    , lister(systemPorts)
    , header(logHeader(settings.enables))
{ }

void LogRun::setPortLister(PortLister replacement)
{
    lister = std::move(replacement);
}

QString LogRun::fileFor(const QDateTime &time) const
{
    return settings.daily ? dailyLogFileName(settings.fileName, time.date()) : settings.fileName;
}

QString LogRun::stamp() const
{
    return QString::fromLatin1(logTimeText(clock(), LogTimeStyle::Iso));
}

bool LogRun::start()
{
    return startFile(fileFor(clock()));
}

bool LogRun::startFile(const QString &fileName)
{
    currentFile = fileName;
    const LogFileContent content = logFileContent(fileName, header);
    if (content != LogFileContent::Nothing
        && settings.earlier != LogRunSettings::Earlier::Overwrite) {
        if (settings.earlier == LogRunSettings::Earlier::Refuse) {
            say(tr("The log file %1 already holds data; give --overwrite to replace it or "
                   "--append to go on below it.")
                    .arg(shown(fileName)));
            return false;
        }
        if (content == LogFileContent::Other) {
            say(tr("The log file %1 holds other columns than this run's; its rows cannot go on "
                   "below them. Give --overwrite to replace it, or --enable its columns.")
                    .arg(shown(fileName)));
            return false;
        }
        return true; // appending: the file's own header stands
    }
    const Result<void> written = writeLogLine(fileName, header, LogLineMode::Truncate);
    if (!written) {
        say(tr("The log file %1 cannot be written: %2.").arg(shown(fileName), written.error()));
        return false;
    }
    return true;
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

    // One look at the clock for both the row's time and its day's file, so a row at midnight
    // lands in the file of the date it carries.
    const QDateTime now = clock();
    const QString fileName = fileFor(now);
    if (fileName != currentFile && !startFile(fileName))
        refusedFile = fileName;
    if (fileName == refusedFile) {
        well = false;
        return Sample::NoRow;
    }
    const QByteArray row = logRow(logTimeText(now, settings.timeStyle, settings.milliseconds),
                                  reading->channels.data(), settings.enables);
    const Result<void> written = appendLogRow(fileName, header, row);
    if (!written) {
        well = false;
        if (!rowFailureTold) {
            say(tr("A row could not be written to the log file %1: %2. Logging goes on and "
                   "tries again at every sample.")
                    .arg(shown(fileName), written.error()));
            rowFailureTold = true;
        }
        return Sample::NoRow;
    }
    ++rowCount;
    return Sample::Row;
}
