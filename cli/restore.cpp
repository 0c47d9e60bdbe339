// quadmeter-cli restore: sends a saved whole-unit calibration back, channel by channel, verified.
#include "calibration/calibrationcheck.h"
#include "calibration/calibrationfile.h"
#include "calibration/curvefile.h"
#include "cli/command.h"
#include "files/regularfile.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QFile>

#include <memory>

namespace {

QString titles(const QList<int> &channels)
{
    QStringList names;
    for (const int channel : channels)
        names.append(channelTitle(channel));
    return names.join(QLatin1String(", "));
}

class RestoreCommand : public Command
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
            "one way only with --force. --store writes the EEPROM only when every channel\n"
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
            int channel = 0;
            if (!readChannel(parser.value(channelOption), channel)) {
                *error = cliText("the channel is 1, 2, 3 or 4");
                return false;
            }
            channels = {channel};
        } else {
            for (int channel = 0; channel < ChannelCount; ++channel)
                channels.append(channel);
        }
        store = parser.isSet(storeOption);
        force = parser.isSet(forceOption);
        backUp = !parser.isSet(noBackupOption());
        return true;
    }

    int run(const CommonOptions &common) override
    {
        QVector<Calibration> saved;
        if (!readFile(saved))
            return ExitFailure;
        Unit unit;
        if (!openUnit(unit, common) || (backUp && !keepBackup(unit)))
            return ExitFailure;

        QList<int> verified;
        for (const int channel : channels) {
            if (stopIsRequested())
                return interrupted(verified);
            const Result<void> sent = unit.sendCalibration(channel, saved.at(channel));
            if (!sent) {
                say(cliText("%1: the unit did not take the saved calibration (%2).%3")
                        .arg(channelTitle(channel), sent.error(), sentSoFar(verified)));
                return ExitFailure;
            }
            verified.append(channel);
        }
        if (stopIsRequested())
            return interrupted(verified);
        if (!store)
            return ExitSuccess;
        const Result<void> stored = unit.storeEeprom();
        if (!stored) {
            say(cliText("the calibration was sent but not stored: %1").arg(stored.error()));
            return ExitFailure;
        }
        say(cliText("stored"));
        return ExitSuccess;
    }

private:
    // The file's calibrations, each one that is to go checked; false after saying why not.
    bool readFile(QVector<Calibration> &saved) const
    {
        QFile file;
        QString reason;
        if (openRegularFile(file, input, QIODevice::ReadOnly, &reason) != FileOpening::Opened) {
            say(cliText("The backup file \"%1\" was not loaded: %2.").arg(shown(input), reason));
            return false;
        }
        const QByteArray text = file.read(MaxCurveFileBytes + 1);
        UnitCalibrationFile read = readUnitCalibrationFile(text);
        if (text.size() > MaxCurveFileBytes)
            read.problem = cliText("it is too large");
        else if (read.problem.isEmpty() && calibrationFileKind(text) != CalibrationFileKind::Unit)
            read.problem = cliText("it is no whole unit's calibration written by backup");
        if (!read.problem.isEmpty()) {
            say(cliText("The backup file \"%1\" was not loaded: %2. Nothing was sent to the unit.")
                    .arg(shown(input), read.problem));
            return false;
        }
        for (const int channel : channels) {
            const CalibrationCheck check = checkCalibration(read.channels.at(channel));
            if (check.verdict == CalibrationCheck::Possible
                || (check.verdict == CalibrationCheck::OutOfOrder && force))
                continue;
            say(cliText("%1: %2.%3 Nothing was sent to the unit.")
                    .arg(channelTitle(channel), check.problem,
                         check.verdict == CalibrationCheck::OutOfOrder
                             ? cliText(" --force sends it all the same.")
                             : QString()));
            return false;
        }
        saved = read.channels;
        return true;
    }

    QString sentSoFar(const QList<int> &verified) const
    {
        QString text = verified.isEmpty() ? QString()
                                          : cliText(" %1 sent and verified;").arg(titles(verified));
        return text + (store ? cliText(" nothing was stored.") : QString());
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
        QStringLiteral("channel"), cliText("send only this channel, 1-4"), QStringLiteral("N")};
    const QCommandLineOption storeOption {
        QStringLiteral("store"),
        cliText("when every channel sent was verified, make the unit keep them in its EEPROM")};
    const QCommandLineOption forceOption {QStringLiteral("force"),
                                          cliText("send a table whose rows do not run one way")};

    QString input;
    QList<int> channels;
    bool store = false;
    bool force = false;
    bool backUp = true;
};

} // namespace

std::unique_ptr<Command> makeRestoreCommand()
{
    return std::make_unique<RestoreCommand>();
}
