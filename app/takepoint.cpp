#include "app/dialog.h"

#include "calibration/fixedpoints.h"
#include "unit/unit.h"
#include "windows/calibrationwidget.h"

// Measures the page's channel at the temperature its sensor is held at: the mean and spread of
// a run of live readings, handed back to the page as a point or as why there is none.
void Dialog::takePoint(QWidget *widget, double kelvin)
{
    auto *page = qobject_cast<calibrationWidget *>(widget);
    if (!page)
        return;
    const auto turn = guard.begin();
    if (!turn || !openSerialPort())
        return;
    followRunUnit();
    QVector<float> ohms;
    for (int k = 0; k < DefaultPointReadings; ++k) {
        const Result<LiveReading> reading = unit->readLive();
        if (!reading) {
            page->pointTaken(
                Failure {tr("not every reading came whole (%1)").arg(reading.error())});
            return;
        }
        ohms.append(reading->channels.at(page->channel()).resistance);
    }
    page->pointTaken(pointFromReadings(page->channel(), kelvin, ohms, DefaultMaxSpreadPpm,
                                       QDateTime::currentDateTimeUtc()));
}
