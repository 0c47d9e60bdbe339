#include "app/dialog.h"
#include "logging/logfile.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Keep the window's logical sizes on high-density screens; must precede the application.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    // A log file whose reader went away fails its row; it must not end the tool.
    ignoreBrokenPipes();
    QApplication a(argc, argv);
    Dialog w;
    w.show();
    return a.exec();
}
