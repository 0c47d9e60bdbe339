#include "calibration/calibrationcheck.h"

#include "text/numbers.h"

#include <QCoreApplication>

#include <cmath>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CalibrationCheck", text);
}

const char *const columnNames[] = {"Resistance (Ohm)", "Temperature (K)"};

float valueOf(const TableEntry &entry, int column)
{
    return column == 0 ? entry.resistance : entry.temperature;
}

QString fieldName(int row, int column)
{
    return tr("row %1, %2,").arg(QString::number(row + 1), QLatin1String(columnNames[column]));
}

// Why a value cannot be a sensor's, or nothing.
QString valueProblem(float value)
{
    if (!std::isfinite(value))
        return tr("is not a finite number (%1)").arg(formatReal(value));
    if (!(value > 0))
        return tr("is not above zero (%1)").arg(formatReal(value));
    return QString();
}

// Two neighbours as the operator tells them apart: six digits, or nine where six look alike.
QString pair(float later, float earlier)
{
    QString a = formatReal(later);
    QString b = formatReal(earlier);
    if (a == b) {
        a = QString::number(double(later), 'g', 9);
        b = QString::number(double(earlier), 'g', 9);
    }
    return tr("%1 after %2").arg(a, b);
}

int direction(float from, float to)
{
    return to > from ? 1 : (to < from ? -1 : 0);
}

} // namespace

Result<void> checkValues(const Calibration &calibration)
{
    if (const QString why = valueProblem(calibration.gain); !why.isEmpty())
        return Failure {tr("the gain %1").arg(why)};
    const QVector<TableEntry> &rows = calibration.rows;
    if (rows.size() != TableRows)
        return Failure {tr("the table holds %1 rows, not %2")
                            .arg(QString::number(rows.size()), QString::number(TableRows))};
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < 2; ++column) {
            if (const QString why = valueProblem(valueOf(rows.at(row), column)); !why.isEmpty())
                return Failure {fieldName(row, column) + QLatin1Char(' ') + why};
        }
    }
    return {};
}

Result<void> checkOrder(const Calibration &calibration)
{
    // Each column runs the way its first two rows set out.
    const QVector<TableEntry> &rows = calibration.rows;
    for (int row = 1; row < rows.size(); ++row) {
        for (int column = 0; column < 2; ++column) {
            const float before = valueOf(rows.at(row - 1), column);
            const float value = valueOf(rows.at(row), column);
            const int way = direction(valueOf(rows.at(0), column), valueOf(rows.at(1), column));
            const int step = direction(before, value);
            if (step == way && step != 0)
                continue;
            return Failure {fieldName(row, column) + QLatin1Char(' ')
                            + (step == 0 ? tr("repeats the row above (%1)").arg(formatReal(value))
                                         : tr("goes back (%1)").arg(pair(value, before)))};
        }
    }
    return {};
}
