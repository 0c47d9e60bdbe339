#pragma once

// What a channel's table looks like as a curve: the scale its resistances need, the first row that
// breaks its order, and how far it strays from the curve file it was made from. Pure, no widgets.
#include "calibration/curvefile.h"
#include "values/calibration.h"

#include <QVector>

#include <optional>

// True when the table's resistances span more than two decades, all above zero: then only a
// logarithmic resistance axis shows the cold end of a sensor as clearly as its warm end. Values
// that are not finite (a cell that holds no number) are left out.
bool needsLogResistanceAxis(const QVector<TableEntry> &rows);

// The first row (0-based) at which the table stops running one way: its resistance does not go on
// in the direction of the rows before it, or its temperature does not. Rows with a value that is
// not finite are passed over. Nothing when the whole table runs one way.
std::optional<int> firstRowOutOfOrder(const QVector<TableEntry> &rows);

// How far a table strays from the points of the curve it should follow.
struct CurveDeviation
{
    double kelvin = 0; // the largest temperature difference, always >= 0
    double resistance = 0; // the curve point's resistance where it is found
};

// The largest difference in temperature between a curve's points and the table drawn as straight
// lines from row to row. Points beyond the table's first and last resistance are left out.
// Nothing when no point lies within the table or the table has fewer than two usable rows.
std::optional<CurveDeviation> largestDeviation(const QVector<TableEntry> &rows,
                                               const QVector<CurvePoint> &curve);
