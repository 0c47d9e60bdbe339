// quadmeter-cli: the operations of the unit from a shell, for scripts and headless computers.
#include "cli/commands.h"
#include "cli/options.h"
#include "logging/logfile.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

bool verbose = false;

// The exchange's debug lines (hex dumps, "Error! Wrong data") are for whoever asks for them.
void filterMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !verbose)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::fflush(stderr);
}

extern "C" void onStopSignal(int)
{
    requestStop();
}

} // namespace

int main(int argc, char *argv[])
{
    ignoreBrokenPipes();
    qInstallMessageHandler(filterMessages);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadmeter-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUADMETER_VERSION));

    const CliOptions options = parseCliArguments(QCoreApplication::arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "quadmeter-cli: %s\n%s", qPrintable(options.error),
                     qPrintable(QStringLiteral("Try quadmeter-cli%1 --help.\n")
                                    .arg(options.command == CliCommand::None ? QString()
                                                                             : QLatin1Char(' ')
                                                 + QCoreApplication::arguments().value(1))));
        return ExitUsage;
    }
    if (options.help) {
        std::fputs(qPrintable(cliUsage(options.command)), stdout);
        return ExitSuccess;
    }
    if (options.version) {
        std::fputs("quadmeter-cli " QUADMETER_VERSION "\n", stdout);
        return ExitSuccess;
    }
    verbose = options.verbose;
    // A read or a log ends after the reading under way, with its output complete. The other
    // commands are short and end at once, as any program does.
    if (options.command == CliCommand::Read || options.command == CliCommand::Log) {
        std::signal(SIGINT, onStopSignal);
        std::signal(SIGTERM, onStopSignal);
    }
    return runCommand(options);
}
