#include "demo/demooptions.h"

#include "link/unitports.h"
#include "sim/options.h"
#include "sim/ptyhost.h"

#include <QCommandLineParser>

namespace {

constexpr int MaxUnits = 8;

PortEntry attachedUnit(const QString &portName)
{
    PortEntry entry;
    entry.portName = portName;
    entry.hasUsbIds = true;
    entry.vendorId = UnitVendorId;
    entry.productId = UnitProductId;
    return entry;
}

const QCommandLineOption unitsOption(
    QStringLiteral("units"),
    QStringLiteral("simulate N units at once (1-%1); with two or more the tool asks which (each "
                   "unit's sensors read differently, as the lines at start say)")
        .arg(MaxUnits),
    QStringLiteral("N"));
const QCommandLineOption eepromOption(
    QStringLiteral("eeprom"),
    QStringLiteral("keep the simulated unit's EEPROM in FILE across runs (further units use "
                   "FILE.2, FILE.3, ...)"),
    QStringLiteral("FILE"));
const QCommandLineOption portOption(
    QStringLiteral("port"),
    QStringLiteral("use the serial device PATH as the one attached unit, simulating none"),
    QStringLiteral("PATH"));
const QCommandLineOption bathOption(
    QStringLiteral("bath"),
    QStringLiteral("hold every simulated unit's sensor of CHANNEL (1-4) at KELVIN, as in a bath "
                   "at a fixed point, to take calibration points; may be repeated"),
    QStringLiteral("CHANNEL:KELVIN"));
const QCommandLineOption
    verboseOption(QStringLiteral("verbose"),
                  QStringLiteral("print the debug lines of the exchange with the unit to stderr"));
const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("show this text"));
const QCommandLineOption versionOption(QStringLiteral("version"),
                                       QStringLiteral("show the version"));

void setUpParser(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("The measurement unit's service tool, wired to a simulated unit."));
    parser.addOptions({unitsOption, eepromOption, portOption, bathOption, verboseOption, helpOption,
                       versionOption});
}

} // namespace

QString demoUsage()
{
    QCommandLineParser parser;
    setUpParser(parser);
    // Qt names the program as it was started.
    const QString help = parser.helpText();
    return QStringLiteral("Usage: quadmeter-demo [options]") + help.mid(help.indexOf('\n'));
}

DemoOptions parseDemoOptions(const QStringList &arguments)
{
    DemoOptions options;
    QCommandLineParser parser;
    setUpParser(parser);
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("unexpected argument %1")
                            .arg(parser.positionalArguments().constFirst());
        return options;
    }
    options.help = parser.isSet(helpOption);
    options.version = parser.isSet(versionOption);
    options.verbose = parser.isSet(verboseOption);
    for (const QCommandLineOption &option : {unitsOption, eepromOption, portOption}) {
        if (parser.isSet(option) && parser.value(option).isEmpty()) {
            options.error = QStringLiteral("--%1 needs a value").arg(option.names().constFirst());
            return options;
        }
    }
    const bool unitsGiven = parser.isSet(unitsOption);
    if (unitsGiven) {
        const QString value = parser.value(unitsOption);
        bool ok = false;
        options.units = value.toInt(&ok);
        if (!ok || options.units < 1 || options.units > MaxUnits) {
            options.error = QStringLiteral("--units takes a number from 1 to %1, not %2")
                                .arg(QString::number(MaxUnits), value);
            return options;
        }
    }
    for (const QString &bath : parser.values(bathOption)) {
        const auto taken = parseBath(bath.section(':', 0, 0), bath.section(':', 1));
        if (!taken) {
            options.error = QStringLiteral("--bath takes a channel and a temperature like "
                                           "1:273.15, not %1")
                                .arg(bath);
            return options;
        }
        options.baths.append(*taken);
    }
    options.eepromFile = parser.value(eepromOption);
    options.port = parser.value(portOption);
    if (!options.port.isEmpty() && (unitsGiven || !options.eepromFile.isEmpty()))
        options.error = QStringLiteral("--port uses a real device; it goes with neither --units "
                                       "nor --eeprom");
    else if (!options.port.isEmpty() && !options.baths.isEmpty())
        options.error
            = QStringLiteral("--bath holds a simulated sensor; it does not go with --port");
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
        host->withFirmware([&options](Firmware &unit) {
            for (const auto &bath : options.baths)
                unit.setBath(bath.first, bath.second);
        });
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
