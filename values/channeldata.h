#pragma once

// The latest readings of one channel, exactly the bits the unit sent.
#include <QtGlobal>

struct ChannelData
{
    quint32 adcData = 0; // raw ADC counts
    float currentVoltage = 0; // volts
    float acVoltage = 0; // volts
    float resistance = 0; // ohms
    float temperature = 0; // kelvin
};
