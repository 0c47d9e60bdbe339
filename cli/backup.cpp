// quadmeter-cli backup: the whole unit's calibration in one file.
#include "calibration/unitbackup.h"
#include "cli/command.h"
#include "files/regularfile.h"
#include "unit/unit.h"

#include <QFileInfo>
#include <QSaveFile>

#include <memory>

namespace {

class BackupCommand : public Command
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
            "was). restore sends it back.");
        arguments = {{QStringLiteral("FILE"), cliText("the file to write")}};
    }

    bool take(const QCommandLineParser &, const QStringList &values, QString *error) override
    {
        output = values.at(0);
        if (output.isEmpty()) {
            *error = cliText("backup needs a file name");
            return false;
        }
        return true;
    }

    int run(const CommonOptions &common) override
    {
        // Written whole or not at all, and only over a regular file.
        const QFileInfo existing(output);
        if (existing.exists() && !existing.isFile()) {
            say(cliText("%1 cannot be written: %2.").arg(shown(output), notRegularFileText()));
            return ExitFailure;
        }
        Unit unit;
        if (!openUnit(unit, common))
            return ExitFailure;
        const Result<QByteArray> text
            = unitCalibrationFromUnit(unit, QStringLiteral("quadmeter-cli " QUADMETER_VERSION));
        if (!text) {
            say(cliText("%1; nothing was written.").arg(text.error()));
            return ExitFailure;
        }
        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly) || file.write(*text) != text->size()
            || !file.commit()) {
            say(cliText("%1 cannot be written: %2.").arg(shown(output), file.errorString()));
            return ExitFailure;
        }
        return ExitSuccess;
    }

private:
    QString output;
};

} // namespace

std::unique_ptr<Command> makeBackupCommand()
{
    return std::make_unique<BackupCommand>();
}
