#include "app/dialog.h"

void Dialog::on_pbLogger_clicked()
{
}
