#pragma once

// How reals look to the operator and in the log: six significant digits, "." as decimal point.
#include <QString>

// 'g' format, precision 6, C locale: 1234567 -> "1.23457e+06", 0.00001 -> "1e-05".
QString formatReal(double value);

// The C-locale reading of a field; text that is not a number, the empty field included, reads 0.
float parseReal(const QString &text);
