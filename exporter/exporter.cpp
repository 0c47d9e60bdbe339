#include "exporter/exporter.h"

#include "exporter/metricsserver.h"
#include "exporter/metricstext.h"
#include "exporter/unitpoller.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

bool runExporter(const ExporterSettings &settings, const std::function<bool()> &stopRequested,
                 const std::function<void(const QString &)> &say)
{
    MetricsServer server;
    const Result<void> started = server.start(settings.listen);
    if (!started) {
        say(started.error());
        return false;
    }
    const QString host = settings.listen.ipv6 ? QStringLiteral("[%1]").arg(settings.listen.host)
                                              : settings.listen.host;
    say(QStringLiteral("serving the readings at http://%1:%2/metrics")
            .arg(host)
            .arg(server.port()));

    UnitPoller poller(settings.ports, settings.everySeconds, settings.lister);
    server.publish(metricsText(poller.metrics()));
    const auto publish = [&server](const QByteArray &page) {
        server.publish(page);
    };
    while (!stopRequested()) {
        const qint64 wait = poller.pollDue(publish, say);
        QElapsedTimer waited;
        waited.start();
        while (!stopRequested() && waited.elapsed() < wait) {
            QCoreApplication::processEvents();
            QThread::msleep(ulong(qBound(qint64(1), wait - waited.elapsed(), qint64(50))));
        }
    }
    return true;
}
