#include "exporter/unitlogs.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString unitLogFileName(const UnitMetrics &unit)
{
    QString name = unit.serial.isEmpty() ? QFileInfo(unit.port).fileName() : unit.serial;
    for (QChar &c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-')
            && c != QLatin1Char('_') && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    }
    // A name of dots alone would be the folder itself or the one above it.
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name.prepend(QStringLiteral("unit"));
    return name + QStringLiteral(".txt");
}

UnitLogs::UnitLogs(const QString &folder, const LogRunSettings &settings, LogWriter::Say say)
    : folder(folder)
    , settings(settings)
    , say(std::move(say))
{
    this->settings.earlier = LogRunSettings::Earlier::Append;
    this->settings.offersOverwrite = false;
}

UnitLogs::~UnitLogs() = default;

void UnitLogs::take(const UnitMetrics &unit)
{
    if (!unit.lastReadingMs)
        return;
    const QString fileName = QDir(folder).filePath(unitLogFileName(unit));
    auto found = logs.find(fileName);
    if (found == logs.end()) {
        LogRunSettings own = settings;
        own.fileName = fileName;
        found = logs.emplace(fileName, std::make_unique<LogWriter>(own, say)).first;
    }
    found->second->write(QDateTime::fromMSecsSinceEpoch(*unit.lastReadingMs), unit.channels.data());
}
