#pragma once

// The whole unit's calibration read into one file: what `backup` writes, and what is kept before a
// run of the tool first changes a unit, so that an operator can always go back to it.
#include "calibration/backupstore.h"
#include "values/unitvalues.h"

#include <QByteArray>
#include <QVector>

class Unit;

// All four channels' calibrations, each read whole; the first channel that is not read whole fails
// it ("Channel3: the unit did not answer in full").
Result<QVector<Calibration>> readUnitCalibration(Unit &unit);

// The whole unit's calibration file, read from the unit now; `tool` names the program and its
// version in the file's header.
Result<QByteArray> unitCalibrationFromUnit(Unit &unit, const QString &tool);

// Before this run first sends calibration to the unit: the calibration it holds now, read whole
// and kept in `store`. The new backup's path; empty when this unit was backed up earlier in the
// run. Fails, saying why, when a channel was not read whole or the file could not be written.
Result<QString> backUpBeforeChange(Unit &unit, BackupStore &store, const QString &tool);
