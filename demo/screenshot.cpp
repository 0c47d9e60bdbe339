// Pictures of the tool for the README: the Data page after a live reading of a simulated unit, and
// a calibration page filled from the example curve. Run under a real display server (Xvfb).
#include "app/dialog.h"
#include "demo/demooptions.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quadmeter-screenshot DIRECTORY\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);

    DemoUnits units;
    QString error;
    if (!units.start(parseDemoOptions({QStringLiteral("quadmeter-screenshot")}), &error)) {
        std::fprintf(stderr, "quadmeter-screenshot: %s\n", qPrintable(error));
        return 1;
    }
    Dialog window;
    window.setPortLister(units.lister());
    // At the size it opens at, as a newcomer first sees it.
    window.show();
    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    tabs->widget(0)->findChild<QPushButton *>("pbGetData")->click();
    QApplication::processEvents();
    bool saved = window.grab().save(directory + QLatin1String("/main-window.png"));

    tabs->setCurrentIndex(1);
    tabs->widget(1)->findChild<QPushButton *>("pbGetData")->click();
    tabs->widget(1)->findChild<QPushButton *>("pbLoadFromFile")->click();
    QApplication::processEvents();
    saved = window.grab().save(directory + QLatin1String("/calibration-page.png")) && saved;
    return saved ? 0 : 1;
}
