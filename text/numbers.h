#pragma once

// How reals look to the operator, in the log and on the command line: six significant digits,
// "." as decimal point, whatever the desktop's locale.
#include <QString>

// 'g' format, precision 6, C locale: 1234567 -> "1.23457e+06", 0.00001 -> "1e-05".
QString formatReal(double value);

// The C-locale reading of a field; text that is not a number, the empty field included, reads 0.
float parseReal(const QString &text);

// The C-locale reading of a field that must hold a whole number: false for an empty field, a
// number cut short ("-", "1e", ".") or one beyond the range of a float. A text that rounds to a
// float is that float, the nine-digit forms of the largest and the smallest ones included.
bool readReal(const QString &text, float &value);

// What the operator typed or pasted into a number field, as the C locale reads it. Where the
// desktop writes decimals with a comma, a comma is the decimal point ("1,5" -> "1.5"); elsewhere
// it is a group separator and is left out ("1,000" -> "1000").
QString withDecimalPoint(const QString &typed, bool commaIsDecimal);
