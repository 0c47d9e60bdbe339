// How long "Get Data" and "Set Data" keep the window busy against a unit that answers at once,
// next to the pauses the unit needs between commands and the quiet the line must keep after a
// calibration read's replies. Set Data reads its work back, so it holds a whole Get Data.
// Prints figures; judges nothing.
#include "app/dialog.h"
#include "sim/ptyhost.h"
#include "windows/calibrationwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int CommandPauseMs = 10;
// A calibration read listens this long after the gain and after the table for stray bytes.
constexpr int CalibrationQuietMs = 30;
// Bytes of one "Set Data" on the line: the gain command and four table blocks, then the
// read-back's two requests and their 4 + 800 bytes of reply.
constexpr int SetDataBytes = 5 + 4 * 204 + 1 + 4 + 4 + 800;
// 500000 baud, 8 data bits, no parity, one stop bit: ten bit times a byte.
constexpr double LineMsPerByte = 10.0 / 500000.0 * 1000.0;

double medianMs(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
}

std::vector<double> timeClicks(QPushButton *button, int runs)
{
    std::vector<double> samples;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        button->click();
        samples.push_back(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    return samples;
}

// The transfer slots trace every request; the figures should not drown in them.
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
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 25;
    qInstallMessageHandler(quietDebug);

    PtyHost unit;
    if (!unit.start()) {
        std::fprintf(stderr, "cannot start the simulated unit\n");
        return 1;
    }

    Dialog dialog;
    dialog.setPortLister([&unit] {
        PortEntry entry;
        entry.portName = unit.portPath();
        entry.hasUsbIds = true;
        entry.vendorId = 1155;
        entry.productId = 22336;
        return QList<PortEntry> {entry};
    });
    auto *page = qobject_cast<calibrationWidget *>(
        dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->widget(1));
    if (!page) {
        std::fprintf(stderr, "no calibration page\n");
        return 1;
    }
    page->makeForm();
    auto *getData = page->findChild<QPushButton *>(QStringLiteral("pbGetData"));
    auto *setData = page->findChild<QPushButton *>(QStringLiteral("pbSetData"));

    // The first click opens the port and fills the page, so Set Data has a whole page to send.
    getData->click();

    const double getMs = medianMs(timeClicks(getData, runs));
    const double setMs = medianMs(timeClicks(setData, runs));

    // Two one-shot pauses and two quiet checks; Set Data: five pauses, then the same read.
    const double getFloor = 2 * CommandPauseMs + 2 * CalibrationQuietMs;
    const double setFloor = 5 * CommandPauseMs + getFloor;
    const double setLineFloor = setFloor + SetDataBytes * LineMsPerByte;
    std::printf("runs each: %d\n", runs);
    std::printf("Get Data: median %.2f ms, floor %.0f ms (2 pauses, 2 quiet checks), ratio %.3f\n",
                getMs, getFloor, getMs / getFloor);
    std::printf("Set Data: median %.2f ms, floor %.0f ms (5 pauses and the read-back; the pty adds "
                "no line time), ratio %.3f\n",
                setMs, setFloor, setMs / setFloor);
    std::printf("          against 5 pauses + %d bytes at 500000 baud = %.2f ms, ratio %.3f\n",
                SetDataBytes, setLineFloor, setMs / setLineFloor);
    return 0;
}
