#include "app/dialog.h"
#include "ui_dialog.h"

#include "link/exchange.h"
#include "link/protocol.h"
#include "measure/readings.h"

#include <QDebug>

ChannelData *Dialog::channelData()
{
    return channels;
}

void Dialog::GetData()
{
    // Only the button is the operator; any other signal is the logger's sampling tick, which is
    // dropped when the unit is busy because the next tick samples again.
    const bool fromOperator = !sender() || sender() == ui->pbGetData;
    const auto turn = guard.begin(fromOperator ? ExchangeGuard::Operator : ExchangeGuard::Timer,
                                  [this] { GetData(); });
    if (!turn || !openSerialPort())
        return;

    // Each stage's values are stored as soon as they come, but the table and the signal wait for
    // the whole set: a cycle that ends early shows and logs nothing new.
    for (int quantity = 0; quantity < protocol::QuantityCount; ++quantity) {
        exchange::sendForReply(port, protocol::measurementRequest(quantity));
        const QByteArray reply = exchange::collect(port, protocol::MeasurementReplyBytes);
        if (reply.size() != protocol::MeasurementReplyBytes) {
            qDebug("Error! Wrong data");
            return;
        }
        storeQuantity(channels, quantity, reply);
    }

    for (int channel = 0; channel < protocol::ChannelCount; ++channel) {
        for (int quantity = 0; quantity < protocol::QuantityCount; ++quantity)
            ui->twData->item(quantity, channel)->setText(readingText(channels[channel], quantity));
    }

    // Setting the boxes is not a click, so it switches no relay.
    exchange::sendForReply(port, protocol::relayStateRequest());
    const QByteArray states = exchange::readReply(port, protocol::RelayStateReplyBytes);
    if (!states.isEmpty()) {
        ui->cbRelay1->setChecked(states.at(0) != 0);
        ui->cbRelay2->setChecked(states.at(1) != 0);
    }

    emit updatedData();
}
