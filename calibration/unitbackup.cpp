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
// unit held, bit for bit, is a way back. Empty when it does; otherwise why not.
QString readBack(const QString &path, const QVector<Calibration> &channels)
{
    QFile file;
    QString reason;
    if (openRegularFile(file, path, QIODevice::ReadOnly, &reason) != FileOpening::Opened)
        return reason;
    const UnitCalibrationFile read = readUnitCalibrationFile(file.readAll());
    if (!read.problem.isEmpty())
        return read.problem;
    for (int channel = 0; channel < channels.size(); ++channel) {
        if (read.channels.size() != channels.size()
            || !sameBits(read.channels.at(channel), channels.at(channel)))
            return QCoreApplication::translate("BackupStore",
                                               "Channel%1 does not read back as the unit holds it")
                .arg(channel + 1);
    }
    return QString();
}

} // namespace

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
    const QString readBackProblem = readBack(path, *channels);
    if (!readBackProblem.isEmpty()) {
        store.discard(who, path);
        return UnitFailure {
            QCoreApplication::translate("BackupStore", "the backup %1 did not read back whole: %2")
                .arg(QDir::toNativeSeparators(path), readBackProblem)};
    }
    return path;
}
