#pragma once

// Reads every unit the exporter follows, one after another on the calling thread, so their
// exchanges never interleave; each unit at its own interval. A silent or missing unit costs the
// others only its own reply limits, and a unit that went away is looked for again at every turn.
#include "exporter/metricstext.h"
#include "link/portlister.h"
#include "link/unitports.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class Unit;

class UnitPoller
{
public:
    // `named`: the ports the operator named, followed whatever the port list says; empty: every
    // attached unit, found by its USB identifiers, now and whenever one more is plugged in.
    UnitPoller(const QStringList &named, double everySeconds, PortLister lister = systemPorts);
    ~UnitPoller();

    // Reads the units that are due, handing the page to `publish` after each reading so a slow
    // unit holds back nobody's fresh values; `say` gets a line when a unit goes away or comes
    // back. Returns the milliseconds until the next unit is due.
    qint64 pollDue(const std::function<void(const QByteArray &page)> &publish,
                   const std::function<void(const QString &line)> &say);

    QList<UnitMetrics> metrics() const;

    // Called with the unit's metrics after each of its complete readings, for the log files.
    void setReadingTaken(std::function<void(const UnitMetrics &unit)> taken);

private:
    struct Followed;

    void discover(const QList<PortEntry> &ports);
    void read(Followed &followed, const QList<PortEntry> &ports);
    QString whereNow(const Followed &followed, const QList<PortEntry> &ports) const;

    bool automatic;
    bool toldNoUnit = false;
    qint64 nextDiscoveryMs = 0;
    qint64 intervalMs;
    PortLister lister;
    std::function<void(const UnitMetrics &)> readingTaken;
    QElapsedTimer clock;
    std::vector<std::unique_ptr<Followed>> units;
};
