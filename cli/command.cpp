#include "cli/command.h"

#include "text/numbers.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> stopRequested {false};

// Waits until `interval` seconds after `started`, or until a stop is asked for.
void waitUntilNext(const QElapsedTimer &started, double interval)
{
    const qint64 due = qint64(interval * 1000);
    while (!stopRequested && started.elapsed() < due)
        QThread::msleep(ulong(qBound(qint64(1), due - started.elapsed(), qint64(50))));
}

} // namespace

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

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString channelTitle(int channel)
{
    return QStringLiteral("Channel%1").arg(channel + 1);
}

bool openUnit(Unit &unit, const CommonOptions &common)
{
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
    const UnitResult<void> opened = unit.open(name);
    if (!opened) {
        say(cliText("the port %1 cannot be opened: %2").arg(shown(name), opened.error()));
        return false;
    }
    return true;
}

void requestStop()
{
    stopRequested = true;
}

bool readingLoop(Unit &unit, int count, double every,
                 const std::function<bool(const LiveReading &)> &take)
{
    bool allWell = true;
    for (int taken = 0; !stopRequested && (count == 0 || taken < count);) {
        QElapsedTimer started;
        started.start();
        const UnitResult<LiveReading> reading = unit.readLive();
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
    return ok && channel >= 0 && channel < LogChannelCount;
}

bool parseLogEnables(const QString &text, LogEnables &enables, QString &problem)
{
    LogEnables chosen {};
    const QStringList names = text.split(QLatin1Char(','));
    for (const QString &name : names) {
        const QString wanted = name.trimmed();
        bool known = false;
        for (int channel = 0; channel < LogChannelCount && !known; ++channel) {
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
