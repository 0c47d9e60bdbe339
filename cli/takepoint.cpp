// quadmeter-cli take-point: the channel's resistance at a known temperature, as a point to
// correct its table through.
#include "cli/benchcal.h"
#include "cli/command.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QFile>

#include <memory>

namespace {

QString presetsText()
{
    QStringList lines;
    for (const FixedPointPreset &preset : fixedPointPresets())
        lines << QStringLiteral("  %1\t%2 K, %3")
                     .arg(QLatin1String(preset.name), QString::number(preset.kelvin),
                          cliText(preset.what));
    return lines.join('\n');
}

class TakePointCommand : public UnitCommand
{
public:
    TakePointCommand()
    {
        name = QStringLiteral("take-point");
        summary = cliText("measure a channel at a known temperature, for set-cal --points");
        description
            = cliText(
                  "Reads the channel's resistance over --readings live readings while its sensor "
                  "is\n"
                  "held at the temperature --at names, and prints the point: channel, kelvin, "
                  "mean\n"
                  "ohms, spread (highest less lowest reading), readings and time, tab-separated.\n"
                  "With -o the point is added to that points file. No point is taken while the\n"
                  "readings drift by more than --max-spread. The fixed points by name:\n")
            + presetsText();
        options = {atOption, outputOption, readingsOption, spreadOption};
        arguments = {{QStringLiteral("CHANNEL"), cliText("the channel, 1-4")}};
    }

    bool take(const QCommandLineParser &parser, const QStringList &values, QString *error) override
    {
        if (!readChannel(values.at(0), channel)) {
            *error = cliText("the channel is 1, 2, 3 or 4");
            return false;
        }
        const std::optional<double> at = fixedPointKelvin(parser.value(atOption));
        if (!at) {
            *error = cliText("--at takes a temperature in kelvin or ln2, ice, triple or lhe");
            return false;
        }
        kelvin = *at;
        output = parser.value(outputOption);
        if (parser.isSet(outputOption) && output.isEmpty()) {
            *error = cliText("-o needs a file name");
            return false;
        }
        if (parser.isSet(readingsOption) && !readCount(parser.value(readingsOption), readings)) {
            *error = cliText("--readings takes a whole number above 0");
            return false;
        }
        bool ok = true;
        if (parser.isSet(spreadOption))
            maxSpreadPpm = parser.value(spreadOption).toDouble(&ok);
        if (!ok || !(maxSpreadPpm >= 0)) {
            *error = cliText("--max-spread takes a number of ppm, 0 or above");
            return false;
        }
        return true;
    }

private:
    bool beforeOpening() override { return output.isEmpty() || readEarlierPoints(earlier); }

    int runOn(Unit &unit, const QString &) override
    {
        const QString title = channelTitle(channel);
        QVector<float> ohms;
        const bool whole = readingLoop(unit, readings, 0, [&](const LiveReading &reading) {
            ohms.append(reading.channels.at(channel).resistance);
            return true;
        });
        if (stopIsRequested())
            return interrupted(cliText("no point was taken"));
        if (!whole) {
            say(cliText("%1: no point was taken, since not every reading came whole.").arg(title));
            return ExitFailure;
        }
        const Result<FixedPoint> point = pointFromReadings(channel, kelvin, ohms, maxSpreadPpm,
                                                           QDateTime::currentDateTimeUtc());
        if (!point) {
            say(cliText("%1: no point was taken: %2. Let the temperature settle, or give "
                        "--max-spread.")
                    .arg(title, point.error()));
            return ExitFailure;
        }
        const QByteArray line = pointLine(*point);
        if (!printResult(line, cliText("the point")))
            return ExitFailure;
        if (output.isEmpty())
            return ExitSuccess;
        return writeOutputFile(output, earlier + line) ? ExitSuccess : ExitFailure;
    }

    // The points the file holds already, or a header for a new file; false after saying why the
    // file cannot take more (it is no points file, so it is not written over).
    bool readEarlierPoints(QByteArray &earlier) const
    {
        earlier = pointsFileHeader();
        if (!QFile::exists(output))
            return true;
        const Result<PointsFile> file = readPointsFile(output);
        if (!file) {
            say(cliText("%1 cannot take the point: %2. No point was taken.")
                    .arg(shown(output), file.error()));
            return false;
        }
        const QByteArray &text = file->text;
        if (!text.trimmed().isEmpty())
            earlier = text.endsWith('\n') ? text : text + '\n';
        return true;
    }

    const QCommandLineOption atOption {
        QStringLiteral("at"),
        cliText("the temperature the sensor is held at: kelvin, or ln2, ice, triple or lhe"),
        QStringLiteral("KELVIN")};
    const QCommandLineOption outputOption {{QStringLiteral("o"), QStringLiteral("output")},
                                           cliText("add the point to this points file"),
                                           QStringLiteral("FILE")};
    const QCommandLineOption readingsOption {QStringLiteral("readings"),
                                             cliText("live readings to average (default 10)"),
                                             QStringLiteral("N")};
    const QCommandLineOption spreadOption {
        QStringLiteral("max-spread"),
        cliText("the largest spread of the readings, in ppm of their mean (default 100)"),
        QStringLiteral("PPM")};

    int channel = 0;
    double kelvin = 0;
    QString output;
    int readings = DefaultPointReadings;
    double maxSpreadPpm = DefaultMaxSpreadPpm;
    QByteArray earlier; // what the points file held before, to which the point is added
};

} // namespace

std::unique_ptr<Command> makeTakePointCommand()
{
    return std::make_unique<TakePointCommand>();
}
