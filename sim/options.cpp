#include "sim/options.h"

#include <QCommandLineParser>

namespace {

const QString usage = QStringLiteral(
    "Usage: quadmeter-sim [options]\n"
    "A simulated four-channel unit on a pseudo-terminal. The first line on stdout is the\n"
    "port's path (/dev/pts/N). Serves until stdin closes or SIGINT/SIGTERM arrives.\n"
    "Lines on stdin: \"hangup\" unplugs the unit, \"replug\" brings it back on a new\n"
    "pseudo-terminal and prints the new path.\n"
    "\n"
    "Options:\n"
    "  --eeprom FILE          keep the unit's EEPROM in FILE (read at start, written on\n"
    "                         every Write EEPROM); default: in memory only\n"
    "  --no-stdin             ignore stdin; serve until a signal arrives\n"
    "How the unit answers (one of these; default: promptly and correctly):\n"
    "  --silent               never answers\n"
    "  --late MS              answers MS milliseconds late\n"
    "  --split N[,N...]       answers in pieces of these sizes (the rest in a last piece),\n"
    "                         --gap MS apart\n"
    "  --gap MS               gap between pieces of --split (default 0)\n"
    "  --surplus N            appends N rubbish bytes to every answer (negative: cuts N)\n"
    "  --garbage              answers rubbish of the right length\n"
    "  --garbage-length N     answers rubbish N bytes longer (negative: shorter)\n"
    "  --line-rate            paces answers at 20 us a byte (500000 baud, 8N1)\n"
    "  --usb-packets          sends answers as 64-byte packets 1 ms apart\n"
    "  --only-code CODE       misbehaves only on requests that start with CODE (0-255)\n"
    "  --times N              misbehaves on N answers, then answers normally\n"
    "  -h, --help             shows this text\n"
    "  --version              shows the version\n");

bool readInt(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= low && *value <= high;
}

} // namespace

QString simUsage()
{
    return usage;
}

SimOptions parseSimOptions(const QStringList &arguments)
{
    SimOptions options;
    QCommandLineParser parser;
    const QCommandLineOption help({"h", "help"}, "help");
    const QCommandLineOption version("version", "version");
    const QCommandLineOption eeprom("eeprom", "file", "FILE");
    const QCommandLineOption noStdin("no-stdin", "no stdin");
    const QCommandLineOption silent("silent", "silent");
    const QCommandLineOption late("late", "late", "MS");
    const QCommandLineOption split("split", "split", "N,N");
    const QCommandLineOption gap("gap", "gap", "MS");
    const QCommandLineOption surplus("surplus", "surplus", "N");
    const QCommandLineOption garbage("garbage", "garbage");
    const QCommandLineOption garbageLength("garbage-length", "garbage length", "N");
    const QCommandLineOption lineRate("line-rate", "line rate");
    const QCommandLineOption usbPackets("usb-packets", "usb packets");
    const QCommandLineOption onlyCode("only-code", "code", "CODE");
    const QCommandLineOption times("times", "times", "N");
    parser.addOptions({help, version, eeprom, noStdin, silent, late, split, gap, surplus, garbage,
                       garbageLength, lineRate, usbPackets, onlyCode, times});
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = "unexpected argument " + parser.positionalArguments().first();
        return options;
    }
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    options.eepromFile = parser.value(eeprom);
    options.watchStdin = !parser.isSet(noStdin);

    Misbehaviour &m = options.misbehaviour;
    int modes = 0;
    const auto mode = [&](const QCommandLineOption &option, Misbehaviour::Mode value) {
        if (parser.isSet(option)) {
            m.mode = value;
            ++modes;
        }
    };
    mode(silent, Misbehaviour::Silent);
    mode(late, Misbehaviour::Late);
    mode(split, Misbehaviour::Split);
    mode(surplus, Misbehaviour::Surplus);
    mode(garbage, Misbehaviour::Garbage);
    mode(garbageLength, Misbehaviour::GarbageWrongLength);
    mode(lineRate, Misbehaviour::LineRate);
    mode(usbPackets, Misbehaviour::UsbPackets);
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
    number(late, 0, 600000, &m.delayMs);
    number(gap, 0, 600000, &m.delayMs);
    number(surplus, -100000, 100000, &m.surplusBytes);
    number(garbageLength, -100000, 100000, &m.surplusBytes);
    number(onlyCode, 0, 255, &m.onlyForCode);
    number(times, 1, 1000000000, &m.times);
    if (parser.isSet(split)) {
        for (const QString &size : parser.value(split).split(',')) {
            int value = 0;
            if (!readInt(size, 1, 100000, &value)) {
                options.error = "--split wants sizes like 5,11, not \"" + parser.value(split) + '"';
                break;
            }
            m.pieces.append(value);
        }
    }
    if (parser.isSet(gap) && !parser.isSet(split) && options.error.isEmpty())
        options.error = "--gap goes with --split";
    return options;
}
