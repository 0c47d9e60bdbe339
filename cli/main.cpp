// quadmeter-cli: the operations of the unit from a shell, for scripts and headless computers.
#include "cli/commandline.h"
#include "logging/logfile.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <csignal>
#include <cstdio>

namespace {

extern "C" void onStopSignal(int)
{
    requestStop();
}

} // namespace

int main(int argc, char *argv[])
{
    ignoreBrokenPipes();
    // Messages go to stderr as bare lines, as the tool's own do (QT_MESSAGE_PATTERN still rules).
    qSetMessagePattern(QStringLiteral("%{message}"));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadmeter-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUADMETER_VERSION));

    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    if (!line.error.isEmpty()) {
        const QString command = line.command ? QLatin1Char(' ') + line.command->name : QString();
        std::fprintf(stderr, "quadmeter-cli: %s\n%s", qPrintable(line.error),
                     qPrintable(QStringLiteral("Try quadmeter-cli%1 --help.\n").arg(command)));
        return ExitUsage;
    }
    if (line.help || line.helpAll) {
        const QString help = line.helpAll ? fullUsage()
            : line.command                ? commandUsage(*line.command)
                                          : toolUsage();
        return printResult(help.toUtf8(), cliText("the help")) ? ExitSuccess : ExitFailure;
    }
    if (line.version) {
        return printResult("quadmeter-cli " QUADMETER_VERSION "\n", cliText("the version"))
            ? ExitSuccess
            : ExitFailure;
    }
    // The exchange's debug lines (hex dumps, "Error! Wrong data") are for whoever asks for them;
    // QT_LOGGING_RULES, read after these rules, still has the last word.
    if (line.common.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("quadmeter.*.debug=true"));
    // A read or a log ends after the reading under way, with its output complete; a command that
    // sends to the unit after its transfer. The other commands are short and end at once, as any
    // program does. The handlers stay, so a second Ctrl-C cuts nothing either.
    if (line.command->runsUntilStopped || line.command->finishesTransfers) {
        std::signal(SIGINT, onStopSignal);
        std::signal(SIGTERM, onStopSignal);
    }
    return line.command->run(line.common);
}
