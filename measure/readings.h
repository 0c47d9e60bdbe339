#pragma once

// Turning measurement replies into the readings records, and records into the data table's text.
#include "values/channeldata.h"

#include <QByteArray>
#include <QString>

// One quantity (0 ADC ... 4 temperature) for the four channels, from a 16-byte reply: value i
// goes to record i, exactly the bits the unit sent.
void storeQuantity(ChannelData *records, int quantity, const QByteArray &reply);

// The text of one cell of the data table: the raw ADC count in lower-case hexadecimal, the reals
// with six significant digits.
QString readingText(const ChannelData &record, int quantity);
