#include "app/dialog.h"
#include "logging/logfile.h"

#include <QApplication>
#include <QCommandLineParser>

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
    QCoreApplication::setApplicationName(QStringLiteral("quadmeter"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUADMETER_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The service tool of the four-channel measurement unit attached by USB: live "
        "readings, relays, calibration tables and logging. It finds the unit by its "
        "USB identifiers (0483:5740) when a button first talks to it."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    // --help and --version answer without opening the display, so they work on a console (and
    // when the man page is written at build time).
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (parser.parse(arguments) && (parser.isSet(help) || parser.isSet(version))) {
        QCoreApplication console(argc, argv);
        parser.process(console); // prints and exits
    }

    // A log file whose reader went away fails its row; it must not end the tool.
    ignoreBrokenPipes();
    QApplication a(argc, argv);
    // Qt's own options (-style, -platform ...) are taken out by now; anything else is refused.
    parser.process(a);
    Dialog w;
    w.show();
    return a.exec();
}
