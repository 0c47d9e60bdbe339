#pragma once

// Standard platinum resistance thermometers: the industrial equation of resistance against
// temperature, its inverse, and a channel's 100-row table computed from it. Pure, no widgets.
#include "values/calibration.h"
#include "values/result.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The coefficients of the platinum equation
//   R(t) = R0 (1 + A t + B t^2 + C (t - 100) t^3), t in degrees Celsius, C only below 0 °C.
struct PlatinumCoefficients
{
    double r0 = 100; // ohms at 0 °C: 100 for a Pt100, 1000 for a Pt1000
    double a = 3.9083e-3; // per °C
    double b = -5.775e-7; // per °C²
    double c = -4.183e-12; // per °C⁴
};

// The span over which the equation is defined, and the span a table covers unless asked.
constexpr double PlatinumLowestKelvin = 73.15;
constexpr double PlatinumHighestKelvin = 1123.15;
constexpr double PlatinumDefaultHighKelvin = 500;

double platinumResistance(const PlatinumCoefficients &pt, double kelvin);
// The temperature at which the equation gives `ohms`, found by Newton's method to well below a
// microkelvin. Not a number when the resistance is not above zero.
double platinumTemperature(const PlatinumCoefficients &pt, double ohms);

// The 100 row temperatures a table from `first` to `last` has: evenly spaced on a logarithmic
// scale, each row the one before divided by one ratio, exactly as loading a curve spaces them.
QVector<double> rowTemperatures(double first, double last);

// A channel's table following the platinum equation: the TableRows rows at
// rowTemperatures(low, high), each resistance computed from the equation. Refused, with a clause
// such as "the range starts below the standard's 73.15 K, where its equation ends", for a range
// outside the equation's span or not rising, and for coefficients whose table does not run one
// way or does not fit single-precision values.
Result<QVector<TableEntry>> platinumTable(const PlatinumCoefficients &pt, double low, double high);

// The standard's table as a ".340" curve file of 100 breakpoints (ohms/kelvin), the numbers in
// their shortest exact form, so that loading the file gives platinumTable's rows again. Only for
// a table platinumTable gives.
QByteArray platinumCurveFile(const PlatinumCoefficients &pt, double low, double high);
