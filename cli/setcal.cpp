// quadmeter-cli set-cal: sends a channel's calibration from a curve or a get-cal file.
#include "calibration/curvefile.h"
#include "cli/command.h"
#include "cli/format.h"
#include "files/regularfile.h"
#include "text/numbers.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QFile>

#include <memory>

namespace {

class SetCalCommand : public Command
{
public:
    SetCalCommand()
    {
        name = QStringLiteral("set-cal");
        summary = cliText("send a channel's calibration from a curve or a get-cal file");
        description = cliText(
            "Sends a new calibration of the channel, from --curve or --table, and reads it\n"
            "back to see that the unit took it. Exit status 1 when a file is refused\n"
            "(nothing is sent) or the read-back does not match (nothing is stored).");
        options = {curveOption, tableOption, gainOption, storeOption};
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
        if (parser.isSet(curveOption) == parser.isSet(tableOption)) {
            *error = cliText("set-cal takes either --curve or --table");
            return false;
        }
        if (curveFile.isEmpty() && tableFile.isEmpty()) {
            *error = cliText("set-cal needs a file name");
            return false;
        }
        hasGain = parser.isSet(gainOption);
        if (hasGain && !readReal(parser.value(gainOption), gain)) {
            *error = cliText("--gain takes a number");
            return false;
        }
        store = parser.isSet(storeOption);
        return true;
    }

    int run(const CommonOptions &common) override
    {
        Calibration calibration;
        bool fileHasGain = false;
        if (!rowsToSend(calibration, fileHasGain))
            return ExitFailure;
        Unit unit;
        if (!openUnit(unit, common))
            return ExitFailure;
        const QString title = channelTitle(channel);
        if (hasGain) {
            calibration.gain = gain;
        } else if (!fileHasGain) {
            // A curve carries no gain: the channel keeps the one it has.
            const UnitResult<Calibration> present = unit.readCalibration(channel);
            if (!present) {
                say(cliText("%1: the unit did not tell its present gain; nothing was sent. Give "
                            "--gain.")
                        .arg(title));
                return ExitFailure;
            }
            calibration.gain = present->gain;
        }

        const UnitResult<void> sent = unit.sendCalibration(channel, calibration);
        if (!sent) {
            say(cliText("%1: the unit did not take the new calibration (%2).%3")
                    .arg(title, sent.error(), store ? cliText(" Nothing was stored.") : QString()));
            return ExitFailure;
        }
        if (!store)
            return ExitSuccess;
        const UnitResult<void> stored = unit.storeEeprom();
        if (!stored) {
            say(cliText("%1: the calibration was sent but not stored: %2")
                    .arg(title, stored.error()));
            return ExitFailure;
        }
        return ExitSuccess;
    }

private:
    // The rows to send and, from a table file, its gain; false after saying why.
    bool rowsToSend(Calibration &calibration, bool &fileHasGain) const
    {
        if (!curveFile.isEmpty()) {
            const CurveTable table = curveTableFromFile(curveFile);
            if (!table.refusal.isEmpty()) {
                say(cliText("The curve file \"%1\" was not loaded: %2.")
                        .arg(shown(curveFile), table.refusal));
                return false;
            }
            calibration.rows = table.rows;
            fileHasGain = false;
            return true;
        }
        QFile file;
        QString reason;
        if (openRegularFile(file, tableFile, QIODevice::ReadOnly, &reason) != FileOpening::Opened) {
            say(cliText("The table file \"%1\" was not loaded: %2.").arg(shown(tableFile), reason));
            return false;
        }
        // A calibration file is some 3 KiB; a curve's cap keeps a wrong file from filling memory.
        const QByteArray text = file.read(MaxCurveFileBytes + 1);
        CalibrationFile table = readCalibrationFile(text);
        if (text.size() > MaxCurveFileBytes)
            table.problem = cliText("it is too large");
        else if (table.problem.isEmpty() && !table.gain && !hasGain)
            table.problem = cliText("it holds no gain and no --gain was given");
        if (!table.problem.isEmpty()) {
            say(cliText("The table file \"%1\" was not loaded: %2. Nothing was sent to the unit.")
                    .arg(shown(tableFile), table.problem));
            return false;
        }
        calibration.rows = table.rows;
        fileHasGain = bool(table.gain);
        calibration.gain = table.gain.value_or(0);
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
    const QCommandLineOption gainOption {QStringLiteral("gain"), cliText("the gain to send"),
                                         QStringLiteral("G")};
    const QCommandLineOption storeOption {
        QStringLiteral("store"),
        cliText("after a verified send, make the unit keep it in its EEPROM (as \"Write "
                "EEPROM\")")};

    int channel = 0;
    QString curveFile;
    QString tableFile;
    bool hasGain = false;
    float gain = 0;
    bool store = false;
};

} // namespace

std::unique_ptr<Command> makeSetCalCommand()
{
    return std::make_unique<SetCalCommand>();
}
