#include "demo/demooptions.h"

#include "sim/ptyhost.h"

namespace {

constexpr int MaxUnits = 8;

PortEntry attachedUnit(const QString &portName)
{
    PortEntry entry;
    entry.portName = portName;
    entry.hasUsbIds = true;
    entry.vendorId = 1155;
    entry.productId = 22336;
    return entry;
}

} // namespace

QString demoUsage()
{
    return QStringLiteral(
        "Usage: quadmeter-demo [--units N] [--eeprom FILE] [--port PATH]\n"
        "The measurement unit's service tool, wired to a simulated unit.\n"
        "\n"
        "Options:\n"
        "  --units N      simulate N units at once (1-%1); with two or more the tool asks which\n"
        "                 (each unit's sensors read differently, as the lines at start say)\n"
        "  --eeprom FILE  keep the simulated unit's EEPROM in FILE across runs (further units use\n"
        "                 FILE.2, FILE.3, ...)\n"
        "  --port PATH    use the serial device PATH as the one attached unit, simulating none\n"
        "  --help         show this text\n"
        "  --version      show the version\n")
        .arg(MaxUnits);
}

DemoOptions parseDemoOptions(const QStringList &arguments)
{
    DemoOptions options;
    bool unitsGiven = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool takesValue = argument == QLatin1String("--units")
            || argument == QLatin1String("--eeprom") || argument == QLatin1String("--port");
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
            continue;
        }
        if (argument == QLatin1String("--version")) {
            options.version = true;
            continue;
        }
        if (!takesValue) {
            options.error = QStringLiteral("unknown option %1").arg(argument);
            return options;
        }
        if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
            options.error = QStringLiteral("%1 needs a value").arg(argument);
            return options;
        }
        const QString &value = arguments.at(++i);
        if (argument == QLatin1String("--units")) {
            bool ok = false;
            options.units = value.toInt(&ok);
            unitsGiven = true;
            if (!ok || options.units < 1 || options.units > MaxUnits) {
                options.error = QStringLiteral("--units takes a number from 1 to %1, not %2")
                                    .arg(MaxUnits)
                                    .arg(value);
                return options;
            }
        } else if (argument == QLatin1String("--eeprom")) {
            options.eepromFile = value;
        } else {
            options.port = value;
        }
    }
    if (!options.port.isEmpty() && (unitsGiven || !options.eepromFile.isEmpty()))
        options.error = QStringLiteral("--port uses a real device; it goes with neither --units "
                                       "nor --eeprom");
    return options;
}

DemoUnits::DemoUnits() = default;

DemoUnits::~DemoUnits() = default;

bool DemoUnits::start(const DemoOptions &options, QString *error)
{
    if (!options.port.isEmpty()) {
        externalPort = options.port;
        return true;
    }
    for (int i = 0; i < options.units; ++i) {
        QString eeprom = options.eepromFile;
        if (!eeprom.isEmpty() && i > 0)
            eeprom += QStringLiteral(".%1").arg(i + 1);
        auto host = std::make_unique<PtyHost>(eeprom, i);
        if (!host->start()) {
            *error = QStringLiteral("cannot start a simulated unit (no pseudo-terminal)");
            return false;
        }
        hosts.push_back(std::move(host));
    }
    return true;
}

PortLister DemoUnits::lister() const
{
    const QStringList paths = portPaths();
    return [paths] {
        QList<PortEntry> ports;
        for (const QString &path : paths)
            ports.append(attachedUnit(path));
        return ports;
    };
}

QStringList DemoUnits::descriptions() const
{
    if (!externalPort.isEmpty())
        return {QStringLiteral("unit on %1").arg(externalPort)};
    QStringList lines;
    for (const auto &host : hosts) {
        double kelvin = 0;
        host->withFirmware([&kelvin](Firmware &unit) { kelvin = unit.trueTemperature(0); });
        lines.append(QStringLiteral("unit %1 on %2, its Channel1 near %3 K")
                         .arg(QString::number(lines.size() + 1), host->portPath(),
                              QString::number(qRound(kelvin))));
    }
    return lines;
}

QStringList DemoUnits::portPaths() const
{
    if (!externalPort.isEmpty())
        return {externalPort};
    QStringList paths;
    for (const auto &host : hosts)
        paths.append(host->portPath());
    return paths;
}
