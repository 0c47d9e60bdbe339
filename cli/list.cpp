// quadmeter-cli list: the attached units.
#include "cli/command.h"
#include "link/unitports.h"

#include <memory>

namespace {

class ListCommand : public Command
{
public:
    ListCommand()
    {
        name = QStringLiteral("list");
        summary = cliText("the attached units: port name, vendor:product, serial number");
        description = cliText(
            "The ports that carry the unit's USB identifiers, one line each: the port name,\n"
            "vendor:product and the USB serial number where the port reports one\n"
            "(ttyACM0 0483:5740 205E3372504B). Exit status 1 when no unit is attached.");
        // It looks for every unit, so it opens none.
        takesPort = false;
    }

    bool take(const QCommandLineParser &, const QStringList &, QString *) override { return true; }

    int run(const CommonOptions &) override
    {
        const QList<PortEntry> ports = systemPorts();
        const QStringList attached = unitPortNames(ports);
        if (attached.isEmpty()) {
            say(cliText("no unit attached"));
            return ExitFailure;
        }
        const QString ids = QStringLiteral("%1:%2")
                                .arg(UnitVendorId, 4, 16, QLatin1Char('0'))
                                .arg(UnitProductId, 4, 16, QLatin1Char('0'));
        QByteArray lines;
        for (const PortEntry &entry : ports) {
            if (!attached.contains(entry.portName))
                continue;
            QString line = entry.portName + QLatin1Char(' ') + ids;
            if (!entry.serialNumber.isEmpty())
                line += QLatin1Char(' ') + entry.serialNumber;
            lines += (line + QLatin1Char('\n')).toUtf8();
        }
        return printResult(lines, cliText("the list of units")) ? ExitSuccess : ExitFailure;
    }
};

} // namespace

std::unique_ptr<Command> makeListCommand()
{
    return std::make_unique<ListCommand>();
}
