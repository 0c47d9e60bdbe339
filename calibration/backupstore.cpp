#include "calibration/backupstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

QString unitKey(const UnitIdentity &unit)
{
    return unit.serialNumber.isEmpty() ? QLatin1String("port:") + unit.portName
                                       : QLatin1String("serial:") + unit.serialNumber;
}

// Only what this store wrote is ever removed, whatever else the operator keeps in the folder.
const QRegularExpression &backupName()
{
    static const QRegularExpression name(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}_[A-Za-z0-9.-]+\\.txt$"));
    return name;
}

} // namespace

QString BackupStore::defaultFolder(const QString &program)
{
    // The system's data folder is named after the running program; a front end of another name
    // asks for the tool's.
    const QString running = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(program);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setApplicationName(running);
    return data + QLatin1String("/backups");
}

BackupStore::BackupStore(const QString &folder)
    : folderPath(folder)
{ }

QString BackupStore::folder() const
{
    return folderPath;
}

bool BackupStore::isDue(const UnitIdentity &unit) const
{
    return !backedUp.contains(unitKey(unit));
}

Result<QString> BackupStore::write(const UnitIdentity &unit, const QByteArray &text,
                                   const QDateTime &when)
{
    QDir folder(folderPath);
    if (!folder.mkpath(QStringLiteral("."))) {
        return Failure {
            QCoreApplication::translate("BackupStore", "the folder \"%1\" cannot be made")
                .arg(QDir::toNativeSeparators(folderPath))};
    }
    // Two runs within one second (a script) each keep their own file.
    const QString name = backupFileName(unit, when);
    QString path = folder.filePath(name);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(name.chopped(4) + QStringLiteral("-%1.txt").arg(n));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        return Failure {file.errorString()};
    }
    backedUp.insert(unitKey(unit));

    // The names begin with the date and time, so their order is the order they were taken in.
    QStringList backups;
    for (const QString &entry : folder.entryList(QDir::Files, QDir::Name | QDir::Reversed)) {
        if (backupName().match(entry).hasMatch())
            backups.append(entry);
    }
    // A clock set back could put the new file among the oldest; it stays all the same.
    backups.removeOne(QFileInfo(path).fileName());
    for (int i = Kept - 1; i < backups.size(); ++i)
        folder.remove(backups.at(i));
    return path;
}

QString backupFileName(const UnitIdentity &unit, const QDateTime &when)
{
    QString who = unit.serialNumber.isEmpty() ? unit.portName : unit.serialNumber;
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9.-]+"));
    who.replace(unsafe, QStringLiteral("-"));
    while (who.startsWith(QLatin1Char('-')) || who.startsWith(QLatin1Char('.')))
        who.remove(0, 1);
    if (who.isEmpty())
        who = QStringLiteral("unit");
    return when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss_")) + who + QLatin1String(".txt");
}
