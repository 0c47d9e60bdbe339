#include "cli/format.h"

#include "logging/logformat.h"
#include "measure/readings.h"
#include "text/numbers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const quantityNames[]
    = {"ADC Data", "Current Voltage (V)", "AC Voltage (V)", "Resistance (Ohm)", "Temperature (K)"};

QByteArray relayCell(bool known, bool on)
{
    return known ? (on ? "1" : "0") : "";
}

} // namespace

QByteArray readingTable(const ChannelData *records, const std::optional<RelayStates> &relays)
{
    constexpr int labelWidth = 21;
    constexpr int cellWidth = 13;
    QString text = QString().leftJustified(labelWidth);
    for (int channel = 0; channel < ChannelCount; ++channel)
        text += QStringLiteral("Channel%1").arg(channel + 1).rightJustified(cellWidth);
    text += QLatin1Char('\n');
    for (int quantity = 0; quantity < QuantityCount; ++quantity) {
        text += QString::fromLatin1(quantityNames[quantity]).leftJustified(labelWidth);
        for (int channel = 0; channel < ChannelCount; ++channel)
            text += readingText(records[channel], quantity).rightJustified(cellWidth);
        text += QLatin1Char('\n');
    }
    const auto state = [&relays](bool on) {
        return relays ? QLatin1String(on ? "on" : "off") : QLatin1String("?");
    };
    text += QStringLiteral("Relay1 %1, Relay2 %2\n")
                .arg(state(relays && relays->relay1), state(relays && relays->relay2));
    return text.toUtf8();
}

QByteArray readingTsvHeader()
{
    QByteArray header = logHeader(allLogEnables());
    header.chop(2);
    return header + "\tRelay1\tRelay2\r\n";
}

QByteArray readingTsvRow(const QByteArray &timeText, const ChannelData *records,
                         const std::optional<RelayStates> &relays)
{
    QByteArray row = logRow(timeText, records, allLogEnables());
    row.chop(2); // the relay columns go before the line end
    return row + '\t' + relayCell(bool(relays), relays && relays->relay1) + '\t'
        + relayCell(bool(relays), relays && relays->relay2) + "\r\n";
}

QByteArray readingJson(const QDateTime &time, const ChannelData *records,
                       const std::optional<RelayStates> &relays)
{
    QJsonArray channels;
    for (int channel = 0; channel < ChannelCount; ++channel) {
        const ChannelData &record = records[channel];
        channels.append(QJsonObject {
            {QStringLiteral("channel"), channel + 1},
            {QStringLiteral("adc"), qint64(record.adcData)},
            {QStringLiteral("voltage"), double(record.currentVoltage)},
            {QStringLiteral("acVoltage"), double(record.acVoltage)},
            {QStringLiteral("resistance"), double(record.resistance)},
            {QStringLiteral("temperature"), double(record.temperature)},
        });
    }
    QJsonObject reading {
        // With its offset: a local time alone is ambiguous across zones and clock changes.
        {QStringLiteral("time"), QString::fromLatin1(logTimeText(time, LogTimeStyle::Iso, true))},
        {QStringLiteral("channels"), channels},
    };
    reading.insert(QStringLiteral("relay1"), relays ? QJsonValue(relays->relay1) : QJsonValue());
    reading.insert(QStringLiteral("relay2"), relays ? QJsonValue(relays->relay2) : QJsonValue());
    return QJsonDocument(reading).toJson(QJsonDocument::Compact) + '\n';
}
