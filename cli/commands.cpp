#include "cli/commands.h"

#include "calibration/curvefile.h"
#include "cli/format.h"
#include "files/regularfile.h"
#include "link/unitports.h"
#include "logging/logfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

std::atomic<bool> stopRequested {false};

QString tr(const char *text)
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

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString channelTitle(int channel)
{
    return QStringLiteral("Channel%1").arg(channel + 1);
}

// Opens the port named on the command line or else the one attached unit; false after saying why.
bool openUnit(Unit &unit, const CliOptions &options)
{
    QString name = options.port;
    if (name.isEmpty()) {
        const QStringList attached = unit.attachedUnits();
        if (attached.isEmpty()) {
            say(tr("no unit attached"));
            return false;
        }
        if (attached.size() > 1) {
            say(tr("several units are attached (%1); choose one with --port")
                    .arg(attached.join(QLatin1String(", "))));
            return false;
        }
        name = attached.first();
    }
    const UnitResult<void> opened = unit.open(name);
    if (!opened) {
        say(tr("the port %1 cannot be opened: %2").arg(shown(name), opened.error()));
        return false;
    }
    return true;
}

// Waits until `interval` seconds after `started`, or until a stop is asked for.
void waitUntilNext(const QElapsedTimer &started, double interval)
{
    const qint64 due = qint64(interval * 1000);
    while (!stopRequested && started.elapsed() < due)
        QThread::msleep(ulong(qBound(qint64(1), due - started.elapsed(), qint64(50))));
}

// Takes readings until `count` (0: until stopped), calling `take` on each complete one. False when
// any reading failed or `take` said so.
template<typename Take> bool readingLoop(Unit &unit, const CliOptions &options, Take take)
{
    bool allWell = true;
    for (int taken = 0; !stopRequested && (options.count == 0 || taken < options.count);) {
        QElapsedTimer started;
        started.start();
        const UnitResult<LiveReading> reading = unit.readLive();
        ++taken;
        if (!reading) {
            allWell = false;
            if (!unit.isOpen()) {
                say(tr("the unit went away"));
                return false;
            }
            say(tr("reading %1: the unit did not answer in full").arg(taken));
        } else if (!take(reading->channels.data(), reading->relays)) {
            allWell = false;
        }
        if (options.count == 0 || taken < options.count)
            waitUntilNext(started, options.every);
    }
    return allWell;
}

int list()
{
    Unit unit;
    const QStringList attached = unit.attachedUnits();
    if (attached.isEmpty()) {
        say(tr("no unit attached"));
        return ExitFailure;
    }
    const QString ids = QStringLiteral("%1:%2")
                            .arg(UnitVendorId, 4, 16, QLatin1Char('0'))
                            .arg(UnitProductId, 4, 16, QLatin1Char('0'));
    for (const QString &name : attached)
        print((name + QLatin1Char(' ') + ids + QLatin1Char('\n')).toUtf8());
    return ExitSuccess;
}

int read(const CliOptions &options)
{
    Unit unit;
    if (!openUnit(unit, options))
        return ExitFailure;
    if (options.format == ReadFormat::Tsv && !print(readingTsvHeader()))
        return ExitFailure;
    bool first = true;
    const auto text = [&](const ChannelData *records, const std::optional<RelayStates> &relays) {
        switch (options.format) {
        case ReadFormat::Table:
            return first ? readingTable(records, relays) : '\n' + readingTable(records, relays);
        case ReadFormat::Tsv:
            return readingTsvRow(QTime::currentTime(), records, relays);
        case ReadFormat::Json:
            return readingJson(QDateTime::currentDateTime(), records, relays);
        }
        return QByteArray();
    };
    const bool allWell = readingLoop(
        unit, options, [&](const ChannelData *records, const std::optional<RelayStates> &relays) {
            const QByteArray reading = text(records, relays);
            first = false;
            if (print(reading))
                return true;
            // Nobody takes the readings any more (the pipe's reader left, the disk is full).
            say(tr("the readings cannot be written: %1").arg(qt_error_string(errno)));
            requestStop();
            return false;
        });
    return allWell ? ExitSuccess : ExitFailure;
}

int relay(const CliOptions &options)
{
    Unit unit;
    if (!openUnit(unit, options))
        return ExitFailure;
    return unit.switchRelay(options.relay, options.on) ? ExitSuccess : ExitFailure;
}

int getCal(const CliOptions &options)
{
    Unit unit;
    if (!openUnit(unit, options))
        return ExitFailure;
    const UnitResult<Calibration> read = unit.readCalibration(options.channel);
    if (!read) {
        say(tr("%1: the unit did not answer in full; nothing was written.")
                .arg(channelTitle(options.channel)));
        return ExitFailure;
    }
    const QByteArray text = calibrationFileText(*read);
    if (options.output.isEmpty())
        return print(text) ? ExitSuccess : ExitFailure;
    QFile file;
    QString reason;
    if (openRegularFile(file, options.output, QIODevice::WriteOnly | QIODevice::Truncate, &reason)
        != FileOpening::Opened) {
        say(tr("%1 cannot be written: %2.").arg(shown(options.output), reason));
        return ExitFailure;
    }
    if (file.write(text) != text.size() || !file.flush()) {
        say(tr("%1 cannot be written: %2.").arg(shown(options.output), file.errorString()));
        return ExitFailure;
    }
    return ExitSuccess;
}

// The rows a set-cal sends and, from a table file, its gain; nothing and false after saying why.
bool rowsToSend(const CliOptions &options, Calibration &calibration, bool &hasGain)
{
    if (!options.curveFile.isEmpty()) {
        const CurveTable table = curveTableFromFile(options.curveFile);
        if (!table.refusal.isEmpty()) {
            say(tr("The curve file \"%1\" was not loaded: %2.")
                    .arg(shown(options.curveFile), table.refusal));
            return false;
        }
        calibration.rows = table.rows;
        hasGain = false;
        return true;
    }
    QFile file;
    QString reason;
    if (openRegularFile(file, options.tableFile, QIODevice::ReadOnly, &reason)
        != FileOpening::Opened) {
        say(tr("The table file \"%1\" was not loaded: %2.").arg(shown(options.tableFile), reason));
        return false;
    }
    // A calibration file is some 3 KiB; a curve's cap keeps a wrong file from filling memory.
    const QByteArray text = file.read(MaxCurveFileBytes + 1);
    CalibrationFile table = readCalibrationFile(text);
    if (text.size() > MaxCurveFileBytes)
        table.problem = tr("it is too large");
    else if (table.problem.isEmpty() && !table.gain && !options.hasGain)
        table.problem = tr("it holds no gain and no --gain was given");
    if (!table.problem.isEmpty()) {
        say(tr("The table file \"%1\" was not loaded: %2. Nothing was sent to the unit.")
                .arg(shown(options.tableFile), table.problem));
        return false;
    }
    calibration.rows = table.rows;
    hasGain = bool(table.gain);
    calibration.gain = table.gain.value_or(0);
    return true;
}

int setCal(const CliOptions &options)
{
    Calibration calibration;
    bool hasGain = false;
    if (!rowsToSend(options, calibration, hasGain))
        return ExitFailure;
    Unit unit;
    if (!openUnit(unit, options))
        return ExitFailure;
    const QString title = channelTitle(options.channel);
    if (options.hasGain) {
        calibration.gain = options.gain;
    } else if (!hasGain) {
        // A curve carries no gain: the channel keeps the one it has.
        const UnitResult<Calibration> present = unit.readCalibration(options.channel);
        if (!present) {
            say(tr("%1: the unit did not tell its present gain; nothing was sent. Give --gain.")
                    .arg(title));
            return ExitFailure;
        }
        calibration.gain = present->gain;
    }

    const UnitResult<void> sent = unit.sendCalibration(options.channel, calibration);
    if (!sent) {
        say(tr("%1: the unit did not take the new calibration (%2).%3")
                .arg(title, sent.error(),
                     options.store ? tr(" Nothing was stored.") : QString()));
        return ExitFailure;
    }
    if (!options.store)
        return ExitSuccess;
    const UnitResult<void> stored = unit.storeEeprom();
    if (!stored) {
        say(tr("%1: the calibration was sent but not stored: %2").arg(title, stored.error()));
        return ExitFailure;
    }
    return ExitSuccess;
}

int store(const CliOptions &options)
{
    Unit unit;
    if (!openUnit(unit, options))
        return ExitFailure;
    const UnitResult<void> stored = unit.storeEeprom();
    if (!stored) {
        say(tr("the calibration was not stored: %1").arg(stored.error()));
        return ExitFailure;
    }
    return ExitSuccess;
}

bool stderrIsTerminal()
{
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO);
#else
    return false;
#endif
}

int log(const CliOptions &options)
{
    const QString &fileName = options.logFile;
    if (!options.overwrite && logFileHoldsData(fileName)) {
        say(tr("The log file %1 already holds data; give --overwrite to replace it.")
                .arg(shown(fileName)));
        return ExitFailure;
    }
    Unit unit;
    if (!openUnit(unit, options))
        return ExitFailure;
    const QString error = writeLogLine(fileName, logHeader(options.enables), LogLineMode::Truncate);
    if (!error.isNull()) {
        say(tr("The log file %1 cannot be written: %2.").arg(shown(fileName), error));
        return ExitFailure;
    }

    const bool progress = stderrIsTerminal();
    int rows = 0;
    bool rowFailureReported = false;
    const bool allWell = readingLoop(
        unit, options, [&](const ChannelData *records, const std::optional<RelayStates> &) {
            const QByteArray row = logRow(QTime::currentTime(), records, options.enables);
            const QString error = writeLogLine(fileName, row, LogLineMode::Append);
            if (!error.isNull()) {
                if (!rowFailureReported) {
                    say(tr("A row could not be written to the log file %1: %2. Logging goes on "
                           "and tries again at every sample.")
                            .arg(shown(fileName), error));
                    rowFailureReported = true;
                }
                return false;
            }
            ++rows;
            if (progress) {
                std::fprintf(stderr, "\r%s",
                             qPrintable(tr("%1 rows in %2").arg(rows).arg(shown(fileName))));
                std::fflush(stderr);
            }
            return true;
        });
    if (progress && rows > 0)
        std::fputs("\n", stderr);
    return allWell ? ExitSuccess : ExitFailure;
}

} // namespace

void requestStop()
{
    stopRequested = true;
}

int runCommand(const CliOptions &options)
{
    switch (options.command) {
    case CliCommand::List:
        return list();
    case CliCommand::Read:
        return read(options);
    case CliCommand::Relay:
        return relay(options);
    case CliCommand::GetCal:
        return getCal(options);
    case CliCommand::SetCal:
        return setCal(options);
    case CliCommand::Store:
        return store(options);
    case CliCommand::Log:
        return log(options);
    case CliCommand::None:
        break;
    }
    return ExitUsage;
}
