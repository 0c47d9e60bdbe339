#pragma once

// A logging run of the command line: one unit, one file (or one a day), a row per reading. It
// stays with the unit it started on: while that unit is away it writes nothing and looks for it at
// every sample, on its own port or, by its serial number, on another; another unit is never
// logged. GUI-free; the clock, the port list and the messages come from the caller.
#include "link/portlister.h"
#include "link/unitports.h"
#include "logging/logformat.h"

#include <QString>

#include <functional>

class Unit;

struct LogRunSettings
{
    QString fileName; // with `daily`, the name each day's date goes into
    LogEnables enables = allLogEnables();
    LogTimeStyle timeStyle = LogTimeStyle::Clock;
    bool milliseconds = false; // in ISO time stamps, for runs of more than a row a second
    bool daily = false;
    enum class Earlier { Refuse, Overwrite, Append };
    Earlier earlier = Earlier::Refuse; // a file that already holds data
};

class LogRun
{
public:
    using Say = std::function<void(const QString &)>;

    // `unit` is open on the port `identity` names.
    LogRun(Unit &unit, const UnitIdentity &identity, const LogRunSettings &settings, Say say,
           LogClock clock = systemLogClock());

    // Where the unit is looked for once it went away; the system's serial ports unless replaced.
    void setPortLister(PortLister lister);

    // Starts the first file. False after saying why (a file that holds other data, or one that
    // cannot be written).
    bool start();

    enum class Sample { Row, NoRow, Away };
    // One reading and its row; while the unit is away, one look for it.
    Sample sample();

    int rows() const { return rowCount; }
    // False once a reading or a row has failed.
    bool allWell() const { return well; }

private:
    bool findUnitAgain();
    bool startFile(const QString &fileName);
    QString fileFor(const QDateTime &time) const;
    QString stamp() const;

    Unit &unit;
    UnitIdentity identity;
    LogRunSettings settings;
    Say say;
    LogClock clock;
    PortLister lister;
    QByteArray header;
    QString currentFile;
    QString refusedFile; // a day's file that held other data: its rows are not written
    bool anotherTold = false;
    int rowsLost = 0; // rows not written since the last one that was
    bool well = true;
    int rowCount = 0;
};

// The unit a run starts with: the port it was opened on, as the lister names it, and that port's
// serial number.
UnitIdentity identityOf(const QList<PortEntry> &ports, const QString &openedName);
