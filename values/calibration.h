#pragma once

// A channel's calibration as the unit keeps it: a gain and the 100-row table from which it
// computes temperatures. Plain values, shared by the unit, the files and the pages.
#include "values/unitshape.h"

#include <QVector>

// One row of the table, as the unit keeps and sends it.
struct TableEntry
{
    float resistance; // ohms
    float temperature; // kelvin
};

struct Calibration
{
    float gain = 0;
    QVector<TableEntry> rows; // TableRows rows
};
