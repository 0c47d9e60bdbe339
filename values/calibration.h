#pragma once

// A channel's calibration as the unit keeps it: a gain and the 100-row table from which it
// computes temperatures. Plain values, shared by the unit, the files and the pages.
#include "link/protocol.h"

#include <QVector>

struct Calibration
{
    float gain = 0;
    QVector<protocol::TableEntry> rows; // protocol::TableRows rows
};
