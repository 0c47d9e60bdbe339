#include "measure/readings.h"

#include "link/protocol.h"
#include "text/numbers.h"

namespace {

// The real fields in the order of the quantities 1-4 (quantity 0 is the raw ADC count).
constexpr float ChannelData::*realFields[] = {&ChannelData::currentVoltage, &ChannelData::acVoltage,
                                              &ChannelData::resistance, &ChannelData::temperature};

} // namespace

void storeQuantity(ChannelData *records, int quantity, const QByteArray &reply)
{
    Q_ASSERT(quantity >= 0 && quantity < QuantityCount);
    for (int channel = 0; channel < ChannelCount; ++channel) {
        ChannelData &record = records[channel];
        const int offset = 4 * channel;
        if (quantity == 0)
            record.adcData = protocol::u32At(reply, offset);
        else
            record.*realFields[quantity - 1] = protocol::floatAt(reply, offset);
    }
}

QString readingText(const ChannelData &record, int quantity)
{
    Q_ASSERT(quantity >= 0 && quantity < QuantityCount);
    if (quantity == 0)
        return QString::number(record.adcData, 16);
    return formatReal(record.*realFields[quantity - 1]);
}
