// quadmeter-cli get-cal: a channel's calibration as a text file.
#include "calibration/calibrationfile.h"
#include "cli/command.h"
#include "files/regularfile.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QFile>

#include <memory>

namespace {

class GetCalCommand : public Command
{
public:
    GetCalCommand()
    {
        name = QStringLiteral("get-cal");
        summary = cliText("a channel's gain and temperature table, as a text file");
        description = cliText(
            "The gain and the 100 rows of the channel's temperature table, as a text file a\n"
            "spreadsheet opens: a line \"Gain<TAB>value\", a header line, then one\n"
            "\"resistance<TAB>temperature\" line per row, CR LF line ends. Every value reads\n"
            "back to the same single-precision number, so set-cal --table sends exactly\n"
            "what was read. The file also loads as a curve (LoadFromFile). Nothing is\n"
            "written when the unit does not answer in full.");
        options = {outputOption};
        arguments = {{QStringLiteral("CHANNEL"), cliText("the channel, 1-4")}};
    }

    bool take(const QCommandLineParser &parser, const QStringList &values, QString *error) override
    {
        if (!readChannel(values.at(0), channel)) {
            *error = cliText("the channel is 1, 2, 3 or 4");
            return false;
        }
        output = parser.value(outputOption);
        if (parser.isSet(outputOption) && output.isEmpty()) {
            *error = cliText("-o needs a file name");
            return false;
        }
        return true;
    }

    int run(const CommonOptions &common) override
    {
        Unit unit;
        if (!openUnit(unit, common))
            return ExitFailure;
        const Result<Calibration> read = unit.readCalibration(channel);
        if (!read) {
            say(cliText("%1: the unit did not answer in full; nothing was written.")
                    .arg(channelTitle(channel)));
            return ExitFailure;
        }
        const QByteArray text = calibrationFileText(*read);
        if (output.isEmpty())
            return printResult(text, cliText("the calibration")) ? ExitSuccess : ExitFailure;
        QFile file;
        QString reason;
        if (openRegularFile(file, output, QIODevice::WriteOnly | QIODevice::Truncate, &reason)
            != FileOpening::Opened) {
            say(cliText("%1 cannot be written: %2.").arg(shown(output), reason));
            return ExitFailure;
        }
        if (file.write(text) != text.size() || !file.flush()) {
            say(cliText("%1 cannot be written: %2.").arg(shown(output), file.errorString()));
            return ExitFailure;
        }
        return ExitSuccess;
    }

private:
    const QCommandLineOption outputOption {
        {QStringLiteral("o"), QStringLiteral("output")},
        cliText("write to FILE instead of stdout; only a regular file (or a new name) is written"),
        QStringLiteral("FILE")};

    int channel = 0;
    QString output; // empty: stdout
};

} // namespace

std::unique_ptr<Command> makeGetCalCommand()
{
    return std::make_unique<GetCalCommand>();
}
