#include "cli/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

// Every command of quadmeter-cli, each made in its own file, in the order the usage lists them.
std::unique_ptr<Command> makeListCommand();
std::unique_ptr<Command> makeReadCommand();
std::unique_ptr<Command> makeRelayCommand();
std::unique_ptr<Command> makeGetCalCommand();
std::unique_ptr<Command> makeSetCalCommand();
std::unique_ptr<Command> makeTakePointCommand();
std::unique_ptr<Command> makeCurveCommand();
std::unique_ptr<Command> makeStoreCommand();
std::unique_ptr<Command> makeBackupCommand();
std::unique_ptr<Command> makeRestoreCommand();
std::unique_ptr<Command> makeLogCommand();
std::unique_ptr<Command> makeServeCommand();

namespace {

using MakeCommand = std::unique_ptr<Command> (*)();
const MakeCommand commandTable[] = {
    makeListCommand,   makeReadCommand,      makeRelayCommand, makeGetCalCommand,
    makeSetCalCommand, makeTakePointCommand, makeCurveCommand, makeStoreCommand,
    makeBackupCommand, makeRestoreCommand,   makeLogCommand,   makeServeCommand,
};

std::unique_ptr<Command> findCommand(const QString &name)
{
    for (const MakeCommand make : commandTable) {
        std::unique_ptr<Command> command = make();
        if (command->name == name)
            return command;
    }
    return nullptr;
}

const QCommandLineOption portOption {
    QStringLiteral("port"),
    cliText("the unit's serial port; without it the one attached unit is found by its USB "
            "identifiers"),
    QStringLiteral("PATH")};
const QCommandLineOption verboseOption {QStringLiteral("verbose"),
                                        cliText("also print the exchange's debug lines to stderr")};
const QCommandLineOption helpAllOption {QStringLiteral("help-all"),
                                        cliText("the usage of the tool and of every command")};
const QCommandLineOption versionOption {QStringLiteral("version"),
                                        cliText("the version of quadmeter-cli")};

QCommandLineOption helpOption(const QString &description)
{
    return {{QStringLiteral("h"), QStringLiteral("help")}, description};
}

// The tool's own options, which stand before the command's name; what follows the name is the
// command's.
void setUpToolParser(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({portOption, verboseOption,
                       helpOption(cliText("what a command takes (quadmeter-cli COMMAND --help)")),
                       helpAllOption, versionOption});
}

// A command's own options, then the common ones (--port only where the command opens a unit).
void setUpCommandParser(QCommandLineParser &parser, const Command &command)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(command.options);
    if (command.takesPort)
        parser.addOption(portOption);
    parser.addOptions({verboseOption, helpOption(cliText("this text"))});
}

// Qt's usage line names the program as it was started; ours names the command too.
QString withUsageLine(const QString &help, const QString &usage)
{
    return QStringLiteral("Usage: quadmeter-cli %1").arg(usage) + help.mid(help.indexOf('\n'));
}

// The same words Qt uses for an option the parser does not know.
QString unknownOptionText(const QString &name)
{
    return QCoreApplication::translate("QCommandLineParser", "Unknown option '%1'.").arg(name);
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    QCommandLineParser tool;
    setUpToolParser(tool);
    if (!tool.parse(arguments)) {
        line.error = tool.errorText();
        return line;
    }
    line.help = tool.isSet(QStringLiteral("help"));
    line.helpAll = tool.isSet(helpAllOption);
    line.version = tool.isSet(versionOption);
    const QStringList rest = tool.positionalArguments();
    if (rest.isEmpty()) {
        if (!line.help && !line.helpAll && !line.version)
            line.error = cliText("no command given");
        return line;
    }
    line.command = findCommand(rest.first());
    if (!line.command) {
        line.error = cliText("unknown command \"%1\"").arg(rest.first());
        return line;
    }
    if (line.helpAll || line.version)
        return line;

    Command &command = *line.command;
    QCommandLineParser own;
    setUpCommandParser(own, command);
    if (!own.parse(QStringList {arguments.value(0)} + rest.mid(1))) {
        line.error = own.errorText();
        return line;
    }
    line.help = line.help || own.isSet(QStringLiteral("help"));
    if (line.help)
        return line;
    line.common.verbose = tool.isSet(verboseOption) || own.isSet(verboseOption);
    if (tool.isSet(portOption) && !command.takesPort) {
        line.error = unknownOptionText(portOption.names().first());
        return line;
    }
    // After the command's name it wins, as the nearer word.
    const bool ownPort = command.takesPort && own.isSet(portOption);
    if (ownPort || tool.isSet(portOption)) {
        line.common.port = ownPort ? own.value(portOption) : tool.value(portOption);
        if (line.common.port.isEmpty()) {
            line.error = cliText("--port needs a path");
            return line;
        }
    }
    const QStringList values = own.positionalArguments();
    const int wanted = int(command.arguments.size());
    if (values.size() != wanted) {
        line.error = values.size() < wanted
            ? cliText("%1 needs more arguments").arg(command.name)
            : cliText("unexpected argument \"%1\"").arg(values.value(wanted));
        return line;
    }
    command.take(own, values, &line.error);
    return line;
}

QString toolUsage()
{
    QCommandLineParser parser;
    setUpToolParser(parser);
    parser.setApplicationDescription(
        cliText("Every operation of the four-channel measurement unit's service tool, from a "
                "shell."));
    QString text = withUsageLine(parser.helpText(), QStringLiteral("[options] COMMAND ..."));

    std::vector<std::unique_ptr<Command>> commands;
    int width = 0;
    for (const MakeCommand make : commandTable) {
        commands.push_back(make());
        width = std::max(width, int(commands.back()->name.size()));
    }
    text += QStringLiteral("\nCommands:\n");
    for (const std::unique_ptr<Command> &command : commands)
        text += QStringLiteral("  %1  %2\n")
                    .arg(command->name.leftJustified(width), command->summary);
    return text
        + cliText("\nChannels are numbered 1-4, as on the tool's pages. Results go to stdout and\n"
                  "messages to stderr. Exit status: 0 on success, 1 when the unit or a file let\n"
                  "the command down, 2 on a usage error.\n");
}

QString commandUsage(const Command &command)
{
    QCommandLineParser parser;
    setUpCommandParser(parser, command);
    parser.setApplicationDescription(command.description);
    QString usage = command.name + QStringLiteral(" [options]");
    for (const Command::Argument &argument : command.arguments) {
        parser.addPositionalArgument(argument.syntax, argument.description);
        usage += QLatin1Char(' ') + argument.syntax;
    }
    return withUsageLine(parser.helpText(), usage);
}

QString fullUsage()
{
    // Each command's part opens with its usage line as a heading ("quadmeter-cli read [options]:")
    // over its indented description, the shape help2man makes a section of.
    QString text = toolUsage();
    for (const MakeCommand make : commandTable) {
        QStringList lines = commandUsage(*make()).split(QLatin1Char('\n'));
        const QString heading = lines.takeFirst().mid(int(qstrlen("Usage: ")));
        for (int line = 0; line < lines.size() && !lines.at(line).isEmpty(); ++line)
            lines[line].prepend(QLatin1String("  "));
        text += QLatin1Char('\n') + heading + QStringLiteral(":\n") + lines.join(QLatin1Char('\n'));
    }
    return text;
}
