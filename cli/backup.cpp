// quadmeter-cli backup: the whole unit's calibration in one file.
#include "calibration/unitbackup.h"
#include "cli/command.h"
#include "files/regularfile.h"
#include "files/wholefile.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <memory>

namespace {

class BackupCommand : public UnitCommand
{
public:
    BackupCommand()
    {
        name = QStringLiteral("backup");
        summary = cliText("save the calibration of all four channels in one file");
        description = cliText(
            "Reads the gain and the table of all four channels and writes them to FILE: a\n"
            "header of comment lines (time, port, USB serial number, tool), then one section\n"
            "per channel in the get-cal format, every value exact. Exit status 1 when a\n"
            "channel is not read whole or the file cannot be written (it is then left as it\n"
            "was). A file that already holds data is replaced only with --overwrite.\n"
            "restore sends it back.");
        options = {overwriteOption};
        arguments = {{QStringLiteral("FILE"), cliText("the file to write")}};
    }

    bool take(const QCommandLineParser &parser, const QStringList &values, QString *error) override
    {
        output = values.at(0);
        if (output.isEmpty()) {
            *error = cliText("backup needs a file name");
            return false;
        }
        overwrite = parser.isSet(overwriteOption);
        return true;
    }

private:
    bool beforeOpening() override
    {
        // Written whole or not at all, and only over a regular file.
        const QFileInfo existing(output);
        if (existing.exists() && !existing.isFile()) {
            say(cliText("%1 cannot be written: %2.").arg(shown(output), notRegularFileText()));
            return false;
        }
        // An earlier backup may be the only way back: replaced only when asked.
        if (existing.exists() && existing.size() > 0 && !overwrite) {
            say(cliText("%1 already holds data; give --overwrite to replace it.")
                    .arg(shown(output)));
            return false;
        }
        return true;
    }

    int runOn(Unit &unit, const QString &) override
    {
        const Result<QByteArray> text
            = unitCalibrationFromUnit(unit, QStringLiteral("quadmeter-cli " QUADMETER_VERSION));
        if (!text) {
            say(cliText("%1; nothing was written.").arg(text.error()));
            return ExitFailure;
        }
        const Result<void> written = writeWholeFile(output, *text);
        if (!written) {
            say(cliText("%1 cannot be written: %2.").arg(shown(output), written.error()));
            return ExitFailure;
        }
        return ExitSuccess;
    }

    const QCommandLineOption overwriteOption {QStringLiteral("overwrite"),
                                              cliText("replace a file that already holds data")};

    QString output;
    bool overwrite = false;
};

} // namespace

std::unique_ptr<Command> makeBackupCommand()
{
    return std::make_unique<BackupCommand>();
}
