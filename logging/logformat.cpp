#include "logging/logformat.h"

#include "text/numbers.h"

#include <QFileInfo>
#include <QLocale>

#include <cstdlib>

namespace {

const char *const columnWords[LogQuantityCount] = {"Voltage", "Resistance", "Temperature"};

float quantityOf(const ChannelData &record, int quantity)
{
    switch (quantity) {
    case LogVoltage:
        return record.currentVoltage;
    case LogResistance:
        return record.resistance;
    default:
        return record.temperature;
    }
}

const QByteArray lineEnd("\r\n");

} // namespace

LogEnables allLogEnables()
{
    LogEnables enabled;
    for (auto &channel : enabled)
        channel.fill(true);
    return enabled;
}

QByteArray logHeader(const LogEnables &enabled)
{
    QByteArray line(";Time");
    for (int channel = 0; channel < ChannelCount; ++channel) {
        for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
            if (enabled[channel][quantity])
                line += '\t' + QByteArray(columnWords[quantity]) + QByteArray::number(channel);
        }
    }
    return line + lineEnd;
}

QByteArray logTimeText(const QDateTime &time, LogTimeStyle style, bool milliseconds)
{
    // The C locale keeps the digits ASCII whatever the operator's locale is.
    const QLocale c = QLocale::c();
    if (style == LogTimeStyle::Clock)
        return c.toString(time.time(), QStringLiteral("hh:mm:ss")).toLatin1();
    const QString format = milliseconds ? QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")
                                        : QStringLiteral("yyyy-MM-ddThh:mm:ss");
    // Qt leaves the offset out of a local time's ISO text; a reader needs it to place the row.
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    const QString offset = QStringLiteral("%1%2:%3")
                               .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                               .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
                               .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
    return (c.toString(time, format) + offset).toLatin1();
}

QByteArray logRow(const QByteArray &timeText, const ChannelData *records, const LogEnables &enabled)
{
    QByteArray line = timeText;
    for (int channel = 0; channel < ChannelCount; ++channel) {
        for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
            if (enabled[channel][quantity])
                line += '\t' + formatReal(quantityOf(records[channel], quantity)).toLatin1();
        }
    }
    return line + lineEnd;
}

LogClock systemLogClock()
{
    return [] {
        return QDateTime::currentDateTime();
    };
}

QString dailyLogFileName(const QString &baseName, const QDate &day)
{
    const QString date = QLocale::c().toString(day, QStringLiteral("yyyy-MM-dd"));
    const QString fileName = QFileInfo(baseName).fileName();
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    // A leading dot starts a hidden name, not an extension.
    if (dot <= 0)
        return baseName + QLatin1Char('-') + date;
    const int at = baseName.size() - fileName.size() + dot;
    return baseName.left(at) + QLatin1Char('-') + date + baseName.mid(at);
}

bool startsWithLogHeader(const QByteArray &fileStart, const QByteArray &header)
{
    return fileStart.startsWith(header);
}

QString logColumnName(int channel, int quantity)
{
    return QLatin1String(columnWords[quantity]) + QString::number(channel);
}

float logValue(const ChannelData &record, int quantity)
{
    return quantityOf(record, quantity);
}
