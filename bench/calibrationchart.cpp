// How long a calibration page's chart takes to follow the page after "Get Data": the unit's 100
// rows handed to the chart and the chart painted anew. Prints figures; judges nothing.
#include "windows/calibrationchart.h"
#include "app/dialog.h"
#include "sim/ptyhost.h"
#include "tests/support/simunit.h"
#include "windows/calibrationwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 101;
    qInstallMessageHandler(quietDebug);

    PtyHost unit;
    if (!unit.start()) {
        std::fprintf(stderr, "cannot start the simulated unit\n");
        return 1;
    }
    Dialog dialog;
    dialog.setPortLister(unitsLister({&unit}));
    auto *tabs = dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    auto *page = qobject_cast<calibrationWidget *>(tabs->widget(1));
    if (page)
        page->makeForm();
    auto *chart = page ? page->findChild<CalibrationChart *>() : nullptr;
    if (!chart) {
        std::fprintf(stderr, "no calibration chart\n");
        return 1;
    }
    tabs->setCurrentIndex(1);
    dialog.show();
    page->findChild<QPushButton *>(QStringLiteral("pbGetData"))->click();
    QString problem;
    const std::optional<Calibration> read = page->calibration(problem);
    if (!read) {
        std::fprintf(stderr, "Get Data gave no whole page: %s\n", qPrintable(problem));
        return 1;
    }
    // Two tables in turn, so that every run really moves the line.
    QVector<TableEntry> other = read->rows;
    for (TableEntry &row : other)
        row.temperature *= 1.01f;

    std::vector<double> samples;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        chart->showRows(i % 2 ? read->rows : other);
        QCoreApplication::processEvents();
        chart->repaint();
        samples.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("runs: %d\n", runs);
    std::printf("chart redraw after Get Data (100 rows in, painted): median %.2f ms, aim 10 ms\n",
                medianMs(samples));
    return 0;
}
