#include "app/dialog.h"

#include "calibration/calibrationsend.h"
#include "unit/unit.h"
#include "windows/calibrationwidget.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QMessageBox>

// The window's debug lines, defined beside the opening of the port.
Q_DECLARE_LOGGING_CATEGORY(appLog)

namespace {

QString channelTitle(calibrationWidget *page)
{
    return QStringLiteral("Channel%1").arg(page->channel() + 1);
}

// The window's answers while calibration goes out: boxes over the page that sends it.
class WindowChoices : public SendChoices
{
public:
    WindowChoices(Dialog &dialog, calibrationWidget *page)
        : dialog(dialog)
        , page(page)
    { }

    void refuse(int /*channel*/, const QString &problem) override
    {
        QMessageBox::warning(
            page, Dialog::tr("Warning"),
            Dialog::tr("%1: %2. Nothing was sent to the unit.").arg(channelTitle(page), problem));
    }

    bool sendOutOfOrder(int /*channel*/, const QString &problem) override
    {
        return QMessageBox::warning(
                   page, Dialog::tr("Warning"),
                   Dialog::tr(
                       "%1: %2. Its rows do not run one way, as a sensor's do. Send it anyway?")
                       .arg(channelTitle(page), problem),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    }

    bool sendWithoutBackup(const QString &why) override
    {
        return QMessageBox::warning(
                   page, Dialog::tr("Warning"),
                   Dialog::tr("The calibration the unit holds now could not be backed up (%1), "
                              "so it could not be restored. Send the new one without a backup?")
                       .arg(why),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    }

    void backedUp(const QString &path) override
    {
        const QString shown = QDir::toNativeSeparators(path);
        qCDebug(appLog).noquote() << QStringLiteral("Calibration backed up to %1").arg(shown);
        for (calibrationWidget *each : dialog.findChildren<calibrationWidget *>())
            each->showBackup(shown);
    }

private:
    Dialog &dialog;
    calibrationWidget *page;
};

} // namespace

void Dialog::getEepromData(QWidget *widget)
{
    auto *page = qobject_cast<calibrationWidget *>(widget);
    const auto turn = guard.begin();
    if (!page || !turn || !openSerialPort())
        return;

    // Half a new calibration over half the old one would be a page that neither the unit nor the
    // operator ever had: the page takes the unit's calibration whole, or keeps what it showed.
    const Result<Calibration> read = unit->readCalibration(page->channel());
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
    // A value no sensor has would make the channel's live temperatures up, so it never goes out;
    // rows out of order go only when the operator says so.
    WindowChoices choices(*this, page);
    if (!maySend(page->channel(), *calibration, choices))
        return;
    const QString tool = QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                     QStringLiteral(QUADMETER_VERSION));
    const auto turn = guard.begin();
    if (!turn || !openSerialPort() || !backUpBeforeSending(*unit, backups, tool, choices))
        return;

    const Result<void> sent = unit->sendCalibration(page->channel(), *calibration);
    if (sent)
        return;
    QMessageBox::warning(page, tr("Warning"),
                         tr("%1. Send it again before \"Write EEPROM\".")
                             .arg(Unit::notTakenSentence(channelTitle(page), tr("new"), sent)));
}

void Dialog::writeEeprom(QWidget *widget)
{
    const auto turn = guard.begin();
    if (!turn || !openSerialPort())
        return;
    // The unit stores the calibration of all channels at once, so the page that asked is no
    // part of the command; it only carries the box when the store could not go out.
    const Result<void> stored = unit->storeEeprom();
    if (!stored)
        QMessageBox::warning(widget, tr("Warning"),
                             tr("The calibration was not stored: %1.").arg(stored.error()));
}
