#pragma once

// What the unit's operations take and give back, as plain values: a page, a file or a command
// holds them without knowing the unit, its port or any QObject.
#include "values/calibration.h"
#include "values/channeldata.h"
#include "values/result.h"
#include "values/unitshape.h"

#include <QString>
#include <QVector>

#include <array>
#include <optional>

struct RelayStates
{
    bool relay1 = false;
    bool relay2 = false;
};

// One whole live reading: the five quantities of the four channels, in channel order, exactly the
// bits the unit sent, and the relay states.
struct LiveReading
{
    std::array<ChannelData, ChannelCount> channels {};
    std::optional<RelayStates> relays; // absent when the unit did not answer the relay read
};
