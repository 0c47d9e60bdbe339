// Calibration at the bench: taking a point (N live readings and their mean and spread) against N
// bare live cycles, and computing a table corrected through points. Prints figures; judges
// nothing.
#include "calibration/fixedpoints.h"
#include "sim/ptyhost.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

FixedPoint pointAt(double kelvin, double ohms)
{
    FixedPoint p;
    p.kelvin = kelvin;
    p.ohms = ohms;
    p.readings = 10;
    return p;
}

template<typename Work> double microseconds(Work work, int runs)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        samples.push_back(clock.nsecsElapsed() / 1e3);
    }
    return median(samples);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    PtyHost host;
    if (!host.start()) {
        std::fprintf(stderr, "cannot start the simulated unit\n");
        return 1;
    }
    host.withFirmware([](Firmware &unit) { unit.setBath(0, 273.15); });
    Unit unit;
    if (!unit.open(host.portPath())) {
        std::fprintf(stderr, "cannot open the simulated unit\n");
        return 1;
    }
    constexpr int Runs = 11;
    const double cycle = microseconds([&] { unit.readLive(); }, 5 * Runs) / 1e3;
    std::printf("taking a point on the simulated unit, median of %d\n", Runs);
    std::printf("%-34s median %7.2f ms\n", "one live cycle", cycle);
    for (const int n : {1, 10, 50}) {
        const double ms = microseconds(
                              [&] {
                                  QVector<float> ohms;
                                  for (int k = 0; k < n; ++k)
                                      if (const auto reading = unit.readLive())
                                          ohms.append(reading->channels[0].resistance);
                                  pointFromReadings(0, 273.15, ohms, DefaultMaxSpreadPpm,
                                                    QDateTime::currentDateTimeUtc());
                              },
                              Runs)
            / 1e3;
        std::printf("%-34s median %7.2f ms  ratio %.3f to %d x one cycle\n",
                    qPrintable(QStringLiteral("a point over %1 readings").arg(n)), ms,
                    ms / (n * cycle), n);
    }

    constexpr int TableRuns = 1001;
    const PlatinumCoefficients pt100;
    const QVector<FixedPoint> three {pointAt(77.355, 20.3), pointAt(273.15, 100.12),
                                     pointAt(373.15, 138.6)};
    const QVector<TableEntry> source = platinumTable(pt100, 73.15, 500).value();
    const QVector<FixedPoint> two {pointAt(77.355, 20.3), pointAt(273.15, 100.12)};
    std::printf("\ncomputing a corrected table, median of %d\n", TableRuns);
    std::printf("%-34s median %7.1f us\n", "standard table alone",
                microseconds([&] { platinumTable(pt100, 73.15, 500); }, TableRuns));
    std::printf("%-34s median %7.1f us\n", "platinum fit through 3 points",
                microseconds([&] { correctPlatinum(pt100, 73.15, 500, three); }, TableRuns));
    std::printf("%-34s median %7.1f us\n", "factor correction through 2 points",
                microseconds([&] { correctTable(source, two); }, TableRuns));
    return 0;
}
