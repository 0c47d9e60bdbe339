#pragma once

// A logging run of the command line: one unit, one file (or one a day), a row per reading. It
// stays with the unit it started on: while that unit is away it writes nothing and looks for it at
// every sample, on its own port or, by its serial number, on another; another unit is never
// logged. GUI-free; the clock, the port list and the messages come from the caller.
#include "link/portlister.h"
#include "link/unitports.h"
#include "logging/logformat.h"
#include "logging/logwriter.h"
#include "unit/unitfollower.h"

#include <QString>

#include <functional>

class Unit;

class LogRun
{
public:
    using Say = std::function<void(const QString &)>;

    // `unit` is open on the port `identity` names.
    LogRun(Unit &unit, const UnitIdentity &identity, const LogRunSettings &settings, const Say &say,
           LogClock clock = systemLogClock());

    // Where the unit is looked for once it went away; the system's serial ports unless replaced.
    void setPortLister(PortLister lister);

    // Starts the first file. False after saying why (a file that holds other data, or one that
    // cannot be written).
    bool start();

    enum class Sample { Row, NoRow, Away };
    // One reading and its row; while the unit is away, one look for it.
    Sample sample();

    int rows() const { return writer.rows(); }
    // False once a reading or a row has failed.
    bool allWell() const { return well && writer.allWell(); }

private:
    bool findUnitAgain();
    QString stamp() const;

    Unit &unit;
    UnitFollower follower;
    Say say;
    LogClock clock;
    PortLister lister;
    LogWriter writer;
    bool anotherTold = false;
    bool well = true; // false once a reading has failed
};

// The unit a run starts with: the port it was opened on, as the lister names it, and that port's
// serial number.
UnitIdentity identityOf(const QList<PortEntry> &ports, const QString &openedName);
