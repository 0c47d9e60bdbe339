// quadmeter-cli get-cal: a channel's calibration as a text file.
#include "calibration/calibrationfile.h"
#include "cli/command.h"
#include "files/wholefile.h"
#include "unit/unit.h"

#include <QCommandLineParser>

#include <memory>

namespace {

class GetCalCommand : public UnitCommand
{
public:
    GetCalCommand()
    {
        name = QStringLiteral("get-cal");
        summary = cliText("a channel's gain and temperature table, as a text file");
        description = cliText(
            "The gain and the 100 rows of the channel's temperature table, as a text file a\n"
            "spreadsheet opens: a line \"Gain<TAB>value\", a header line, then one\n"
            "\"resistance<TAB>temperature\" line per row and the end line \"# end: 100 rows\",\n"
            "CR LF line ends. Every value reads back to the same single-precision number,\n"
            "so set-cal --table and LoadFromFile take exactly what was read. Nothing is\n"
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

private:
    int runOn(Unit &unit, const QString &) override
    {
        const Result<Calibration> read = unit.readCalibration(channel);
        if (!read) {
            say(cliText("%1: the unit did not answer in full; nothing was written.")
                    .arg(channelTitle(channel)));
            return ExitFailure;
        }
        const QByteArray text = calibrationFileText(*read);
        if (output.isEmpty())
            return printResult(text, cliText("the calibration")) ? ExitSuccess : ExitFailure;
        const Result<void> written = writeWholeFile(output, text);
        if (!written) {
            say(cliText("%1 cannot be written: %2.").arg(shown(output), written.error()));
            return ExitFailure;
        }
        return ExitSuccess;
    }

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
