#include "app/dialog.h"
#include "ui_dialog.h"

#include "unit/unit.h"

// The relays answer nothing, so a switch needs no turn of its own: it may go out between a
// measurement request and its reply without adding to that reply.

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
    if (openSerialPort())
        unit->switchRelay(relay, checked);
}
