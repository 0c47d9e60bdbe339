#include "calibration/unitbackup.h"

#include "calibration/calibrationfile.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QDateTime>

Result<QVector<Calibration>> readUnitCalibration(Unit &unit)
{
    QVector<Calibration> channels;
    for (int channel = 0; channel < ChannelCount; ++channel) {
        const Result<Calibration> read = unit.readCalibration(channel);
        if (!read)
            return Failure {QStringLiteral("Channel%1: %2").arg(channel + 1).arg(read.error())};
        channels.append(*read);
    }
    return channels;
}

Result<QByteArray> unitCalibrationFromUnit(Unit &unit, const QString &tool)
{
    const Result<QVector<Calibration>> channels = readUnitCalibration(unit);
    if (!channels)
        return Failure {channels.error()};
    const UnitIdentity who = unit.identity();
    const UnitCalibrationHeader header {QDateTime::currentDateTime(), who.portName,
                                        who.serialNumber, tool};
    return unitCalibrationText(header, *channels);
}

Result<QString> backUpBeforeChange(Unit &unit, BackupStore &store, const QString &tool)
{
    const UnitIdentity who = unit.identity();
    if (!store.isDue(who))
        return QString();
    const Result<QVector<Calibration>> channels = readUnitCalibration(unit);
    if (!channels)
        return Failure {channels.error()};
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray text = unitCalibrationText(
        UnitCalibrationHeader {now, who.portName, who.serialNumber, tool}, *channels);
    const Result<QString> path = store.write(who, text, now);
    if (!path)
        return Failure {
            QCoreApplication::translate("BackupStore", "the backup could not be written: %1")
                .arg(path.error())};
    return path;
}
