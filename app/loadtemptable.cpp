#include "app/dialog.h"

#include "calibration/calibrationwidget.h"
#include "calibration/curvefile.h"

#include <QDir>
#include <QMessageBox>

// Fills the page's 100 rows from the curve file named in its path field. Works from the file
// alone: no unit is needed and nothing is sent.
void Dialog::loadTempTable(QWidget *widget)
{
    auto *page = qobject_cast<calibrationWidget *>(widget);
    if (!page)
        return;
    const QString path = page->fileName();
    if (path.isEmpty())
        return;
    // A file that cannot be opened at all leaves the page as it is, without a word.
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
