#include "text/numbers.h"

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
    bool ok = false;
    const float read = text.toFloat(&ok);
    if (ok)
        value = read;
    return ok;
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
