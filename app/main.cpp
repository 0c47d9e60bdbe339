#include "app/dialog.h"

#include <QApplication>

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

    QApplication a(argc, argv);
    Dialog w;
    w.show();
    return a.exec();
}
