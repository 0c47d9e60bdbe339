#pragma once

// Where the calibration a unit held goes before a run of the tool first changes it: one file per
// unit and run, in one folder of the user's data, the newest kept. No widgets; every front end
// keeps its backups through this.
#include "link/unitports.h"
#include "values/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>

class BackupStore
{
public:
    // At least this many of the newest backups stay; older ones are removed as new ones come.
    static constexpr int Kept = 50;

    // The "backups" folder in the data folder of `program` as the system names it for the user
    // (QStandardPaths::AppDataLocation). The window and the command line both pass "quadmeter", so
    // an operator finds the backups of either in one place.
    static QString defaultFolder(const QString &program);

    explicit BackupStore(const QString &folder);
    QString folder() const;

    // Whether this unit's calibration still wants its backup in this run.
    bool isDue(const UnitIdentity &unit) const;

    // Writes `text`, the unit's calibration read at `when`, as a new file of the folder (made when
    // missing), marks the unit as backed up in this run and removes the oldest backups beyond the
    // newest Kept. The file's path, or why it could not be written.
    Result<QString> write(const UnitIdentity &unit, const QByteArray &text, const QDateTime &when);

private:
    QString folderPath;
    QSet<QString> backedUp; // the units backed up in this run
};

// "2026-12-08_00-12-34_SN0042.txt": the local date and time, then the unit's serial number or,
// where its port reports none, its port name, with anything but letters, digits, "." and "-" made
// "-" so that every system takes it as a file name.
QString backupFileName(const UnitIdentity &unit, const QDateTime &when);
