// quadmeter-cli serve: the readings of every unit for Prometheus, until stopped.
#include "cli/command.h"
#include "exporter/exporter.h"

#include <QCommandLineParser>

#include <memory>

namespace {

const QCommandLineOption listenOption {
    QStringLiteral("listen"),
    cliText("where scrapes come in: an IP address of this computer and a TCP port (default "
            "127.0.0.1:19340); another address than loopback only when named"),
    QStringLiteral("ADDRESS:PORT")};
const QCommandLineOption everyOption {
    QStringLiteral("every"), cliText("how often each unit is read, in seconds (default 5)"),
    QStringLiteral("SECONDS")};

class ServeCommand : public Command
{
public:
    ServeCommand()
    {
        name = QStringLiteral("serve");
        summary = cliText("the readings of every unit for Prometheus, over HTTP");
        description = cliText(
            "Serves the readings of the units at http://ADDRESS:PORT/metrics in Prometheus's\n"
            "text format, until Ctrl-C/SIGTERM. The units are every attached unit, found by\n"
            "its USB identifiers (also one plugged in later), or those named by --port, which\n"
            "may be given several times. They are read one after another, each every\n"
            "--every seconds; a scrape gets the latest readings at once. A unit that goes\n"
            "away stays listed with quadmeter_up 0 and is read again when it comes back, on\n"
            "another port too when it reports the same USB serial number. Only GET and HEAD\n"
            "of /metrics and / are answered. Exit status 1 when the address cannot be taken.");
        options = {listenOption, everyOption};
        runsUntilStopped = true;
    }

    bool take(const QCommandLineParser &parser, const QStringList &, QString *error) override
    {
        ports = parser.values(QStringLiteral("port"));
        if (ports.contains(QString())) {
            *error = cliText("--port needs a path");
            return false;
        }
        if (parser.isSet(everyOption)
            && (!readSeconds(parser.value(everyOption), settings.everySeconds)
                || settings.everySeconds <= 0)) {
            *error = cliText("--every takes seconds above 0");
            return false;
        }
        if (parser.isSet(listenOption)) {
            const Result<ListenAddress> listen = parseListenAddress(parser.value(listenOption));
            if (!listen) {
                *error = cliText("--listen: %1").arg(listen.error());
                return false;
            }
            settings.listen = *listen;
        }
        return true;
    }

    int run(const CommonOptions &common) override
    {
        settings.ports
            = ports.isEmpty() && !common.port.isEmpty() ? QStringList {common.port} : ports;
        return runExporter(settings, stopIsRequested, say) ? ExitSuccess : ExitFailure;
    }

private:
    QStringList ports;
    ExporterSettings settings;
};

} // namespace

std::unique_ptr<Command> makeServeCommand()
{
    return std::make_unique<ServeCommand>();
}
