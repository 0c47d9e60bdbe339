#include "sim/options.h"

#include <QCommandLineParser>

namespace {

const QCommandLineOption helpOption({"h", "help"}, "shows this text");
const QCommandLineOption versionOption("version", "shows the version");
const QCommandLineOption eepromOption(
    "eeprom",
    "keep the unit's EEPROM in FILE (read at start, written on every Write EEPROM); default: in "
    "memory only",
    "FILE");
const QCommandLineOption noStdinOption("no-stdin", "ignore stdin; serve until a signal arrives");
const QCommandLineOption silentOption("silent", "never answers");
const QCommandLineOption lateOption("late", "answers MS milliseconds late", "MS");
const QCommandLineOption
    splitOption("split",
                "answers in pieces of these sizes (the rest in a last piece), --gap MS apart",
                "N[,N...]");
const QCommandLineOption gapOption("gap", "gap between pieces of --split (default 0)", "MS");
const QCommandLineOption
    surplusOption("surplus", "appends N rubbish bytes to every answer (negative: cuts N)", "N");
const QCommandLineOption garbageOption("garbage", "answers rubbish of the right length");
const QCommandLineOption garbageLengthOption("garbage-length",
                                             "answers rubbish N bytes longer (negative: shorter)",
                                             "N");
const QCommandLineOption lineRateOption("line-rate",
                                        "paces answers at 20 us a byte (500000 baud, 8N1)");
const QCommandLineOption usbPacketsOption("usb-packets",
                                          "sends answers as 64-byte packets 1 ms apart");
const QCommandLineOption
    onlyCodeOption("only-code", "misbehaves only on requests that start with CODE (0-255)", "CODE");
const QCommandLineOption bathOption(
    "bath",
    "holds the sensor of CHANNEL (1-4) at KELVIN, as in a bath at a fixed point; may be repeated",
    "CHANNEL:KELVIN");
const QCommandLineOption timesOption("times", "misbehaves on N answers, then answers normally",
                                     "N");

void setUpParser(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "A simulated four-channel unit on a pseudo-terminal. The first line on stdout is the\n"
        "port's path (/dev/pts/N). Serves until stdin closes or SIGINT/SIGTERM arrives.\n"
        "Lines on stdin: \"hangup\" unplugs the unit, \"replug\" brings it back on a new\n"
        "pseudo-terminal and prints the new path; \"bath 1 273.15\" holds Channel1's sensor\n"
        "at 273.15 K (\"bath 1 off\" lets it drift again). The unit answers promptly and "
        "correctly\n"
        "unless one way of misbehaving is chosen: --silent, --late, --split, --surplus,\n"
        "--garbage, --garbage-length, --line-rate or --usb-packets.");
    parser.addOptions({helpOption, versionOption, eepromOption, noStdinOption, silentOption,
                       lateOption, splitOption, gapOption, surplusOption, garbageOption,
                       garbageLengthOption, lineRateOption, usbPacketsOption, onlyCodeOption,
                       timesOption, bathOption});
}

bool readInt(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= low && *value <= high;
}

} // namespace

std::optional<std::pair<int, std::optional<double>>> parseBath(const QString &channel,
                                                               const QString &kelvin)
{
    int number = 0;
    if (!readInt(channel, 1, 4, &number))
        return std::nullopt;
    if (kelvin == QLatin1String("off"))
        return std::make_pair(number - 1, std::optional<double>());
    bool ok = false;
    const double value = kelvin.toDouble(&ok);
    if (!ok || !(value > 0 && value < 1e5))
        return std::nullopt;
    return std::make_pair(number - 1, std::optional<double>(value));
}

QString simUsage()
{
    QCommandLineParser parser;
    setUpParser(parser);
    // Qt names the program as it was started.
    const QString help = parser.helpText();
    return QStringLiteral("Usage: quadmeter-sim [options]") + help.mid(help.indexOf('\n'));
}

SimOptions parseSimOptions(const QStringList &arguments)
{
    SimOptions options;
    QCommandLineParser parser;
    setUpParser(parser);
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = "unexpected argument " + parser.positionalArguments().first();
        return options;
    }
    options.help = parser.isSet(helpOption);
    options.version = parser.isSet(versionOption);
    options.eepromFile = parser.value(eepromOption);
    options.watchStdin = !parser.isSet(noStdinOption);

    Misbehaviour &m = options.misbehaviour;
    int modes = 0;
    const auto mode = [&](const QCommandLineOption &option, Misbehaviour::Mode value) {
        if (parser.isSet(option)) {
            m.mode = value;
            ++modes;
        }
    };
    mode(silentOption, Misbehaviour::Silent);
    mode(lateOption, Misbehaviour::Late);
    mode(splitOption, Misbehaviour::Split);
    mode(surplusOption, Misbehaviour::Surplus);
    mode(garbageOption, Misbehaviour::Garbage);
    mode(garbageLengthOption, Misbehaviour::GarbageWrongLength);
    mode(lineRateOption, Misbehaviour::LineRate);
    mode(usbPacketsOption, Misbehaviour::UsbPackets);
    if (modes > 1) {
        options.error = "choose one way of misbehaving";
        return options;
    }

    const auto number = [&](const QCommandLineOption &option, int low, int high, int *value) {
        if (parser.isSet(option) && !readInt(parser.value(option), low, high, value))
            options.error = QString("--%1 wants a number from %2 to %3, not \"%4\"")
                                .arg(option.names().first(), QString::number(low),
                                     QString::number(high), parser.value(option));
    };
    number(lateOption, 0, 600000, &m.delayMs);
    number(gapOption, 0, 600000, &m.delayMs);
    number(surplusOption, -100000, 100000, &m.surplusBytes);
    number(garbageLengthOption, -100000, 100000, &m.surplusBytes);
    number(onlyCodeOption, 0, 255, &m.onlyForCode);
    number(timesOption, 1, 1000000000, &m.times);
    if (parser.isSet(splitOption)) {
        for (const QString &size : parser.value(splitOption).split(',')) {
            int value = 0;
            if (!readInt(size, 1, 100000, &value)) {
                options.error
                    = "--split wants sizes like 5,11, not \"" + parser.value(splitOption) + '"';
                break;
            }
            m.pieces.append(value);
        }
    }
    for (const QString &bath : parser.values(bathOption)) {
        const auto taken = parseBath(bath.section(':', 0, 0), bath.section(':', 1));
        if (!taken) {
            options.error
                = "--bath wants a channel and a temperature like 1:273.15, not \"" + bath + '"';
            break;
        }
        options.baths.append(*taken);
    }
    if (parser.isSet(gapOption) && !parser.isSet(splitOption) && options.error.isEmpty())
        options.error = "--gap goes with --split";
    return options;
}
