// quadmeter-cli read --count 1 against a prompt simulated unit: from process start to the reading
// printed, next to a bare QCoreApplication program's start (quadmeter-sim --help) plus the live
// cycle's own floor (one Unit::readLive in this process). Prints figures; judges nothing.
#include "sim/ptyhost.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Milliseconds from starting the program until its output ends with `last`.
double untilPrinted(const QString &program, const QStringList &arguments, const QByteArray &last)
{
    QElapsedTimer clock;
    QProcess process;
    clock.start();
    process.start(program, arguments);
    QByteArray out;
    while (!out.endsWith(last) && process.waitForReadyRead(10000))
        out += process.readAllStandardOutput();
    const double ms = clock.nsecsElapsed() / 1e6;
    process.waitForFinished(10000);
    if (!out.endsWith(last))
        std::fprintf(stderr, "%s did not print what was expected\n", qPrintable(program));
    return ms;
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
    constexpr int Runs = 21;
    std::vector<double> bare, cycle, cli;
    for (int i = 0; i < Runs; ++i)
        bare.push_back(untilPrinted(QStringLiteral(QUADMETER_SIM_EXECUTABLE), {"--help"}, "\n"));
    {
        Unit unit;
        unit.open(host.portPath());
        for (int i = 0; i < Runs; ++i) {
            QElapsedTimer clock;
            clock.start();
            unit.readLive();
            cycle.push_back(clock.nsecsElapsed() / 1e6);
        }
    }
    for (int i = 0; i < Runs; ++i)
        cli.push_back(untilPrinted(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                                   {"read", "--count", "1", "--port", host.portPath()},
                                   "Relay2 off\n"));

    const double floor = median(bare) + median(cycle);
    std::printf("quadmeter-cli read --count 1, process start to reading printed, median of %d\n",
                Runs);
    std::printf("%-36s median %7.1f ms\n", "bare QCoreApplication start", median(bare));
    std::printf("%-36s median %7.1f ms\n", "live cycle (in process)", median(cycle));
    std::printf("%-36s median %7.1f ms  ratio %.2f to the sum %.1f ms\n", "quadmeter-cli read",
                median(cli), median(cli) / floor, floor);
    return 0;
}
