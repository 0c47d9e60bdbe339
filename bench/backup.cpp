// How long a backup of the whole unit takes against the simulated unit, next to its floor: the
// four calibration reads it is made of. Prints figures; judges nothing.
#include "calibration/backupstore.h"
#include "calibration/unitbackup.h"
#include "sim/ptyhost.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A calibration read pauses twice for the unit and listens twice for stray bytes.
constexpr int CalibrationReadFloorMs = 2 * 10 + 2 * 30;

double medianMs(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
}

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 15;
    qInstallMessageHandler(quietDebug);

    PtyHost host;
    Unit unit;
    if (!host.start() || !unit.open(host.portPath())) {
        std::fprintf(stderr, "cannot reach the simulated unit\n");
        return 1;
    }
    QTemporaryDir folder;
    std::vector<double> reads, backups;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        if (!unit.readCalibration(i % 4)) {
            std::fprintf(stderr, "a calibration read failed\n");
            return 1;
        }
        reads.push_back(clock.nsecsElapsed() / 1e6);

        // A store of its own each time, so that every run reads and writes.
        BackupStore store(folder.path());
        clock.start();
        if (!backUpBeforeChange(unit, store, QStringLiteral("bench")).ok()) {
            std::fprintf(stderr, "a backup failed\n");
            return 1;
        }
        backups.push_back(clock.nsecsElapsed() / 1e6);
    }
    const double read = medianMs(reads);
    const double backup = medianMs(backups);
    std::printf("runs: %d\n", runs);
    std::printf("backup of four channels: median %.1f ms\n", backup);
    std::printf("  floor, four calibration reads as measured (4 x %.1f ms): %.1f ms, ratio %.3f\n",
                read, 4 * read, backup / (4 * read));
    std::printf("  floor, four reads' pauses and quiet checks (4 x %d ms): %d ms, ratio %.3f\n",
                CalibrationReadFloorMs, 4 * CalibrationReadFloorMs,
                backup / (4 * CalibrationReadFloorMs));
    return 0;
}
