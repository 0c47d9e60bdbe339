#include "calibration/calibrationsend.h"

#include "calibration/calibrationcheck.h"
#include "calibration/unitbackup.h"

bool maySend(int channel, const Calibration &calibration, SendChoices &choices)
{
    const Result<void> values = checkValues(calibration);
    if (!values) {
        choices.refuse(channel, values.error());
        return false;
    }
    const Result<void> order = checkOrder(calibration);
    return order || choices.sendOutOfOrder(channel, order.error());
}

bool backUpBeforeSending(Unit &unit, BackupStore &store, const QString &tool, SendChoices &choices)
{
    const Result<QString> backup = backUpBeforeChange(unit, store, tool);
    if (!backup)
        return choices.sendWithoutBackup(backup.error());
    if (!backup->isEmpty())
        choices.backedUp(*backup);
    return true;
}
