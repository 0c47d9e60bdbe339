#include "app/numbers.h"

QString formatReal(double value)
{
    return QString::number(value, 'g', 6);
}

float parseReal(const QString &text)
{
    return text.toFloat();
}
