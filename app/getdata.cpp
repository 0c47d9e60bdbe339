#include "app/dialog.h"
#include "ui_dialog.h"

#include "link/protocol.h"
#include "measure/readings.h"
#include "unit/unit.h"

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

    // A reading that ends early shows and logs nothing new.
    const LiveReading reading = unit->readLive(channels);
    if (!reading.complete)
        return;

    for (int channel = 0; channel < protocol::ChannelCount; ++channel) {
        for (int quantity = 0; quantity < protocol::QuantityCount; ++quantity)
            ui->twData->item(quantity, channel)->setText(readingText(channels[channel], quantity));
    }
    // Setting the boxes is not a click, so it switches no relay.
    if (reading.relays) {
        ui->cbRelay1->setChecked(reading.relays->relay1);
        ui->cbRelay2->setChecked(reading.relays->relay2);
    }
    emit updatedData();
}
