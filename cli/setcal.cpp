// quadmeter-cli set-cal: sends a channel's calibration from a curve or a get-cal file.
#include "calibration/tablesource.h"
#include "cli/benchcal.h"
#include "cli/command.h"
#include "text/numbers.h"
#include "unit/unit.h"

#include <QCommandLineParser>

#include <memory>

namespace {

class SetCalCommand : public UnitCommand
{
public:
    SetCalCommand()
    {
        name = QStringLiteral("set-cal");
        summary = cliText("send a channel's calibration from a curve or a get-cal file");
        description = cliText(
            "Sends a new calibration of the channel, from --curve, --table or --standard.\n"
            "With --points the table (or with --from-unit the one the channel holds) is first\n"
            "corrected through the points taken with take-point, and what the correction does\n"
            "is printed. It is sent and read back to see that the unit took it. Exit status 1\n"
            "when a file or its values are refused (nothing is sent) or the read-back does not\n"
            "match (nothing is stored).\n"
            "Before the first send, all four channels are read and kept in the backups\n"
            "folder (the path is printed); when that fails, nothing is sent.\n"
            "Ctrl-C lets a transfer under way finish, then exits 130 saying what the unit holds.");
        options = QList<QCommandLineOption> {curveOption, tableOption} + standardOptions()
            + QList<QCommandLineOption> {fromUnitOption, pointsOption, gainOption,
                                         storeOption,    forceOption,  noBackupOption()};
        finishesTransfers = true;
        arguments = {{QStringLiteral("CHANNEL"), cliText("the channel, 1-4")}};
    }

    bool take(const QCommandLineParser &parser, const QStringList &values, QString *error) override
    {
        if (!readChannel(values.at(0), channel)) {
            *error = cliText("the channel is 1, 2, 3 or 4");
            return false;
        }
        curveFile = parser.value(curveOption);
        tableFile = parser.value(tableOption);
        if (!takeStandard(parser, standard, error))
            return false;
        fromUnit = parser.isSet(fromUnitOption);
        pointsFile = parser.value(pointsOption);
        if (int(parser.isSet(curveOption)) + int(parser.isSet(tableOption)) + int(bool(standard))
                + int(fromUnit)
            != 1) {
            *error = cliText("set-cal takes one of --curve, --table, --standard and --from-unit");
            return false;
        }
        if (fromUnit && pointsFile.isEmpty()) {
            *error = cliText("--from-unit goes with --points");
            return false;
        }
        if (parser.isSet(pointsOption) && pointsFile.isEmpty()) {
            *error = cliText("--points needs a file name");
            return false;
        }
        if (!standard && !fromUnit && curveFile.isEmpty() && tableFile.isEmpty()) {
            *error = cliText("set-cal needs a file name");
            return false;
        }
        hasGain = parser.isSet(gainOption);
        if (hasGain && !readReal(parser.value(gainOption), gain)) {
            *error = cliText("--gain takes a number");
            return false;
        }
        store = parser.isSet(storeOption);
        force = parser.isSet(forceOption);
        backUp = !parser.isSet(noBackupOption());
        return true;
    }

    bool beforeOpening() override
    {
        if (!pointsFile.isEmpty() && !loadPoints(pointsFile, channel, points))
            return false;
        if (!fromUnit && !rowsToSend(calibration, fileHasGain))
            return false;
        if (hasGain)
            calibration.gain = gain;
        // What can be judged without the unit is judged before its port is opened.
        return !((hasGain || fileHasGain) && refused(calibration));
    }

    int runOn(Unit &unit, const QString &) override
    {
        const QString title = channelTitle(channel);
        if (backUp && !keepBackup(unit))
            return ExitFailure;
        if ((!hasGain && !fileHasGain) || fromUnit) {
            // A curve carries no gain: the channel keeps the one it has.
            const Result<Calibration> present = unit.readCalibration(channel);
            if (!present && fromUnit) {
                say(cliText("%1: the unit did not tell its present calibration; nothing was sent.")
                        .arg(title));
                return ExitFailure;
            }
            if (!present) {
                say(cliText("%1: the unit did not tell its present gain; nothing was sent. Give "
                            "--gain.")
                        .arg(title));
                return ExitFailure;
            }
            if (!hasGain)
                calibration.gain = present->gain;
            if (fromUnit) {
                const Result<Correction> correction = correctTable(present->rows, points);
                if (!showCorrection(correction, channel))
                    return ExitFailure;
                calibration.rows = correction->rows;
            }
            if (refused(calibration))
                return ExitFailure;
        }

        if (stopIsRequested())
            return interrupted(cliText("nothing was sent"));
        const Result<void> sent = unit.sendCalibration(channel, calibration);
        if (stopIsRequested())
            return interrupted(
                sent ? cliText("%1 was sent and verified; nothing was stored").arg(title)
                     : cliText("%1; nothing was stored")
                           .arg(Unit::notTakenSentence(title, cliText("new"), sent)));
        if (!sent) {
            say(cliText("%1.%2").arg(Unit::notTakenSentence(title, cliText("new"), sent),
                                     store ? cliText(" Nothing was stored.") : QString()));
            return ExitFailure;
        }
        if (!store)
            return ExitSuccess;
        const Result<void> stored = unit.storeEeprom();
        if (!stored) {
            say(cliText("%1: the calibration was sent but not stored: %2")
                    .arg(title, stored.error()));
            return ExitFailure;
        }
        print("stored\n");
        if (stopIsRequested())
            return interrupted(cliText("%1 was sent, verified and stored").arg(title));
        return ExitSuccess;
    }

private:
    // Says why a calibration must not go to the unit, if it must not. A table out of order goes
    // with --force; a value no sensor has never does.
    bool refused(const Calibration &calibration) const
    {
        CommandChoices choices(
            force,
            cliText("Its rows do not run one way, as a sensor's do; --force sends it anyway."));
        return !maySend(channel, calibration, choices);
    }

    // The rows to send and, from a table file, its gain; false after saying why.
    bool rowsToSend(Calibration &calibration, bool &fileHasGain) const
    {
        if (!rowsFromSource(calibration, fileHasGain))
            return false;
        if (points.isEmpty())
            return true;
        const Result<Correction> correction = standard
            ? correctPlatinum(standard->pt, standard->low, standard->high, points)
            : correctTable(calibration.rows, points);
        if (!showCorrection(correction, channel))
            return false;
        calibration.rows = correction->rows;
        return true;
    }

    bool rowsFromSource(Calibration &calibration, bool &fileHasGain) const
    {
        if (standard) {
            // Judged with the options: a standard that came this far has its table.
            calibration.rows = platinumTable(standard->pt, standard->low, standard->high).value();
            fileHasGain = false;
            return true;
        }
        const QString &path = curveFile.isEmpty() ? tableFile : curveFile;
        const Result<TableSource> source = readTableSource(path);
        if (!source) {
            say((curveFile.isEmpty() ? cliText("The table file \"%1\" was not loaded: %2.")
                                     : cliText("The curve file \"%1\" was not loaded: %2."))
                    .arg(shown(path), source.error()));
            return false;
        }
        if (!curveFile.isEmpty()) {
            // A saved calibration holds the very rows the unit had: resampled as a curve, they
            // would be near enough to look right and still not be what was saved.
            if (source->kind != CalibrationFileKind::Curve) {
                say(cliText("The curve file \"%1\" was not loaded: it is a calibration file, not "
                            "a curve; give it with --table (a get-cal file) or to restore (a "
                            "backup). Nothing was sent to the unit.")
                        .arg(shown(curveFile)));
                return false;
            }
            const Result<CurveTable> table = curveTable(*source);
            const QString refusal = table ? table->turnsBack : table.error();
            const bool overruled = table && force;
            if (!refusal.isEmpty() && !overruled) {
                say(cliText("The curve file \"%1\" was not loaded: %2.%3")
                        .arg(shown(curveFile), refusal,
                             table ? cliText(" --force loads it anyway.") : QString()));
                return false;
            }
            calibration.rows = table->rows;
            fileHasGain = false;
            return true;
        }
        Result<CalibrationFile> table = channelCalibration(*source);
        if (table && !table->gain && !hasGain)
            table = Failure {cliText("it holds no gain and no --gain was given")};
        if (!table) {
            say(cliText("The table file \"%1\" was not loaded: %2. Nothing was sent to the unit.")
                    .arg(shown(tableFile), table.error()));
            return false;
        }
        calibration.rows = table->rows;
        fileHasGain = bool(table->gain);
        calibration.gain = table->gain.value_or(0);
        return true;
    }

    const QCommandLineOption curveOption {
        QStringLiteral("curve"),
        cliText("a sensor curve (two columns or .340), resampled into the 100 rows as "
                "LoadFromFile does; the gain is --gain or, without it, the gain the unit holds "
                "now"),
        QStringLiteral("FILE")};
    const QCommandLineOption tableOption {
        QStringLiteral("table"),
        cliText("a get-cal file, its rows sent as they are, its gain unless --gain; it must hold "
                "exactly 100 rows"),
        QStringLiteral("FILE")};
    const QCommandLineOption fromUnitOption {
        QStringLiteral("from-unit"),
        cliText("with --points: correct the table the channel holds now")};
    const QCommandLineOption pointsOption {
        QStringLiteral("points"),
        cliText("a points file from take-point: the table is corrected through the channel's "
                "one to three points before it is sent"),
        QStringLiteral("FILE")};
    const QCommandLineOption gainOption {QStringLiteral("gain"), cliText("the gain to send"),
                                         QStringLiteral("G")};
    const QCommandLineOption storeOption {
        QStringLiteral("store"),
        cliText("after a verified send, make the unit keep it in its EEPROM (as \"Write "
                "EEPROM\")")};

    const QCommandLineOption forceOption {
        QStringLiteral("force"),
        cliText("send a table whose rows do not run one way, or a curve whose temperatures turn "
                "back; a gain or value that is not a finite number above zero is never sent")};

    int channel = 0;
    QString curveFile;
    QString tableFile;
    bool hasGain = false;
    float gain = 0;
    bool store = false;
    bool force = false;
    bool backUp = true;
    std::optional<StandardChoice> standard;
    bool fromUnit = false;
    QString pointsFile;
    QVector<FixedPoint> points;
    Calibration calibration; // what is to be sent, as far as it is known before the unit is read
    bool fileHasGain = false;
};

} // namespace

std::unique_ptr<Command> makeSetCalCommand()
{
    return std::make_unique<SetCalCommand>();
}
