#include "measure/readings.h"

#include "app/numbers.h"
#include "link/protocol.h"

void storeQuantity(ChannelData *records, int quantity, const QByteArray &reply)
{
    for (int channel = 0; channel < protocol::ChannelCount; ++channel) {
        ChannelData &record = records[channel];
        const int offset = 4 * channel;
        switch (quantity) {
        case 0:
            record.adcData = protocol::u32At(reply, offset);
            break;
        case 1:
            record.currentVoltage = protocol::floatAt(reply, offset);
            break;
        case 2:
            record.acVoltage = protocol::floatAt(reply, offset);
            break;
        case 3:
            record.resistance = protocol::floatAt(reply, offset);
            break;
        case 4:
            record.temperature = protocol::floatAt(reply, offset);
            break;
        }
    }
}

QString readingText(const ChannelData &record, int quantity)
{
    switch (quantity) {
    case 0:
        return QString::number(record.adcData, 16);
    case 1:
        return formatReal(record.currentVoltage);
    case 2:
        return formatReal(record.acVoltage);
    case 3:
        return formatReal(record.resistance);
    default:
        return formatReal(record.temperature);
    }
}
