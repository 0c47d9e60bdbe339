// quadmeter-cli: the operations of the unit from a shell, for scripts and headless computers.
#include "cli/commandline.h"
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

    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    if (!line.error.isEmpty()) {
        const QString command = line.command ? QLatin1Char(' ') + line.command->name : QString();
        std::fprintf(stderr, "quadmeter-cli: %s\n%s", qPrintable(line.error),
                     qPrintable(QStringLiteral("Try quadmeter-cli%1 --help.\n").arg(command)));
        return ExitUsage;
    }
    if (line.helpAll) {
        std::fputs(qPrintable(fullUsage()), stdout);
        return ExitSuccess;
    }
    if (line.help) {
        std::fputs(qPrintable(line.command ? commandUsage(*line.command) : toolUsage()), stdout);
        return ExitSuccess;
    }
    if (line.version) {
        std::fputs("quadmeter-cli " QUADMETER_VERSION "\n", stdout);
        return ExitSuccess;
    }
    verbose = line.common.verbose;
    // A read or a log ends after the reading under way, with its output complete. The other
    // commands are short and end at once, as any program does.
    if (line.command->runsUntilStopped) {
        std::signal(SIGINT, onStopSignal);
        std::signal(SIGTERM, onStopSignal);
    }
    return line.command->run(line.common);
}
