#include "cli/options.h"

#include "text/numbers.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

namespace {

struct CommandName
{
    CliCommand command;
    const char *name;
};

const CommandName commandNames[] = {
    {CliCommand::List, "list"},      {CliCommand::Read, "read"},      {CliCommand::Relay, "relay"},
    {CliCommand::GetCal, "get-cal"}, {CliCommand::SetCal, "set-cal"}, {CliCommand::Store, "store"},
    {CliCommand::Log, "log"},
};

QString tr(const char *text)
{
    return QCoreApplication::translate("quadmeter-cli", text);
}

const char toolUsage[] = R"(Usage: quadmeter-cli COMMAND [OPTIONS]
Every operation of the four-channel measurement unit's service tool, from a shell.

Commands:
  list                  the attached units: port name, vendor:product
  read                  live readings of the four channels and the relay states
  relay 1|2 on|off      switch a relay
  get-cal CHANNEL       a channel's gain and temperature table, as a text file
  set-cal CHANNEL       send a channel's calibration from a curve or a get-cal file
  store                 make the unit keep its calibration in its EEPROM
  log FILE              write the log file of the logging window

Options of every command (but list's --port):
  --port PATH           the unit's serial port; without it the one attached unit
                        is found by its USB identifiers
  --verbose             also print the exchange's debug lines to stderr
  -h, --help            what a command takes (quadmeter-cli COMMAND --help)

  --version             the version of quadmeter-cli

Channels are numbered 1-4, as on the tool's pages. Results go to stdout and
messages to stderr. Exit status: 0 on success, 1 when the unit or a file let
the command down, 2 on a usage error.
)";

const char portOption[] = R"(
  --port PATH           the unit's serial port (default: the attached unit))";
const char commonOptions[] = R"(
  --verbose             also print the exchange's debug lines to stderr
  -h, --help            this text
)";

QString commandUsage(CliCommand command)
{
    switch (command) {
    case CliCommand::List:
        return QStringLiteral(R"(Usage: quadmeter-cli list
The ports that carry the unit's USB identifiers, one line each: the port name
and vendor:product (ttyACM0 0483:5740). Exit status 1 when no unit is attached.
)");
    case CliCommand::Read:
        return QStringLiteral(
            R"(Usage: quadmeter-cli read [--count N] [--every SECONDS] [--format table|tsv|json]
Live readings of the four channels and the relay states, until N readings were
taken or Ctrl-C/SIGTERM ends it (the reading under way completes first).

  --count N             take N readings, then stop (default: until stopped)
  --every SECONDS       from the start of one reading to the next (default 1)
  --format FORMAT       table: the five quantities of the four channels as the
                        tool's data table shows them, a blank line between
                        readings; tsv: the log file's header and rows with every
                        column, then Relay1 and Relay2 (1 on, 0 off, empty when
                        the unit did not say); json: one object per reading per
                        line, every value exactly as the unit sent it

A reading the unit does not answer in full prints a message to stderr and
nothing to stdout, and the next reading is tried. Exit status 1 when any
reading failed.
)");
    case CliCommand::Relay:
        return QStringLiteral(R"(Usage: quadmeter-cli relay 1|2 on|off
Switches relay 1 or 2 of the unit on or off.
)");
    case CliCommand::GetCal:
        return QStringLiteral(R"(Usage: quadmeter-cli get-cal CHANNEL [-o FILE]
The gain and the 100 rows of the channel's temperature table (CHANNEL 1-4), as
a text file a spreadsheet opens: a line "Gain<TAB>value", a header line, then
one "resistance<TAB>temperature" line per row, CR LF line ends. Every value
reads back to the same single-precision number, so set-cal --table sends
exactly what was read. The file also loads as a curve (LoadFromFile).

  -o, --output FILE     write to FILE instead of stdout; only a regular file
                        (or a new name) is written

Nothing is written when the unit does not answer in full.
)");
    case CliCommand::SetCal:
        return QStringLiteral(
            R"(Usage: quadmeter-cli set-cal CHANNEL (--curve FILE | --table FILE) [--gain G] [--store]
Sends a new calibration of the channel (CHANNEL 1-4) and reads it back to see
that the unit took it.

  --curve FILE          a sensor curve (two columns or .340), resampled into
                        the 100 rows as LoadFromFile does; the gain is --gain
                        or, without it, the gain the unit holds now
  --table FILE          a get-cal file, its rows sent as they are, its gain
                        unless --gain; it must hold exactly 100 rows
  --gain G              the gain to send
  --store               after a verified send, make the unit keep it in its
                        EEPROM (as "Write EEPROM")

Exit status 1 when a file is refused (nothing is sent) or the read-back does
not match (nothing is stored).
)");
    case CliCommand::Store:
        return QStringLiteral(R"(Usage: quadmeter-cli store
Makes the unit keep the present calibration of all channels in its EEPROM
("Write EEPROM").
)");
    case CliCommand::Log:
        return QStringLiteral(
            R"(Usage: quadmeter-cli log FILE [--every SECONDS] [--enable COLUMNS] [--count N] [--overwrite]
Writes the logging window's file: a header line, then one row per reading,
until N readings were taken or Ctrl-C/SIGTERM ends it with the file complete.
A short progress line goes to stderr when it is a terminal.

  --every SECONDS       from the start of one reading to the next (default 1)
  --enable COLUMNS      the columns to log, comma-separated: Voltage0-3,
                        Resistance0-3, Temperature0-3 (default: all twelve)
  --count N             take N readings, then stop (default: until stopped)
  --overwrite           replace a file that already holds data

Only a regular file (or a new name) is written. A reading the unit does not
answer in full writes no row; a row that cannot be written is reported once
and later rows are tried. Exit status 1 when any reading or row failed.
)");
    case CliCommand::None:
        break;
    }
    return QString();
}

bool readCount(const QString &text, int &count)
{
    bool ok = false;
    count = text.toInt(&ok);
    return ok && count > 0;
}

bool readSeconds(const QString &text, double &seconds)
{
    float value = 0;
    // A week is far beyond any interval a run needs; NaN and negatives are no interval.
    if (!readReal(text, value) || !(value >= 0) || value > 7 * 24 * 3600)
        return false;
    seconds = value;
    return true;
}

bool readChannel(const QString &text, int &channel)
{
    bool ok = false;
    channel = text.toInt(&ok) - 1;
    return ok && channel >= 0 && channel < LogChannelCount;
}

} // namespace

QString cliUsage(CliCommand command)
{
    if (command == CliCommand::None)
        return QLatin1String(toolUsage);
    // The options every command takes, after the command's own lines.
    return commandUsage(command) + QStringLiteral("\nOptions:")
        + (command == CliCommand::List ? QString() : QLatin1String(portOption))
        + QLatin1String(commonOptions);
}

bool parseLogEnables(const QString &text, LogEnables &enables, QString &problem)
{
    LogEnables chosen {};
    const QStringList names = text.split(QLatin1Char(','));
    for (const QString &name : names) {
        const QString wanted = name.trimmed();
        bool known = false;
        for (int channel = 0; channel < LogChannelCount && !known; ++channel) {
            for (int quantity = 0; quantity < LogQuantityCount && !known; ++quantity) {
                if (wanted == logColumnName(channel, quantity)) {
                    chosen[channel][quantity] = true;
                    known = true;
                }
            }
        }
        if (!known) {
            problem = tr("unknown column \"%1\" (Voltage0-3, Resistance0-3, Temperature0-3)")
                          .arg(wanted);
            return false;
        }
    }
    enables = chosen;
    return true;
}

CliOptions parseCliArguments(const QStringList &arguments)
{
    CliOptions options;
    const auto refuse = [&options](const QString &why) {
        options.error = why;
        return options;
    };
    const QString first = arguments.value(1);
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        options.help = true;
        return options;
    }
    if (first == QLatin1String("--version")) {
        options.version = true;
        return options;
    }
    if (first.isEmpty()) {
        options.error = tr("no command given");
        return options;
    }
    for (const CommandName &known : commandNames) {
        if (first == QLatin1String(known.name))
            options.command = known.command;
    }
    if (options.command == CliCommand::None) {
        options.error = tr("unknown command \"%1\"").arg(first);
        return options;
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption verbose(QStringLiteral("verbose"), QString());
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption count(QStringLiteral("count"), QString(), QStringLiteral("N"));
    const QCommandLineOption every(QStringLiteral("every"), QString(), QStringLiteral("S"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("F"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("FILE"));
    const QCommandLineOption curve(QStringLiteral("curve"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption table(QStringLiteral("table"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption gain(QStringLiteral("gain"), QString(), QStringLiteral("G"));
    const QCommandLineOption store(QStringLiteral("store"), QString());
    const QCommandLineOption enable(QStringLiteral("enable"), QString(), QStringLiteral("C"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"), QString());
    parser.addOptions({help, verbose});
    int positionals = 0;
    switch (options.command) {
    case CliCommand::List:
        break;
    case CliCommand::Read:
        parser.addOptions({port, count, every, format});
        break;
    case CliCommand::Relay:
        parser.addOption(port);
        positionals = 2;
        break;
    case CliCommand::GetCal:
        parser.addOptions({port, output});
        positionals = 1;
        break;
    case CliCommand::SetCal:
        parser.addOptions({port, curve, table, gain, store});
        positionals = 1;
        break;
    case CliCommand::Store:
        parser.addOption(port);
        break;
    case CliCommand::Log:
        parser.addOptions({port, every, enable, count, overwrite});
        positionals = 1;
        break;
    case CliCommand::None:
        break;
    }

    QStringList rest = arguments.mid(2);
    rest.prepend(arguments.value(0) + QLatin1Char(' ') + first);
    if (!parser.parse(rest)) {
        options.error = parser.errorText();
        return options;
    }
    // Only what the command line holds: asking the parser about an option this command does not
    // take would only draw its warning.
    const QStringList found = parser.optionNames();
    const auto given = [&found](const QCommandLineOption &option) {
        const QStringList names = option.names();
        return std::any_of(names.begin(), names.end(),
                           [&found](const QString &name) { return found.contains(name); });
    };
    if (given(help)) {
        options.help = true;
        return options;
    }
    options.verbose = given(verbose);
    const QStringList values = parser.positionalArguments();
    if (values.size() != positionals) {
        options.error = values.size() < positionals
            ? tr("%1 needs more arguments").arg(first)
            : tr("unexpected argument \"%1\"").arg(values.value(positionals));
        return options;
    }
    if (given(port)) {
        options.port = parser.value(port);
        if (options.port.isEmpty())
            return refuse(tr("--port needs a path"));
    }
    if (given(count) && !readCount(parser.value(count), options.count))
        return refuse(tr("--count takes a whole number above 0"));
    if (given(every) && !readSeconds(parser.value(every), options.every))
        return refuse(tr("--every takes seconds, 0 or more"));
    if (given(format)) {
        const QString name = parser.value(format);
        if (name == QLatin1String("table"))
            options.format = ReadFormat::Table;
        else if (name == QLatin1String("tsv"))
            options.format = ReadFormat::Tsv;
        else if (name == QLatin1String("json"))
            options.format = ReadFormat::Json;
        else
            return refuse(tr("--format is table, tsv or json"));
    }

    switch (options.command) {
    case CliCommand::Relay: {
        const QString &relay = values.at(0);
        const QString &state = values.at(1);
        if (relay != QLatin1String("1") && relay != QLatin1String("2"))
            return refuse(tr("the relay is 1 or 2"));
        if (state != QLatin1String("on") && state != QLatin1String("off"))
            return refuse(tr("the relay is switched on or off"));
        options.relay = relay.toInt();
        options.on = state == QLatin1String("on");
        break;
    }
    case CliCommand::GetCal:
    case CliCommand::SetCal:
        if (!readChannel(values.at(0), options.channel))
            return refuse(tr("the channel is 1, 2, 3 or 4"));
        options.output = given(output) ? parser.value(output) : QString();
        if (given(output) && options.output.isEmpty())
            return refuse(tr("-o needs a file name"));
        break;
    case CliCommand::Log:
        options.logFile = values.at(0);
        if (options.logFile.isEmpty())
            return refuse(tr("log needs a file name"));
        break;
    default:
        break;
    }

    if (options.command == CliCommand::SetCal) {
        options.curveFile = parser.value(curve);
        options.tableFile = parser.value(table);
        if (given(curve) == given(table))
            return refuse(tr("set-cal takes either --curve or --table"));
        if (options.curveFile.isEmpty() && options.tableFile.isEmpty())
            return refuse(tr("set-cal needs a file name"));
        options.hasGain = given(gain);
        if (options.hasGain && !readReal(parser.value(gain), options.gain))
            return refuse(tr("--gain takes a number"));
        options.store = given(store);
    }
    if (options.command == CliCommand::Log) {
        options.overwrite = given(overwrite);
        if (given(enable) && !parseLogEnables(parser.value(enable), options.enables, options.error))
            return options;
    }
    return options;
}
