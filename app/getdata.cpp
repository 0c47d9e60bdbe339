#include "app/dialog.h"
#include "ui_dialog.h"

#include "measure/readings.h"
#include "unit/unit.h"
#include "values/unitshape.h"

#include <algorithm>

ChannelData *Dialog::channelData()
{
    return channels;
}

void Dialog::GetData()
{
    const auto turn = guard.begin();
    if (!turn || !openSerialPort())
        return;
    followRunUnit();

    // A reading that ends early shows, keeps and logs nothing of it.
    const Result<LiveReading> reading = unit->readLive();
    if (!reading)
        return;
    std::copy(reading->channels.begin(), reading->channels.end(), channels);

    for (int channel = 0; channel < ChannelCount; ++channel) {
        for (int quantity = 0; quantity < QuantityCount; ++quantity)
            ui->twData->item(quantity, channel)->setText(readingText(channels[channel], quantity));
    }
    // Setting the boxes is not a click, so it switches no relay.
    if (reading->relays) {
        ui->cbRelay1->setChecked(reading->relays->relay1);
        ui->cbRelay2->setChecked(reading->relays->relay2);
    }
    emit updatedData();
}
