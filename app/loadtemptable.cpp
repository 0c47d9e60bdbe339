#include "app/dialog.h"

#include "calibration/calibrationfile.h"
#include "calibration/curvefile.h"
#include "files/regularfile.h"
#include "windows/calibrationwidget.h"

#include <QDir>
#include <QFile>
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
    // A file that cannot be opened at all leaves the page as it is, without a word; one that is
    // no regular file is the curve reader's to refuse.
    QFile file;
    QString reason;
    const FileOpening opening = openRegularFile(file, path, QIODevice::ReadOnly, &reason);
    if (opening == FileOpening::Failed)
        return;
    if (opening == FileOpening::Opened) {
        const QByteArray text = file.read(MaxCurveFileBytes + 1);
        if (calibrationFileKind(text) != CalibrationFileKind::Curve) {
            loadCalibrationFile(page, path, text);
            return;
        }
    }
    file.close();

    bool opened = false;
    const CurveTable table = curveTableFromFile(path, &opened);
    if (!opened)
        return;
    const QString shownPath = QDir::toNativeSeparators(path);
    if (table.outOfOrder) {
        // A mistyped point, or a real curve's step: the operator knows which.
        if (QMessageBox::warning(
                page, tr("LoadFromFile"),
                tr("The curve file \"%1\": %2. Load it anyway?").arg(shownPath, table.refusal),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
    } else if (!table.refusal.isEmpty()) {
        QMessageBox::warning(
            page, tr("LoadFromFile"),
            tr("The curve file \"%1\" was not loaded: %2.").arg(shownPath, table.refusal));
        return;
    }

    page->showCurveTable(table.rows, table.points);
}

void Dialog::loadCalibrationFile(calibrationWidget *page, const QString &path,
                                 const QByteArray &text)
{
    Calibration calibration;
    QString problem;
    if (text.size() > MaxCurveFileBytes) {
        problem = tr("it is too large");
    } else if (calibrationFileKind(text) == CalibrationFileKind::Unit) {
        const UnitCalibrationFile read = readUnitCalibrationFile(text);
        problem = read.problem;
        if (problem.isEmpty())
            calibration = read.channels.at(page->channel());
    } else {
        const CalibrationFile read = readCalibrationFile(text);
        problem = read.problem;
        if (problem.isEmpty())
            calibration = Calibration {read.gain.value_or(0), read.rows};
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(page, tr("LoadFromFile"),
                             tr("The calibration file \"%1\" was not loaded: %2.")
                                 .arg(QDir::toNativeSeparators(path), problem));
        return;
    }
    page->showCalibration(calibration);
}
