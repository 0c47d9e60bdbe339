#include "app/dialog.h"

void Dialog::loadTempTable(QWidget *widget)
{
    Q_UNUSED(widget)
}
