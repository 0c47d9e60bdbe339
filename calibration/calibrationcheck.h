#pragma once

// Whether a calibration can go to the unit. The unit computes every live temperature of the
// channel from it, so a value that is no sensor's (not a finite number, zero or below) would
// make those temperatures up, and a table whose rows go back and forth maps one resistance to
// several temperatures. Pure: a calibration in, a verdict out.
#include "values/unitvalues.h"

#include <QString>

struct CalibrationCheck
{
    enum Verdict {
        Possible,
        // Every value is possible, but the rows do not run one way: the operator may still send
        // it, knowingly (a confirmation in the window, --force on the command line).
        OutOfOrder,
        // A value no sensor has, or a table of other than 100 rows: never sent.
        Impossible,
    };
    Verdict verdict = Possible;
    // The first offending field in the operator's words, without the channel and without a
    // full stop, as in "the gain is not a finite number (nan)", "row 3, Resistance (Ohm), is
    // not above zero (-1)" or "row 57, Temperature (K), goes back (300 after 301)". Rows count
    // from 1, the column names are the page's. Empty when possible.
    QString problem;
};

// Checks the gain and every value first (finite and above zero, rows in page order, resistance
// before temperature), then the order: resistances strictly rising or strictly falling from row
// 1 to 100, and temperatures strictly one way throughout, either way.
CalibrationCheck checkCalibration(const Calibration &calibration);
