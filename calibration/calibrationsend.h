#pragma once

// Sending calibration to the unit the one way every program sends it: a value no sensor has never
// goes, rows that do not run one way go only when the operator allows it, and before a run first
// changes the unit, the calibration it holds is kept, so that it can always be restored. The
// program decides what is said and how the operator is asked; Unit::sendCalibration then sends
// and verifies by reading back.
#include "values/unitvalues.h"

#include <QString>

class BackupStore;
class Unit;

// What a program tells the operator and decides while calibration goes to the unit.
class SendChoices
{
public:
    SendChoices() = default;
    SendChoices(const SendChoices &) = delete;
    SendChoices &operator=(const SendChoices &) = delete;
    virtual ~SendChoices() = default;

    // `channel`'s calibration holds a value no sensor has, `problem` the first: it is not sent.
    virtual void refuse(int channel, const QString &problem) = 0;
    // `channel`'s rows do not run one way, `problem` the first field against it: true sends them.
    virtual bool sendOutOfOrder(int channel, const QString &problem) = 0;
    // The unit's present calibration could not be backed up, `why`: true sends without a backup.
    virtual bool sendWithoutBackup(const QString &why) = 0;
    // The unit's present calibration was kept at `path`.
    virtual void backedUp(const QString &path) = 0;
};

// Whether `calibration` may go to `channel`: false once `choices` refused it or would not send it.
bool maySend(int channel, const Calibration &calibration, SendChoices &choices);

// Before the run first changes the unit: its present calibration kept in `store`, as
// backUpBeforeChange keeps it. False when that failed and `choices` would not send without it.
bool backUpBeforeSending(Unit &unit, BackupStore &store, const QString &tool, SendChoices &choices);
