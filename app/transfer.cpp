#include "app/dialog.h"

#include "calibration/calibrationwidget.h"
#include "unit/unit.h"

#include <QMessageBox>

namespace {

QString channelTitle(calibrationWidget *page)
{
    return QStringLiteral("Channel%1").arg(page->channel() + 1);
}

} // namespace

void Dialog::getEepromData(QWidget *widget)
{
    auto *page = qobject_cast<calibrationWidget *>(widget);
    const auto turn = guard.begin();
    if (!page || !turn || !openSerialPort())
        return;

    // Half a new calibration over half the old one would be a page that neither the unit nor the
    // operator ever had: the page takes the unit's calibration whole, or keeps what it showed.
    const UnitResult<Calibration> read = unit->readCalibration(page->channel());
    if (!read) {
        QMessageBox::warning(page, tr("Warning"),
                             tr("%1: the unit did not answer in full; the page is unchanged.")
                                 .arg(channelTitle(page)));
        return;
    }
    page->showCalibration(*read);
}

void Dialog::setEepromData(QWidget *widget)
{
    auto *page = qobject_cast<calibrationWidget *>(widget);
    if (!page)
        return;
    // A field left empty or cut short would go out as 0 and could end up in the EEPROM.
    QString problem;
    const std::optional<Calibration> calibration = page->calibration(problem);
    if (!calibration) {
        QMessageBox::warning(
            page, tr("Warning"),
            tr("%1: %2. Nothing was sent to the unit.").arg(channelTitle(page), problem));
        return;
    }
    const auto turn = guard.begin();
    if (!turn || !openSerialPort())
        return;

    const UnitResult<void> sent = unit->sendCalibration(page->channel(), *calibration);
    if (sent)
        return;
    QMessageBox::warning(
        page, tr("Warning"),
        tr("%1: the unit did not take the new calibration (%2). Send it again before \"Write "
           "EEPROM\".")
            .arg(channelTitle(page), sent.error()));
}

void Dialog::writeEeprom(QWidget *widget)
{
    const auto turn = guard.begin();
    if (!turn || !openSerialPort())
        return;
    // The unit stores the calibration of all channels at once, so the page that asked is no
    // part of the command; it only carries the box when the store could not go out.
    const UnitResult<void> stored = unit->storeEeprom();
    if (!stored)
        QMessageBox::warning(widget, tr("Warning"),
                             tr("The calibration was not stored: %1.").arg(stored.error()));
}
