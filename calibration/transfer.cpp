#include "app/dialog.h"

void Dialog::getEepromData(QWidget *widget)
{
    Q_UNUSED(widget)
}

void Dialog::setEepromData(QWidget *widget)
{
    Q_UNUSED(widget)
}

void Dialog::writeEeprom(QWidget *widget)
{
    Q_UNUSED(widget)
}
