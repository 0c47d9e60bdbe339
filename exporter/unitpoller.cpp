#include "exporter/unitpoller.h"

#include "unit/unit.h"
#include "unit/unitfollower.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>

struct UnitPoller::Followed
{
    Followed(const UnitFollower &follower, bool named)
        : follower(follower)
        , named(named)
    { }

    UnitFollower follower; // by the name the lister knows the port by, once it was listed
    bool named = false;
    Unit unit;
    UnitMetrics metrics;
    qint64 dueMs = 0;
    QString openFailure; // why its port would not open at the last try, another program holding it
    QString toldFailure;
};

namespace {

// The lister's name for a path the operator named and its serial number, as far as it is listed.
UnitIdentity listedIdentity(const QString &named, const QList<PortEntry> &ports)
{
    const PortEntry *entry = listedPort(ports, named);
    return entry ? UnitIdentity {entry->portName, entry->serialNumber} : UnitIdentity {named, {}};
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
        auto followed
            = std::make_unique<Followed>(UnitFollower(listedIdentity(path, ports), true), true);
        followed->metrics.port = path;
        followed->metrics.serial = followed->follower.unit().serialNumber;
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
        auto followed
            = std::make_unique<Followed>(UnitFollower(listedIdentity(name, ports), false), false);
        followed->metrics.port = name;
        followed->metrics.serial = followed->follower.unit().serialNumber;
        followed->dueMs = clock.elapsed();
        units.push_back(std::move(followed));
    }
}

QString UnitPoller::whereNow(const Followed &followed, const QList<PortEntry> &ports) const
{
    return followed.follower.look(ports).port;
}

void UnitPoller::read(Followed &followed, const QList<PortEntry> &ports)
{
    UnitMetrics &metrics = followed.metrics;
    ++metrics.readings;
    bool complete = false;
    if (!followed.unit.isOpen()) {
        // A named port that was not attached at the start is known by the lister's name now.
        if (followed.named && followed.follower.unit().serialNumber.isEmpty())
            followed.follower = UnitFollower(listedIdentity(metrics.port, ports), true);
        const QString where = whereNow(followed, ports);
        const Result<void> opened = where.isEmpty() ? Result<void>() : followed.unit.open(where);
        followed.openFailure = opened.error();
        if (!where.isEmpty() && opened) {
            followed.follower.learnSerialNumber(where, ports);
            metrics.serial = followed.follower.unit().serialNumber;
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
        const bool up = followed->metrics.up;
        if (up != wasUp || (firstTry && !up)
            || (!up && followed->openFailure != followed->toldFailure)) {
            const QString why = followed->openFailure.isEmpty()
                ? QString()
                : QStringLiteral(": %1").arg(followed->openFailure);
            say(up ? QStringLiteral("%1: readings come").arg(described(followed->metrics))
                   : QStringLiteral("%1: no complete reading%2")
                         .arg(described(followed->metrics), why));
            followed->toldFailure = followed->openFailure;
        }
        if (up && readingTaken)
            readingTaken(followed->metrics);
        publish(metricsText(metrics()));
    }
    qint64 next = intervalMs;
    for (const auto &followed : units)
        next = std::min(next, followed->dueMs - clock.elapsed());
    return std::max<qint64>(0, next);
}

void UnitPoller::setReadingTaken(std::function<void(const UnitMetrics &)> taken)
{
    readingTaken = std::move(taken);
}

QList<UnitMetrics> UnitPoller::metrics() const
{
    QList<UnitMetrics> all;
    for (const auto &followed : units)
        all.append(followed->metrics);
    return all;
}
