#include "app/dialog.h"
#include "ui_dialog.h"

#include "unit/unit.h"

// The relays answer nothing, so a switch needs no turn of its own: even sent between a
// measurement request and its reply, it would add nothing to that reply.

void Dialog::on_cbRelay1_clicked(bool checked)
{
    switchRelay(1, checked);
}

void Dialog::on_cbRelay2_clicked(bool checked)
{
    switchRelay(2, checked);
}

void Dialog::switchRelay(int relay, bool checked)
{
    if (openSerialPort() && unit->switchRelay(relay, checked).ok())
        return;
    // Nothing switched: the box shows what the relay still is.
    (relay == 1 ? ui->cbRelay1 : ui->cbRelay2)->setChecked(!checked);
}
