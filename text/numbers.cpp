#include "text/numbers.h"

#include <cmath>

QString formatReal(double value)
{
    return QString::number(value, 'g', 6);
}

float parseReal(const QString &text)
{
    return text.toFloat();
}

bool readReal(const QString &text, float &value)
{
    // Read as a double and rounded once to the nearest float: the nine digits of the largest float
    // ("3.40282347e+38") lie a little above it, yet name it. Only what would round to infinity, or
    // to zero from a number that is not zero, is beyond the range.
    constexpr double roundsToInfinity = 3.4028235677973366e38; // halfway past the largest float
    bool ok = false;
    const double read = text.toDouble(&ok);
    if (!ok || (std::isfinite(read) && std::fabs(read) >= roundsToInfinity))
        return false;
    const float rounded = float(read);
    if (read != 0 && rounded == 0)
        return false;
    value = rounded;
    return true;
}

QString withDecimalPoint(const QString &typed, bool commaIsDecimal)
{
    QString text = typed;
    if (commaIsDecimal)
        text.replace(QLatin1Char(','), QLatin1Char('.'));
    else
        text.remove(QLatin1Char(','));
    return text;
}
