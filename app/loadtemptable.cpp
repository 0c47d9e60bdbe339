#include "app/dialog.h"

#include "calibration/tablesource.h"
#include "files/regularfile.h"
#include "unit/unit.h"
#include "windows/calibrationwidget.h"

#include <QDir>
#include <QMessageBox>

// Fills the page's 100 rows from the file named in its path field: a saved calibration exactly as
// it was saved, a curve resampled. Works from the file alone: no unit is needed and nothing is
// sent.
void Dialog::loadTempTable(QWidget *widget)
{
    auto *page = qobject_cast<calibrationWidget *>(widget);
    if (!page)
        return;
    const QString path = page->fileName();
    if (path.isEmpty())
        return;
    const QString shownPath = QDir::toNativeSeparators(path);
    const auto refuseCurve = [&](const QString &why) {
        QMessageBox::warning(page, tr("LoadFromFile"),
                             tr("The curve file \"%1\" was not loaded: %2.").arg(shownPath, why));
    };
    // A file that cannot be opened at all leaves the page as it is, without a word; one that is
    // no regular file is refused as a curve would be.
    const Result<TableSource> source = readTableSource(path);
    if (!source) {
        if (source.error() == notRegularFileText())
            refuseCurve(source.error());
        return;
    }
    if (source->kind != CalibrationFileKind::Curve) {
        loadCalibrationFile(page, path, *source);
        return;
    }

    const Result<CurveTable> table = curveTable(*source);
    if (!table) {
        refuseCurve(table.error());
        return;
    }
    // A mistyped point, or a real curve's step: the operator knows which.
    if (!table->turnsBack.isEmpty()
        && QMessageBox::warning(
               page, tr("LoadFromFile"),
               tr("The curve file \"%1\": %2. Load it anyway?").arg(shownPath, table->turnsBack),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    page->showCurveTable(table->rows, table->points);
}

void Dialog::loadCalibrationFile(calibrationWidget *page, const QString &path,
                                 const TableSource &source)
{
    Calibration calibration;
    QString problem;
    if (source.kind == CalibrationFileKind::Unit) {
        const Result<UnitCalibrationFile> read = unitCalibration(source);
        if (read && !mayLoadBackupOf(page, path, read->serialNumber))
            return;
        if (read)
            calibration = read->channels.at(page->channel());
        problem = read.error();
    } else {
        const Result<CalibrationFile> read = channelCalibration(source);
        if (read)
            calibration = Calibration {read->gain.value_or(0), read->rows};
        problem = read.error();
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(page, tr("LoadFromFile"),
                             tr("The calibration file \"%1\" was not loaded: %2.")
                                 .arg(QDir::toNativeSeparators(path), problem));
        return;
    }
    page->showCalibration(calibration);
}

bool Dialog::mayLoadBackupOf(calibrationWidget *page, const QString &path, const QString &savedFrom)
{
    // Only a unit already open is asked who it is: loading a file never goes looking for one.
    if (savedFrom.isEmpty() || !unit->isOpen())
        return true;
    const QString serial = unit->identity().serialNumber;
    if (serial.isEmpty() || serial == savedFrom)
        return true;
    return QMessageBox::question(
               page, tr("LoadFromFile"),
               tr("The backup file \"%1\" was taken from the unit with USB serial number %2, not "
                  "from the unit attached (%3). Load its %4 all the same?")
                   .arg(QDir::toNativeSeparators(path), savedFrom, serial,
                        QStringLiteral("Channel%1").arg(page->channel() + 1)),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}
