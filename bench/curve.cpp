// How long "LoadFromFile" spends reading and resampling curve files, from a real curve's size to
// a million lines, and whether reading grows in step with the file. Prints figures; judges
// nothing.
#include "calibration/curvefile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double medianMs(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
}

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A falling curve of `lines` points, ".340" style with breakpoint numbers when asked.
QString writeCurve(const QTemporaryDir &dir, const QString &name, int lines, bool as340)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray text;
    if (as340)
        text += "Sensor Model:   BENCH\nData Format:    4      (Log Ohms/Kelvin)\n"
                "Number of Breakpoints:   "
            + QByteArray::number(lines) + "\n\nNo.   Units      Temperature (K)\n\n";
    for (int k = 0; k < lines; ++k) {
        const double kelvin = 330.0 * std::pow(1.0 / 330.0, double(k) / (lines - 1));
        const double logOhms = 1.8 + 2.6 * double(k) / (lines - 1);
        if (as340)
            text += QByteArray::number(k + 1) + "  " + QByteArray::number(logOhms, 'f', 7) + "  "
                + QByteArray::number(kelvin, 'f', 6) + '\n';
        else
            text += QByteArray::number(std::pow(10.0, logOhms), 'f', 4) + '\t'
                + QByteArray::number(kelvin, 'f', 6) + '\n';
        if (text.size() > (1 << 20)) {
            file.write(text);
            text.clear();
        }
    }
    file.write(text);
    return path;
}

struct Timing
{
    double readMs;
    double resampleMs;
};

Timing timeOnce(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const Result<QVector<CurvePoint>> read = readCurve(file);
    const qint64 readNs = clock.nsecsElapsed();
    const Result<CurveTable> table = resampleCurve(read ? *read : QVector<CurvePoint>());
    const qint64 totalNs = clock.nsecsElapsed();
    if (!table || table->rows.size() != 100)
        qFatal("%s was not usable: %s", qPrintable(path), qPrintable(read.error() + table.error()));
    return {readNs / 1e6, (totalNs - readNs) / 1e6};
}

Timing medianOf(const QString &path, int runs)
{
    std::vector<double> reads;
    std::vector<double> resamples;
    for (int run = 0; run < runs; ++run) {
        const Timing t = timeOnce(path);
        reads.push_back(t.readMs);
        resamples.push_back(t.resampleMs);
    }
    return {medianMs(reads), medianMs(resamples)};
}

void report(const char *what, qint64 bytes, int runs, const Timing &t)
{
    std::printf("%-34s %10.1f KiB  median of %3d: read %9.3f ms, resample %8.3f ms\n", what,
                bytes / 1024.0, runs, t.readMs, t.resampleMs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    // First, while the process is still small: a file that is one 64 MiB line of digits and
    // blanks. It is no point, and reading it must not hold it.
    {
        const QString path = dir.filePath("one-line.bin");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        const QByteArray piece = QByteArray("1 2 ").repeated(256 * 1024);
        for (int k = 0; k < 64; ++k)
            file.write(piece);
        file.close();
        const long before = peakRssKb();
        QElapsedTimer clock;
        clock.start();
        QFile in(path);
        in.open(QIODevice::ReadOnly);
        const Result<QVector<CurvePoint>> read = readCurve(in);
        std::printf("%-34s %10.1f KiB  read %9.3f ms, peak memory grew %ld KiB, refused: %s\n",
                    "64 MiB without a line end", in.size() / 1024.0, clock.nsecsElapsed() / 1e6,
                    peakRssKb() - before, qPrintable(read.error()));
    }

    const QString real = writeCurve(dir, "real-size.340", 200, true);
    const QString quarter = writeCurve(dir, "quarter-million.txt", 250000, false);
    const QString million = writeCurve(dir, "million.txt", 1000000, false);
    const QString million340 = writeCurve(dir, "million.340", 1000000, true);

    const Timing small = medianOf(real, 201);
    report("200 breakpoints (.340)", QFile(real).size(), 201, small);
    const Timing q = medianOf(quarter, 7);
    report("250,000 lines (plain)", QFile(quarter).size(), 7, q);
    const Timing m = medianOf(million, 7);
    report("1,000,000 lines (plain)", QFile(million).size(), 7, m);
    const Timing m340 = medianOf(million340, 5);
    report("1,000,000 breakpoints (.340)", QFile(million340).size(), 5, m340);

    std::printf("reading 1,000,000 / 250,000 lines: %.2f (4.00 would be exactly linear)\n",
                m.readMs / q.readMs);
    std::printf("size ratio of the two files:       %.2f\n",
                double(QFile(million).size()) / QFile(quarter).size());
    return 0;
}
