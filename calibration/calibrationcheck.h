#pragma once

// Whether a calibration can go to the unit. The unit computes every live temperature of the
// channel from it, so a value that is no sensor's (not a finite number, zero or below) would
// make those temperatures up, and a table whose rows go back and forth maps one resistance to
// several temperatures. Pure: a calibration in, its first problem out.
#include "values/result.h"
#include "values/unitvalues.h"

// Each check fails with the first offending field in the operator's words, without the channel
// and without a full stop, as in "the gain is not a finite number (nan)", "row 3, Resistance
// (Ohm), is not above zero (-1)" or "row 57, Temperature (K), goes back (300 after 301)". Rows
// count from 1, the column names are the page's.

// The gain and every value (finite and above zero, rows in page order, resistance before
// temperature), and a table of exactly 100 rows. What fails here is never sent.
Result<void> checkValues(const Calibration &calibration);

// The order of possible values: resistances strictly rising or strictly falling from row 1 to
// 100, and temperatures strictly one way throughout, either way. What fails only here may still
// be sent, knowingly (a confirmation in the window, --force on the command line).
Result<void> checkOrder(const Calibration &calibration);
