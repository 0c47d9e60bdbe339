// Start-up of the main window, from process start to the window shown (offscreen), next to a
// bare Qt dialog's; and the peak memory of the running tool after a live data cycle.
// Prints figures; judges nothing.
#include "app/dialog.h"
#include "bench/memory.h"
#include "sim/ptyhost.h"
#include "tests/support/simunit.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

// Milliseconds since this process was started by the kernel.
double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Field 22 (start time in clock ticks since boot) counts from after the command's ")".
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    timespec now {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1000.0 / sysconf(_SC_CLK_TCK);
}

void waitShown(QWidget &w)
{
    w.show();
    while (!w.windowHandle() || !w.windowHandle()->isExposed())
        QCoreApplication::processEvents();
}

int child(const QString &what, int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    if (what == QLatin1String("bare")) {
        QDialog dialog;
        waitShown(dialog);
        std::printf("%.2f\n", msSinceProcessStart());
        return 0;
    }
    Dialog window;
    waitShown(window);
    const double shown = msSinceProcessStart();
    if (what == QLatin1String("memory")) {
        PtyHost unit;
        unit.start();
        window.setPortLister(unitsLister({&unit}));
        auto *button = window.findChild<QWidget *>("tab")->findChild<QPushButton *>("pbGetData");
        for (int i = 0; i < 20; ++i)
            button->click();
        std::printf("%ld\n", statusKilobytes("VmHWM"));
        return 0;
    }
    std::printf("%.2f\n", shown);
    return 0;
}

double medianOfRuns(const QString &program, const QString &what, int runs)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.start(program, {QStringLiteral("--child"), what});
        p.waitForFinished(30000);
        samples.push_back(p.readAllStandardOutput().trimmed().toDouble());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return child(QString::fromLatin1(argv[2]), argc, argv);

    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    constexpr int Runs = 15;
    const double bare = medianOfRuns(self, QStringLiteral("bare"), Runs);
    const double window = medianOfRuns(self, QStringLiteral("window"), Runs);
    std::printf("Start-up to window shown (offscreen), median of %d runs\n", Runs);
    std::printf("%-34s median %7.1f ms\n", "bare Qt dialog", bare);
    std::printf("%-34s median %7.1f ms  ratio %.2f\n", "main window", window, window / bare);
    const double memory = medianOfRuns(self, QStringLiteral("memory"), 3);
    std::printf("%-34s %7.1f MiB (after 20 live data cycles)\n", "peak memory of the tool",
                memory / 1024.0);
    return 0;
}
