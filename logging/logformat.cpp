#include "logging/logformat.h"

#include "text/numbers.h"

#include <QLocale>

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
    for (int channel = 0; channel < LogChannelCount; ++channel) {
        for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
            if (enabled[channel][quantity])
                line += '\t' + QByteArray(columnWords[quantity]) + QByteArray::number(channel);
        }
    }
    return line + lineEnd;
}

QByteArray logRow(const QTime &time, const ChannelData *records, const LogEnables &enabled)
{
    // The C locale keeps the digits ASCII whatever the operator's locale is.
    QByteArray line = QLocale::c().toString(time, QStringLiteral("hh:mm:ss")).toLatin1();
    for (int channel = 0; channel < LogChannelCount; ++channel) {
        for (int quantity = 0; quantity < LogQuantityCount; ++quantity) {
            if (enabled[channel][quantity])
                line += '\t' + formatReal(quantityOf(records[channel], quantity)).toLatin1();
        }
    }
    return line + lineEnd;
}

QString logColumnName(int channel, int quantity)
{
    return QLatin1String(columnWords[quantity]) + QString::number(channel);
}

float logValue(const ChannelData &record, int quantity)
{
    return quantityOf(record, quantity);
}
