// The service tool on a machine without a unit: the same main window, its port lister pointed at
// simulated units (or at a serial device named on the command line).
#include "app/dialog.h"
#include "demo/demooptions.h"
#include "logging/logfile.h"

#include <QApplication>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Keep the window's logical sizes on high-density screens, scaled by whole factors as Qt 5
    // does (Qt 6 always scales, by default by the screen's exact factor); must precede the
    // application.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const DemoOptions options = parseDemoOptions(arguments);
    if (options.help || options.version || !options.error.isEmpty()) {
        // Answered without a display: the help text needs no more than a core application.
        QCoreApplication app(argc, argv);
        if (!options.error.isEmpty()) {
            std::fprintf(stderr, "quadmeter-demo: %s\n%s", qPrintable(options.error),
                         qPrintable(demoUsage()));
            return 2;
        }
        if (options.help)
            std::fputs(qPrintable(demoUsage()), stdout);
        else
            std::puts("quadmeter-demo " QUADMETER_VERSION);
        return 0;
    }
    if (options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("quadmeter.*.debug=true"));

    // A log file whose reader went away fails its row; it must not end the tool.
    ignoreBrokenPipes();
    QApplication a(argc, argv);
    DemoUnits units;
    QString error;
    if (!units.start(options, &error)) {
        std::fprintf(stderr, "quadmeter-demo: %s\n", qPrintable(error));
        return 1;
    }
    for (const QString &line : units.descriptions())
        std::fprintf(stderr, "quadmeter-demo: %s\n", qPrintable(line));

    Dialog w;
    w.setPortLister(units.lister());
    w.show();
    return a.exec();
}
