// quadmeter-cli curve: the standard platinum table as a curve file, for the window's LoadFromFile
// or set-cal --curve. Talks to no unit.
#include "cli/benchcal.h"
#include "cli/command.h"

#include <QCommandLineParser>

#include <memory>

namespace {

class CurveCommand : public Command
{
public:
    CurveCommand()
    {
        name = QStringLiteral("curve");
        summary = cliText("write the standard platinum table as a .340 curve file");
        description = cliText(
            "Writes the 100 points of the standard platinum table (IEC 60751), computed from\n"
            "its equation at the temperatures the table's rows have, as a .340 curve file\n"
            "(ohms/kelvin). LoadFromFile and set-cal --curve read it back to the same rows.\n"
            "Talks to no unit.");
        options = standardOptions() + QList<QCommandLineOption> {outputOption};
        takesPort = false;
    }

    bool take(const QCommandLineParser &parser, const QStringList &, QString *error) override
    {
        if (!takeStandard(parser, standard, error))
            return false;
        if (!standard) {
            *error = cliText("curve needs --standard pt100 or --standard pt1000");
            return false;
        }
        output = parser.value(outputOption);
        if (output.isEmpty()) {
            *error = cliText("curve needs -o FILE");
            return false;
        }
        return true;
    }

    int run(const CommonOptions &) override
    {
        return writeOutputFile(output,
                               platinumCurveFile(standard->pt, standard->low, standard->high))
            ? ExitSuccess
            : ExitFailure;
    }

private:
    const QCommandLineOption outputOption {{QStringLiteral("o"), QStringLiteral("output")},
                                           cliText("the curve file to write"),
                                           QStringLiteral("FILE")};

    std::optional<StandardChoice> standard;
    QString output;
};

} // namespace

std::unique_ptr<Command> makeCurveCommand()
{
    return std::make_unique<CurveCommand>();
}
