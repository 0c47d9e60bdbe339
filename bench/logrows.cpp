// quadmeter-cli log --every 0 against a prompt simulated unit: rows per second held over the run,
// next to the floor of one live cycle per row (Unit::readLive in this process), and the program's
// memory early in the run next to at its end, which must stay flat however long the run.
// Prints figures; judges nothing. `bench_logrows ROWS` sets the run's length (default 20000).
#include "sim/ptyhost.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The resident memory of another process, in kB; -1 when it is gone.
long residentKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(2000, atoi(argv[1])) : 20000;
    PtyHost host;
    QTemporaryDir dir;
    if (!host.start() || !dir.isValid()) {
        std::fprintf(stderr, "cannot start the simulated unit\n");
        return 1;
    }

    std::vector<double> cycle;
    {
        Unit unit;
        unit.open(host.portPath());
        for (int i = 0; i < 201; ++i) {
            QElapsedTimer clock;
            clock.start();
            unit.readLive();
            cycle.push_back(clock.nsecsElapsed() / 1e6);
        }
    }
    std::sort(cycle.begin(), cycle.end());
    const double floorRate = 1000.0 / cycle[cycle.size() / 2];

    const QString file = dir.filePath(QStringLiteral("run.txt"));
    QProcess process;
    process.start(QStringLiteral(QUADMETER_CLI_EXECUTABLE),
                  {"log", file, "--every", "0", "--time", "iso", "--count", QString::number(rows),
                   "--port", host.portPath()});
    process.waitForStarted();
    // Rows are counted from the file's size: every row of this run has the same length.
    qint64 rowBytes = 0;
    qint64 headerBytes = 0;
    QElapsedTimer clock;
    qint64 earlyMs = 0, earlyRows = 0;
    long earlyKb = -1, lastKb = -1, peakKb = 0;
    qint64 lastRows = 0;
    while (process.state() != QProcess::NotRunning) {
        QThread::msleep(20);
        const qint64 size = QFileInfo(file).size();
        if (rowBytes == 0 && size > 0) {
            QFile log(file);
            if (log.open(QIODevice::ReadOnly)) {
                headerBytes = log.readLine().size();
                rowBytes = log.readLine().size();
            }
        }
        if (rowBytes <= 0)
            continue;
        const qint64 written = (size - headerBytes) / rowBytes;
        const long kb = residentKilobytes(process.processId());
        if (kb < 0)
            break;
        peakKb = std::max(peakKb, kb);
        if (earlyKb < 0 && written >= rows / 10) {
            clock.start();
            earlyRows = written;
            earlyKb = kb;
        }
        if (written > lastRows && clock.isValid()) {
            earlyMs = clock.elapsed();
            lastRows = written;
            lastKb = kb;
        }
    }
    process.waitForFinished(-1);
    const double rate = earlyMs > 0 ? (lastRows - earlyRows) * 1000.0 / earlyMs : 0;

    std::printf("quadmeter-cli log --every 0 --time iso, %d rows against a prompt simulated unit\n",
                rows);
    std::printf("%-40s %9.1f rows/s\n", "floor: one live cycle per row", floorRate);
    std::printf("%-40s %9.1f rows/s  ratio %.2f to the floor\n", "sustained, past the first tenth",
                rate, rate / floorRate);
    std::printf("%-40s %9ld kB at row %lld, %ld kB at row %lld, peak %ld kB\n", "resident memory",
                earlyKb, static_cast<long long>(earlyRows), lastKb,
                static_cast<long long>(lastRows), peakKb);
    std::printf("%-40s exit %d\n", "quadmeter-cli", process.exitCode());
    return 0;
}
