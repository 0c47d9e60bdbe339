// quadmeter-cli restore: sends a saved whole-unit calibration back, channel by channel, verified.
#include "calibration/tablesource.h"
#include "cli/command.h"
#include "unit/unit.h"

#include <QCommandLineParser>

#include <algorithm>
#include <memory>

namespace {

QString titles(const QList<int> &channels)
{
    if (channels.size() == ChannelCount)
        return QStringLiteral("Channel1–Channel%1").arg(ChannelCount);
    QStringList names;
    for (const int channel : channels)
        names.append(channelTitle(channel));
    return names.join(QLatin1String(", "));
}

class RestoreCommand : public UnitCommand
{
public:
    RestoreCommand()
    {
        name = QStringLiteral("restore");
        summary = cliText("send a calibration saved by backup back to the unit");
        description = cliText(
            "Sends each channel of FILE (or only --channel) to the unit and reads it back to\n"
            "see that the unit took it, bit for bit. A file that is not whole, or a value no\n"
            "sensor has, is refused before anything is sent; a table whose rows do not run\n"
            "one way only with --force, and so is a backup of another unit (by its USB\n"
            "serial number). --store writes the EEPROM only when every channel\n"
            "sent was verified. Ctrl-C ends it after the channel under way, with exit\n"
            "status 130.");
        options = {channelOption, storeOption, forceOption, noBackupOption()};
        arguments = {{QStringLiteral("FILE"), cliText("a file written by backup")}};
        // A transfer is never cut in half: Ctrl-C is taken between channels.
        finishesTransfers = true;
    }

    bool take(const QCommandLineParser &parser, const QStringList &values, QString *error) override
    {
        input = values.at(0);
        if (parser.isSet(channelOption)) {
            channels.clear();
            for (const QString &value : parser.values(channelOption)) {
                int channel = 0;
                if (!readChannel(value, channel)) {
                    *error = cliText("the channel is 1, 2, 3 or 4");
                    return false;
                }
                if (channels.contains(channel)) {
                    *error = cliText("--channel names each channel once");
                    return false;
                }
                channels.append(channel);
            }
            std::sort(channels.begin(), channels.end());
        } else {
            for (int channel = 0; channel < ChannelCount; ++channel)
                channels.append(channel);
        }
        store = parser.isSet(storeOption);
        force = parser.isSet(forceOption);
        backUp = !parser.isSet(noBackupOption());
        return true;
    }

    bool beforeOpening() override { return readFile(saved); }

    int runOn(Unit &unit, const QString &) override
    {
        if (!isFromThisUnit(unit) || (backUp && !keepBackup(unit)))
            return ExitFailure;

        QList<int> verified;
        for (const int channel : channels) {
            if (stopIsRequested())
                return interrupted(verified);
            const Result<void> sent = unit.sendCalibration(channel, saved.at(channel));
            if (!sent) {
                say(cliText("%1.%2").arg(
                    Unit::notTakenSentence(channelTitle(channel), cliText("saved"), sent),
                    sentSoFar(verified)));
                return ExitFailure;
            }
            verified.append(channel);
        }
        if (stopIsRequested())
            return interrupted(verified);
        if (!store) {
            say(cliText("restored %1, verified; not stored").arg(titles(channels)));
            return ExitSuccess;
        }
        const Result<void> stored = unit.storeEeprom();
        if (!stored) {
            say(cliText("the calibration was sent but not stored: %1").arg(stored.error()));
            return ExitFailure;
        }
        say(cliText("restored %1, verified; stored").arg(titles(channels)));
        return ExitSuccess;
    }

private:
    // The file's calibrations, each one that is to go checked; false after saying why not.
    bool readFile(QVector<Calibration> &saved)
    {
        const Result<TableSource> source = readTableSource(input);
        if (!source) {
            say(cliText("The backup file \"%1\" was not loaded: %2.")
                    .arg(shown(input), source.error()));
            return false;
        }
        const Result<UnitCalibrationFile> read = unitCalibration(*source);
        if (!read) {
            say(cliText("The backup file \"%1\" was not loaded: %2. Nothing was sent to the unit.")
                    .arg(shown(input), read.error()));
            return false;
        }
        CommandChoices choices(force, cliText("--force sends it all the same."));
        for (const int channel : channels) {
            if (!maySend(channel, read->channels.at(channel), choices))
                return false;
        }
        saved = read->channels;
        savedFrom = read->serialNumber;
        return true;
    }

    // Another unit's calibration fits no sensor of this one: sent only when asked for by name.
    bool isFromThisUnit(const Unit &unit) const
    {
        const QString serial = unit.identity().serialNumber;
        if (force || savedFrom.isEmpty() || serial.isEmpty() || serial == savedFrom)
            return true;
        say(cliText("The backup file \"%1\" was taken from the unit with USB serial number %2, "
                    "not from this one (%3); --force restores it all the same. Nothing was sent "
                    "to the unit.")
                .arg(shown(input), savedFrom, serial));
        return false;
    }

    QString sentSoFar(const QList<int> &verified) const
    {
        if (verified.isEmpty())
            return store ? cliText(" Nothing was stored.") : QString();
        return (store ? cliText(" %1 sent and verified; nothing was stored.")
                      : cliText(" %1 sent and verified."))
            .arg(titles(verified));
    }

    int interrupted(const QList<int> &verified) const
    {
        QList<int> notSent = channels.mid(verified.size());
        QStringList parts;
        if (!verified.isEmpty())
            parts.append(cliText("%1 sent and verified").arg(titles(verified)));
        if (!notSent.isEmpty())
            parts.append(cliText("%1 not sent").arg(titles(notSent)));
        parts.append(cliText("nothing was stored"));
        say(cliText("interrupted: %1").arg(parts.join(QLatin1String("; "))));
        return ExitInterrupted;
    }

    const QCommandLineOption channelOption {
        QStringLiteral("channel"),
        cliText("send only this channel, 1-4; given again, each channel named is sent, in channel "
                "order"),
        QStringLiteral("N")};
    const QCommandLineOption storeOption {
        QStringLiteral("store"),
        cliText("when every channel sent was verified, make the unit keep them in its EEPROM")};
    const QCommandLineOption forceOption {
        QStringLiteral("force"),
        cliText("send a table whose rows do not run one way, or a backup of another unit (by its "
                "USB serial number)")};

    QString input;
    QString savedFrom; // the USB serial number of the unit the file was taken from, if it says
    QList<int> channels;
    bool store = false;
    bool force = false;
    bool backUp = true;
    QVector<Calibration> saved; // the file's calibrations, by channel
};

} // namespace

std::unique_ptr<Command> makeRestoreCommand()
{
    return std::make_unique<RestoreCommand>();
}
