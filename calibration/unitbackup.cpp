#include "calibration/unitbackup.h"

#include "calibration/calibrationfile.h"
#include "files/regularfile.h"
#include "link/protocol.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

namespace {

bool sameBits(const Calibration &a, const Calibration &b)
{
    if (protocol::floatBits(a.gain) != protocol::floatBits(b.gain)
        || a.rows.size() != b.rows.size())
        return false;
    for (int row = 0; row < a.rows.size(); ++row) {
        if (protocol::floatBits(a.rows.at(row).resistance)
                != protocol::floatBits(b.rows.at(row).resistance)
            || protocol::floatBits(a.rows.at(row).temperature)
                != protocol::floatBits(b.rows.at(row).temperature))
            return false;
    }
    return true;
}

// The backup as a restore would read it off the disk: only a file that gives back every value the
// unit held, bit for bit, is a way back.
Result<void> readBack(const QString &path, const QVector<Calibration> &channels)
{
    QFile file;
    const Result<void> opened = openRegularFile(file, path, QIODevice::ReadOnly);
    if (!opened)
        return opened;
    const Result<UnitCalibrationFile> read = readUnitCalibrationFile(file.readAll());
    if (!read)
        return Failure {read.error()};
    for (int channel = 0; channel < channels.size(); ++channel) {
        if (read->channels.size() != channels.size()
            || !sameBits(read->channels.at(channel), channels.at(channel)))
            return Failure {QCoreApplication::translate(
                                "BackupStore", "Channel%1 does not read back as the unit holds it")
                                .arg(channel + 1)};
    }
    return {};
}

} // namespace

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
    const Result<void> readsBack = readBack(*path, *channels);
    if (!readsBack) {
        store.discard(who, *path);
        return Failure {
            QCoreApplication::translate("BackupStore", "the backup %1 did not read back whole: %2")
                .arg(QDir::toNativeSeparators(*path), readsBack.error())};
    }
    return path;
}
