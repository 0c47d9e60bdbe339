// The Logger's chart over a long run, all twelve cells logged: the time one row takes to reach the
// screen (its points added and the charts redrawn) with one point per line and with a day's worth
// (86,400 rows at one a second), and the Logger's memory after 10 rows next to after 86,400.
// Prints figures; judges nothing.
#include "windows/logchart.h"
#include "app/dialog.h"
#include "bench/memory.h"
#include "logging/chartseries.h"
#include "windows/logger.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// A day at one reading a second; a first argument asks for fewer, for a quick look.
int DayOfRows = 86400;
constexpr int Samples = 50;

// Readings that wander and wobble like a cooldown, so thinning has extremes to keep.
void fillReadings(ChannelData *records, int row)
{
    for (int c = 0; c < 4; ++c) {
        const double wobble = std::sin(row * 0.37 + c) * 0.5;
        records[c].currentVoltage = float(0.1 * (c + 1) + wobble * 0.01);
        records[c].resistance = float(100 + 10 * c - row * 0.0005 + wobble);
        records[c].temperature = float(300 - row * 0.002 + wobble);
    }
}

struct Spread
{
    double median, high;
};

Spread spreadOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back()};
}

// Milliseconds from a row's values to the charts painted with them.
double rowToScreen(LogChart &chart, const QDateTime &time, const ChannelData *records)
{
    QElapsedTimer clock;
    clock.start();
    chart.addRow(time, records);
    QCoreApplication::processEvents(); // the charts lay out their new ranges
    // The offscreen platform has no screen to flush to, and repaint() of a window it never maps
    // paints nothing; rendering the window into an image is what painting it costs.
    chart.grab();
    return clock.nsecsElapsed() / 1e6;
}

void redrawFigures()
{
    LogChart chart;
    chart.resize(chart.sizeHint());
    chart.show();
    QCoreApplication::processEvents();
    ChannelData records[4];
    const QDateTime start = QDateTime::currentDateTime();

    std::vector<double> first;
    for (int i = 0; i < Samples; ++i) {
        chart.startRun(allLogEnables());
        QCoreApplication::processEvents();
        fillReadings(records, i);
        first.push_back(rowToScreen(chart, start, records));
    }

    QElapsedTimer filling;
    filling.start();
    for (int row = 0; row < DayOfRows; ++row) {
        fillReadings(records, row);
        chart.addRow(start.addSecs(row), records);
    }
    const double fillSeconds = filling.elapsed() / 1e3;
    std::vector<double> day;
    for (int row = DayOfRows; row < DayOfRows + Samples; ++row) {
        fillReadings(records, row);
        day.push_back(rowToScreen(chart, start.addSecs(row), records));
    }
    // The worst row: a new extreme on every line, so every line and every value axis changes.
    std::vector<double> worst;
    for (int row = DayOfRows + Samples; row < DayOfRows + 2 * Samples; ++row) {
        for (ChannelData &record : records) {
            record.currentVoltage += 1;
            record.resistance += 1000;
            record.temperature += 1000;
        }
        worst.push_back(rowToScreen(chart, start.addSecs(row), records));
    }

    const Spread atOne = spreadOf(first);
    const Spread atDay = spreadOf(day);
    const Spread atWorst = spreadOf(worst);
    std::printf("one row to the screen (points added, charts laid out and painted), 12 lines, "
                "%d rows each\n",
                Samples);
    std::printf("  %-40s median %6.2f ms  max %6.2f ms\n", "first row of a run", atOne.median,
                atOne.high);
    std::printf("  %-40s median %6.2f ms  max %6.2f ms  (aim 5 ms; ratio %.2f)\n",
                qPrintable(QString("after %1 rows").arg(DayOfRows)), atDay.median, atDay.high,
                atDay.median / 5.0);
    std::printf("  %-40s median %6.2f ms  max %6.2f ms  (ratio to the aim %.2f)\n",
                qPrintable(QString("after %1 rows, each a new extreme").arg(DayOfRows)),
                atWorst.median, atWorst.high, atWorst.median / 5.0);
    std::printf("  %-40s %6.3f ms a row\n",
                qPrintable(QString("%1 rows added unpainted").arg(DayOfRows)),
                fillSeconds * 1e3 / DayOfRows);
    std::printf("  at most %d points per line kept\n", ThinnedSeries::DefaultLimit);
}

// The Logger as the LOGGER button opens it, fed rows as fast as the file takes them.
void memoryFigures()
{
    QTemporaryDir directory;
    Dialog window;
    auto *logger = new Logger(window.channelData(), &window);
    QObject::connect(&window, &Dialog::updatedData, logger, &Logger::dataUpdated);
    logger->show();
    logger->findChild<QLineEdit *>("leFileName")->setText(directory.filePath("day.txt"));
    logger->findChild<QPushButton *>("pbStart")->click();
    QCoreApplication::processEvents();

    const long before = statusKilobytes("VmRSS");
    long afterTen = 0;
    for (int row = 0; row < DayOfRows; ++row) {
        fillReadings(window.channelData(), row);
        emit window.updatedData();
        if (row + 1 == 10) {
            QCoreApplication::processEvents();
            afterTen = statusKilobytes("VmRSS");
        }
    }
    QCoreApplication::processEvents();
    const long afterDay = statusKilobytes("VmRSS");
    std::printf("Logger's resident memory, 12 cells (at START %ld KiB)\n", before);
    std::printf("  %-32s %7ld KiB\n", "after 10 rows", afterTen);
    std::printf("  %-32s %7ld KiB   (%+ld KiB)\n",
                QString("after %1 rows").arg(DayOfRows).toLatin1().constData(), afterDay,
                afterDay - afterTen);
    std::printf("  log file %lld bytes\n", QFileInfo(directory.filePath("day.txt")).size());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        DayOfRows = std::max(10, QString::fromLocal8Bit(argv[1]).toInt());
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    memoryFigures();
    redrawFigures();
    return 0;
}
