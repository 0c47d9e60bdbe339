#include "calibration/standardtable.h"

#include "calibration/tableshape.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StandardTable", text);
}

constexpr double ZeroCelsius = 273.15;

QString kelvinText(double kelvin)
{
    return QString::number(kelvin, 'g', 9);
}

} // namespace

double platinumResistance(const PlatinumCoefficients &pt, double kelvin)
{
    const double t = kelvin - ZeroCelsius;
    const double c = t < 0 ? pt.c : 0.0;
    return pt.r0 * (1 + pt.a * t + pt.b * t * t + c * (t - 100) * t * t * t);
}

double platinumTemperature(const PlatinumCoefficients &pt, double ohms)
{
    if (!(ohms > 0) || !(pt.r0 > 0))
        return std::numeric_limits<double>::quiet_NaN();
    // The quadratic alone, solved from the ice point, is within a kelvin of the answer over the
    // whole span; Newton's method then closes in a few steps.
    double t = (ohms / pt.r0 - 1) / pt.a;
    for (int step = 0; step < 50; ++step) {
        const double c = t < 0 ? pt.c : 0.0;
        const double f = pt.r0 * (1 + pt.a * t + pt.b * t * t + c * (t - 100) * t * t * t) - ohms;
        const double slope = pt.r0 * (pt.a + 2 * pt.b * t + c * (4 * t * t * t - 300 * t * t));
        if (!std::isfinite(slope) || slope == 0)
            break;
        const double next = t - f / slope;
        const bool settled = std::abs(next - t) < 1e-10;
        t = next;
        if (settled)
            break;
    }
    return t + ZeroCelsius;
}

QVector<double> rowTemperatures(double first, double last)
{
    // The same operations in the same order as loading a curve, so that a standard table written
    // as a curve file loads back to the same rows.
    const double q = std::pow(first / last, 0.010101010101010102);
    QVector<double> temperatures;
    temperatures.reserve(TableRows);
    double t = first;
    for (int row = 0; row < TableRows; ++row) {
        temperatures.append(t);
        t = t / q;
    }
    return temperatures;
}

Result<QVector<TableEntry>> platinumTable(const PlatinumCoefficients &pt, double low, double high)
{
    if (!(low >= PlatinumLowestKelvin))
        return Failure {tr("the range starts below the standard's %1 K, where its equation ends")
                            .arg(kelvinText(PlatinumLowestKelvin))};
    if (!(high <= PlatinumHighestKelvin))
        return Failure {tr("the range ends above the standard's %1 K, where its equation ends")
                            .arg(kelvinText(PlatinumHighestKelvin))};
    if (!(low < high))
        return Failure {tr("the range's low end (%1 K) is not below its high end (%2 K)")
                            .arg(kelvinText(low), kelvinText(high))};
    QVector<TableEntry> rows;
    rows.reserve(TableRows);
    for (const double kelvin : rowTemperatures(low, high)) {
        const double ohms = platinumResistance(pt, kelvin);
        if (!(ohms > 0 && ohms <= std::numeric_limits<float>::max()))
            return Failure {tr("the coefficients give %1 ohms at %2 K, which no sensor has")
                                .arg(QString::number(ohms, 'g', 9), kelvinText(kelvin))};
        rows.append({float(ohms), float(kelvin)});
    }
    if (const std::optional<int> row = firstRowOutOfOrder(rows))
        return Failure {tr("the coefficients make the resistance turn back near %1 K")
                            .arg(kelvinText(rows.at(*row).temperature))};
    return rows;
}

QByteArray platinumCurveFile(const PlatinumCoefficients &pt, double low, double high)
{
    const auto exact = [](double value) {
        return QString::number(value, 'g', QLocale::FloatingPointShortest).toLatin1();
    };
    QByteArray text = "Sensor Model:   Pt" + QByteArray::number(pt.r0, 'g', 9)
        + " IEC 60751\r\nSerial Number:  standard\r\nData Format:    3      (Ohms/Kelvin)\r\n"
          "SetPoint Limit: "
        + exact(high)
        + "      (Kelvin)\r\nTemperature coefficient:  2 (Positive)\r\n"
          "Number of Breakpoints:   100\r\n\r\nNo.   Units      Temperature (K)\r\n\r\n";
    QVector<double> temperatures = rowTemperatures(low, high);
    // The last breakpoint at the range's own end, so that the file's two ends give the rows the
    // same ratio as here.
    temperatures.last() = high;
    for (int row = 0; row < temperatures.size(); ++row)
        text += QByteArray::number(row + 1) + '\t'
            + exact(platinumResistance(pt, temperatures.at(row))) + '\t'
            + exact(temperatures.at(row)) + "\r\n";
    return text;
}
