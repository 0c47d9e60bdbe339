#include "exporter/unitpoller.h"

#include "unit/unit.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>

struct UnitPoller::Followed
{
    UnitIdentity identity; // the name the lister knows the port by, once it was listed
    bool named = false;
    Unit unit;
    UnitMetrics metrics;
    qint64 dueMs = 0;
};

namespace {

// The lister's name for a path the operator named ("/dev/ttyACM0" is listed as "ttyACM0").
QString listedName(const QString &named, const QList<PortEntry> &ports)
{
    for (const PortEntry &entry : ports) {
        if (entry.portName == named || QStringLiteral("/dev/") + entry.portName == named)
            return entry.portName;
    }
    return named;
}

QString serialOf(const QString &portName, const QList<PortEntry> &ports)
{
    for (const PortEntry &entry : ports) {
        if (entry.portName == portName)
            return entry.serialNumber;
    }
    return {};
}

QString described(const UnitMetrics &metrics)
{
    return metrics.serial.isEmpty()
        ? metrics.port
        : QStringLiteral("%1 (serial number %2)").arg(metrics.port, metrics.serial);
}

// The one place that knows how the unit hands out a live reading.
bool takeReading(Unit &unit, UnitMetrics &metrics)
{
    const Result<LiveReading> reading = unit.readLive();
    if (!reading)
        return false;
    metrics.channels = reading->channels;
    metrics.relays.reset();
    if (reading->relays)
        metrics.relays
            = std::array<bool, RelayCount> {reading->relays->relay1, reading->relays->relay2};
    return true;
}

} // namespace

UnitPoller::UnitPoller(const QStringList &named, double everySeconds, PortLister portLister)
    : automatic(named.isEmpty())
    , intervalMs(qMax(qint64(1), qint64(everySeconds * 1000)))
    , lister(std::move(portLister))
{
    clock.start();
    const QList<PortEntry> ports = lister();
    for (const QString &path : named) {
        auto followed = std::make_unique<Followed>();
        followed->named = true;
        followed->identity.portName = listedName(path, ports);
        followed->identity.serialNumber = serialOf(followed->identity.portName, ports);
        followed->metrics.port = path;
        followed->metrics.serial = followed->identity.serialNumber;
        units.push_back(std::move(followed));
    }
}

UnitPoller::~UnitPoller() = default;

void UnitPoller::discover(const QList<PortEntry> &ports)
{
    for (const QString &name : unitPortNames(ports)) {
        const bool known = std::any_of(units.begin(), units.end(), [&](const auto &followed) {
            return whereNow(*followed, ports) == name;
        });
        if (known)
            continue;
        auto followed = std::make_unique<Followed>();
        followed->identity = {name, serialOf(name, ports)};
        followed->metrics.port = name;
        followed->metrics.serial = followed->identity.serialNumber;
        followed->dueMs = clock.elapsed();
        units.push_back(std::move(followed));
    }
}

// A unit is followed by its serial number to whatever port it comes back on. A port the
// operator named is opened as named while it is not listed (a udev link, a pseudo-terminal),
// but never once it is known to carry another unit's serial number.
QString UnitPoller::whereNow(const Followed &followed, const QList<PortEntry> &ports) const
{
    const QString listed = portOfUnit(ports, followed.identity);
    if (!listed.isEmpty() || !followed.named || isAnotherUnit(ports, followed.identity))
        return listed;
    return followed.identity.portName;
}

void UnitPoller::read(Followed &followed, const QList<PortEntry> &ports)
{
    UnitMetrics &metrics = followed.metrics;
    ++metrics.readings;
    bool complete = false;
    if (!followed.unit.isOpen()) {
        // A named port that was not attached at the start is known by the lister's name now.
        if (followed.named && followed.identity.serialNumber.isEmpty())
            followed.identity.portName = listedName(metrics.port, ports);
        const QString where = whereNow(followed, ports);
        if (!where.isEmpty() && followed.unit.open(where)) {
            // A unit first seen without a serial number is followed by the one its port reports.
            if (followed.identity.serialNumber.isEmpty()) {
                followed.identity.serialNumber = serialOf(where, ports);
                metrics.serial = followed.identity.serialNumber;
            }
        }
    }
    if (followed.unit.isOpen())
        complete = takeReading(followed.unit, metrics);
    // A port that failed as an unplugged unit's does is closed by an event of its own.
    QCoreApplication::processEvents();
    metrics.up = complete;
    if (complete)
        metrics.lastReadingMs = QDateTime::currentMSecsSinceEpoch();
    else
        ++metrics.failures;
}

qint64 UnitPoller::pollDue(const std::function<void(const QByteArray &)> &publish,
                           const std::function<void(const QString &)> &say)
{
    // The port list is asked for only when it can change something: a unit to look for, or a
    // look-out for new units once an interval.
    const qint64 now = clock.elapsed();
    const bool looking = automatic && now >= nextDiscoveryMs;
    const bool searching = std::any_of(units.begin(), units.end(), [now](const auto &followed) {
        return now >= followed->dueMs && !followed->unit.isOpen();
    });
    const QList<PortEntry> ports = looking || searching ? lister() : QList<PortEntry>();
    if (looking) {
        nextDiscoveryMs = now + intervalMs;
        discover(ports);
        if (units.empty() && !toldNoUnit)
            say(QStringLiteral("no unit attached; it is read as soon as it is plugged in"));
        toldNoUnit = toldNoUnit || units.empty();
    }
    for (const auto &followed : units) {
        if (clock.elapsed() < followed->dueMs)
            continue;
        // The next reading is due an interval after this one started, however long it took.
        followed->dueMs = clock.elapsed() + intervalMs;
        const bool wasUp = followed->metrics.up;
        const bool firstTry = followed->metrics.readings == 0;
        read(*followed, ports);
        if (followed->metrics.up != wasUp || (firstTry && !followed->metrics.up))
            say(followed->metrics.up
                    ? QStringLiteral("%1: readings come").arg(described(followed->metrics))
                    : QStringLiteral("%1: no complete reading").arg(described(followed->metrics)));
        publish(metricsText(metrics()));
    }
    qint64 next = intervalMs;
    for (const auto &followed : units)
        next = std::min(next, followed->dueMs - clock.elapsed());
    return std::max<qint64>(0, next);
}

QList<UnitMetrics> UnitPoller::metrics() const
{
    QList<UnitMetrics> all;
    for (const auto &followed : units)
        all.append(followed->metrics);
    return all;
}
