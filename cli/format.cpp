#include "cli/format.h"

#include "logging/logformat.h"
#include "measure/readings.h"
#include "text/numbers.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("quadmeter-cli", text);
}

const char *const quantityNames[]
    = {"ADC Data", "Current Voltage (V)", "AC Voltage (V)", "Resistance (Ohm)", "Temperature (K)"};

QByteArray relayCell(bool known, bool on)
{
    return known ? (on ? "1" : "0") : "";
}

// Nine significant digits: enough for every float to read back to the same bits.
QString exactReal(float value)
{
    return QString::number(double(value), 'g', 9);
}

} // namespace

QByteArray readingTable(const ChannelData *records, const std::optional<RelayStates> &relays)
{
    constexpr int labelWidth = 21;
    constexpr int cellWidth = 13;
    QString text = QString().leftJustified(labelWidth);
    for (int channel = 0; channel < LogChannelCount; ++channel)
        text += QStringLiteral("Channel%1").arg(channel + 1).rightJustified(cellWidth);
    text += QLatin1Char('\n');
    for (int quantity = 0; quantity < protocol::QuantityCount; ++quantity) {
        text += QString::fromLatin1(quantityNames[quantity]).leftJustified(labelWidth);
        for (int channel = 0; channel < LogChannelCount; ++channel)
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
    for (int channel = 0; channel < LogChannelCount; ++channel) {
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

QByteArray calibrationFileText(const Calibration &calibration)
{
    QString text = QStringLiteral("Gain\t%1\r\nResistance (Ohm)\tTemperature (K)\r\n")
                       .arg(exactReal(calibration.gain));
    for (const protocol::TableEntry &row : calibration.rows)
        text += exactReal(row.resistance) + QLatin1Char('\t') + exactReal(row.temperature)
            + QStringLiteral("\r\n");
    return text.toUtf8();
}

CalibrationFile readCalibrationFile(const QByteArray &text)
{
    CalibrationFile file;
    const QList<QByteArray> lines = text.split('\n');
    static const QRegularExpression blanks(QStringLiteral("[\\t ]+"));
    for (int index = 0; index < lines.size(); ++index) {
        const QString line = QString::fromUtf8(lines.at(index)).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(blanks);
        float first = 0;
        if (fields.first().compare(QLatin1String("Gain"), Qt::CaseInsensitive) == 0) {
            float gain = 0;
            if (fields.size() != 2 || !readReal(fields.at(1), gain)) {
                file.problem = tr("line %1: the gain is not a number").arg(index + 1);
                return file;
            }
            file.gain = gain;
            continue;
        }
        if (!readReal(fields.first(), first))
            continue; // a header
        protocol::TableEntry row {first, 0};
        if (fields.size() != 2 || !readReal(fields.at(1), row.temperature)) {
            file.problem = tr("line %1 is not a row of two numbers").arg(index + 1);
            return file;
        }
        file.rows.append(row);
    }
    if (file.rows.size() != protocol::TableRows)
        file.problem
            = tr("it holds %1 rows, not %2")
                  .arg(QString::number(file.rows.size()), QString::number(protocol::TableRows));
    return file;
}
