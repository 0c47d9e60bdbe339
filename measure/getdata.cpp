#include "app/dialog.h"

ChannelData *Dialog::channelData()
{
    return channels;
}

void Dialog::GetData()
{
}
