#include "calibration/unitbackup.h"

#include "calibration/calibrationfile.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QDateTime>

UnitResult<QVector<Calibration>> readUnitCalibration(Unit &unit)
{
    QVector<Calibration> channels;
    for (int channel = 0; channel < ChannelCount; ++channel) {
        const UnitResult<Calibration> read = unit.readCalibration(channel);
        if (!read)
            return UnitFailure {QStringLiteral("Channel%1: %2").arg(channel + 1).arg(read.error())};
        channels.append(*read);
    }
    return channels;
}

UnitResult<QByteArray> unitCalibrationFromUnit(Unit &unit, const QString &tool)
{
    const UnitResult<QVector<Calibration>> channels = readUnitCalibration(unit);
    if (!channels)
        return UnitFailure {channels.error()};
    const UnitIdentity who = unit.identity();
    const UnitCalibrationHeader header {QDateTime::currentDateTime(), who.portName,
                                        who.serialNumber, tool};
    return unitCalibrationText(header, *channels);
}

UnitResult<QString> backUpBeforeChange(Unit &unit, BackupStore &store, const QString &tool)
{
    const UnitIdentity who = unit.identity();
    if (!store.isDue(who))
        return QString();
    const UnitResult<QVector<Calibration>> channels = readUnitCalibration(unit);
    if (!channels)
        return UnitFailure {channels.error()};
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray text = unitCalibrationText(
        UnitCalibrationHeader {now, who.portName, who.serialNumber, tool}, *channels);
    QString error;
    const QString path = store.write(who, text, now, &error);
    if (path.isEmpty())
        return UnitFailure {
            QCoreApplication::translate("BackupStore", "the backup could not be written: %1")
                .arg(error)};
    return path;
}
