#include "app/dialog.h"

void Dialog::on_cbRelay1_clicked(bool checked)
{
    Q_UNUSED(checked)
}

void Dialog::on_cbRelay2_clicked(bool checked)
{
    Q_UNUSED(checked)
}
