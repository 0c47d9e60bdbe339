#include "app/dialog.h"
#include "link/exchange.h"
#include "link/protocol.h"

// The relays answer nothing, so a switch needs no turn of its own: it may go out between a
// measurement request and its reply without adding to that reply.

void Dialog::on_cbRelay1_clicked(bool checked)
{
    if (!openSerialPort())
        return;
    exchange::send(port, protocol::setRelayRequest(1, checked));
}

void Dialog::on_cbRelay2_clicked(bool checked)
{
    if (!openSerialPort())
        return;
    exchange::send(port, protocol::setRelayRequest(2, checked));
}
