#pragma once

// The unit's shape, as its firmware fixes it and every layer counts by it: four channels, two
// relays, five quantities read of each channel, a table of 100 rows per channel, and the code
// that reads each quantity of each channel. Nothing else spells these numbers.
#include <QtGlobal>

constexpr int ChannelCount = 4;
constexpr int RelayCount = 2;
constexpr int QuantityCount = 5; // ADC, current voltage, AC voltage, resistance, temperature
constexpr int TableRows = 100;

// A quantity's read codes come one per channel in a row, quantity by quantity: 0-3 the ADC values
// of channels 0-3, 4-7 their current voltages, up to 16-19 their temperatures.
constexpr quint8 readCode(int quantity, int channel)
{
    return quint8(quantity * ChannelCount + channel);
}
