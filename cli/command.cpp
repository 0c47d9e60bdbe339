#include "cli/command.h"

#include "calibration/backupstore.h"
#include "text/numbers.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace {

std::atomic<bool> stopRequested {false};

} // namespace

void waitUntilNext(const QElapsedTimer &started, double interval)
{
    const qint64 due = qint64(interval * 1000);
    while (!stopRequested && started.elapsed() < due)
        QThread::msleep(ulong(qBound(qint64(1), due - started.elapsed(), qint64(50))));
}

QString cliText(const char *text)
{
    return QCoreApplication::translate("quadmeter-cli", text);
}

void say(const QString &message)
{
    std::fputs(qPrintable(QStringLiteral("quadmeter-cli: %1\n").arg(message)), stderr);
    std::fflush(stderr);
}

// Results go out as they come, so a pipe's reader sees each reading when it is taken.
bool print(const QByteArray &bytes)
{
    const bool written
        = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    return std::fflush(stdout) == 0 && written;
}

bool printResult(const QByteArray &bytes, const QString &what)
{
    if (print(bytes))
        return true;
    say(cliText("%1 cannot be written: %2").arg(what, qt_error_string(errno)));
    return false;
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString channelTitle(int channel)
{
    return QStringLiteral("Channel%1").arg(channel + 1);
}

namespace {

// Opens the port named with --port or else the one attached unit; false after saying why. The
// name it opened goes to `openedName`.
bool openUnit(Unit &unit, const CommonOptions &common, QString &openedName)
{
    if (common.lister)
        unit.setPortLister(common.lister);
    QString name = common.port;
    if (name.isEmpty()) {
        const QStringList attached = unit.attachedUnits();
        if (attached.isEmpty()) {
            say(cliText("no unit attached"));
            return false;
        }
        if (attached.size() > 1) {
            say(cliText("several units are attached (%1); choose one with --port")
                    .arg(attached.join(QLatin1String(", "))));
            return false;
        }
        name = attached.first();
    }
    const Result<void> opened = unit.open(name);
    if (!opened) {
        say(cliText("the port %1 cannot be opened: %2").arg(shown(name), opened.error()));
        return false;
    }
    openedName = name;
    return true;
}

} // namespace

int UnitCommand::run(const CommonOptions &common)
{
    if (!beforeOpening())
        return ExitFailure;
    Unit unit;
    QString portName;
    if (!openUnit(unit, common, portName))
        return ExitFailure;
    return runOn(unit, portName);
}

void requestStop()
{
    stopRequested = true;
}

bool stopIsRequested()
{
    return stopRequested;
}

int interrupted(const QString &whatTheUnitHolds)
{
    say(cliText("interrupted: %1").arg(whatTheUnitHolds));
    return ExitInterrupted;
}

QCommandLineOption noBackupOption()
{
    return {QStringLiteral("no-backup"),
            cliText("send without first keeping the unit's present calibration in the backups "
                    "folder")};
}

CommandChoices::CommandChoices(bool force, QString orderAdvice)
    : force(force)
    , orderAdvice(std::move(orderAdvice))
{ }

void CommandChoices::refuse(int channel, const QString &problem)
{
    say(cliText("%1: %2. Nothing was sent to the unit.").arg(channelTitle(channel), problem));
}

bool CommandChoices::sendOutOfOrder(int channel, const QString &problem)
{
    if (force)
        return true;
    say(cliText("%1: %2. %3 Nothing was sent to the unit.")
            .arg(channelTitle(channel), problem, orderAdvice));
    return false;
}

bool CommandChoices::sendWithoutBackup(const QString &why)
{
    say(cliText("the calibration the unit holds now could not be backed up (%1); nothing was "
                "sent. --no-backup sends without a backup.")
            .arg(why));
    return false;
}

void CommandChoices::backedUp(const QString &path)
{
    say(cliText("the unit's calibration was backed up to %1").arg(shown(path)));
}

bool keepBackup(Unit &unit)
{
    // The window and the command line keep their backups in one folder, the tool's.
    static BackupStore store(BackupStore::defaultFolder(QStringLiteral("quadmeter")));
    CommandChoices choices(false, QString());
    return backUpBeforeSending(unit, store, QStringLiteral("quadmeter-cli " QUADMETER_VERSION),
                               choices);
}

bool readingLoop(Unit &unit, int count, double every,
                 const std::function<bool(const LiveReading &)> &take)
{
    bool allWell = true;
    for (int taken = 0; !stopRequested && (count == 0 || taken < count);) {
        QElapsedTimer started;
        started.start();
        const Result<LiveReading> reading = unit.readLive();
        ++taken;
        if (!reading) {
            allWell = false;
            if (!unit.isOpen()) {
                say(cliText("the unit went away"));
                return false;
            }
            say(cliText("reading %1: the unit did not answer in full").arg(taken));
        } else if (!take(*reading)) {
            allWell = false;
        }
        if (count == 0 || taken < count)
            waitUntilNext(started, every);
    }
    return allWell;
}

bool readCount(const QString &text, int &count)
{
    bool ok = false;
    count = text.toInt(&ok);
    return ok && count > 0;
}

bool readSeconds(const QString &text, double &seconds)
{
    float value = 0;
    // A week is far beyond any interval a run needs; NaN and negatives are no interval.
    if (!readReal(text, value) || !(value >= 0) || value > 7 * 24 * 3600)
        return false;
    seconds = value;
    return true;
}

bool readChannel(const QString &text, int &channel)
{
    bool ok = false;
    channel = text.toInt(&ok) - 1;
    return ok && channel >= 0 && channel < ChannelCount;
}

QCommandLineOption timeStyleOption()
{
    return {QStringLiteral("time"),
            cliText("how rows tell their time: clock, the time of day (the default); iso, the "
                    "local date and time with the offset from UTC, 2026-12-07T21:14:22+01:00, "
                    "with milliseconds below one reading a second"),
            QStringLiteral("clock|iso")};
}

bool readTimeStyle(const QString &text, LogTimeStyle &style)
{
    if (text == QLatin1String("clock"))
        style = LogTimeStyle::Clock;
    else if (text == QLatin1String("iso"))
        style = LogTimeStyle::Iso;
    else
        return false;
    return true;
}

bool parseLogEnables(const QString &text, LogEnables &enables, QString &problem)
{
    LogEnables chosen {};
    const QStringList names = text.split(QLatin1Char(','));
    for (const QString &name : names) {
        const QString wanted = name.trimmed();
        bool known = false;
        for (int channel = 0; channel < ChannelCount && !known; ++channel) {
            for (int quantity = 0; quantity < LogQuantityCount && !known; ++quantity) {
                if (wanted == logColumnName(channel, quantity)) {
                    chosen[channel][quantity] = true;
                    known = true;
                }
            }
        }
        if (!known) {
            problem = cliText("unknown column \"%1\" (Voltage0-3, Resistance0-3, Temperature0-3)")
                          .arg(wanted);
            return false;
        }
    }
    enables = chosen;
    return true;
}

QCommandLineOption logEnableOption()
{
    return {QStringLiteral("enable"),
            cliText("the columns to log, comma-separated: Voltage0-3, Resistance0-3, "
                    "Temperature0-3 (default: all twelve)"),
            QStringLiteral("COLUMNS")};
}

QCommandLineOption logDailyOption()
{
    return {QStringLiteral("daily"),
            cliText("one file per local day, FILE with the date before its extension "
                    "(run-2026-12-07.txt), switching at midnight")};
}

bool takeLogOptions(const QCommandLineParser &parser, LogRunSettings &settings, QString *error)
{
    settings.daily = parser.isSet(QStringLiteral("daily"));
    if (parser.isSet(QStringLiteral("time"))
        && !readTimeStyle(parser.value(QStringLiteral("time")), settings.timeStyle)) {
        *error = cliText("--time is clock or iso");
        return false;
    }
    return !parser.isSet(QStringLiteral("enable"))
        || parseLogEnables(parser.value(QStringLiteral("enable")), settings.enables, *error);
}
