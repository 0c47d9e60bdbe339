// Pictures of the tool for the README: the Data page after a live reading of a simulated unit, a
// calibration page filled from the example curve, and the Logger's chart of a short run. Run under
// a real display server (Xvfb).
#include "app/dialog.h"
#include "demo/demooptions.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

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

    // The Logger as the operator opens it, over a quarter of a minute at one reading a second.
    QTemporaryDir logDirectory;
    QTimer::singleShot(0, &window, [&] {
        auto *logger = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!logger)
            return;
        logger->findChild<QLineEdit *>("leFileName")->setText(logDirectory.filePath("run.txt"));
        QEventLoop run;
        int rows = 0;
        QObject::connect(&window, &Dialog::updatedData, &run, [&] {
            if (++rows == 15)
                run.quit();
        });
        QTimer::singleShot(60000, &run, &QEventLoop::quit); // a unit that stopped answering
        logger->findChild<QPushButton *>("pbStart")->click();
        run.exec();
        logger->findChild<QPushButton *>("pbStart")->click();
        QApplication::processEvents();
        saved = logger->grab().save(directory + QLatin1String("/logger.png")) && saved;
        logger->close();
    });
    window.findChild<QPushButton *>("pbLogger")->click();
    return saved ? 0 : 1;
}
