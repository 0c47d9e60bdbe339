#include "windows/windowfit.h"

#include <QHeaderView>
#include <QLayout>
#include <QScrollBar>
#include <QTableView>

namespace {

// Grows each section to what its header text needs and returns their sum over the first `count`.
int fitSections(QHeaderView *header, int count)
{
    int length = 0;
    for (int section = 0; section < count; ++section) {
        const int needed = header->sectionSizeHint(section);
        if (header->sectionSize(section) < needed)
            header->resizeSection(section, needed);
        length += header->sectionSize(section);
    }
    return length;
}

// A layout keeps its computed hints until told otherwise, and a widget that has not been shown
// yet does not tell it; so every layout between the widget and its window is told here.
void invalidateLayoutsAbove(QWidget *widget)
{
    for (QWidget *above = widget->parentWidget(); above; above = above->parentWidget()) {
        if (above->layout())
            above->layout()->invalidate();
        if (above->isWindow())
            break;
    }
}

} // namespace

QSize tableShowing(QTableView *table, int rows)
{
    const int rowCount = table->model()->rowCount();
    const int shownRows = rows < 0 ? rowCount : qMin(rows, rowCount);
    QHeaderView *top = table->horizontalHeader();
    QHeaderView *side = table->verticalHeader();

    const int columnsWidth = fitSections(top, table->model()->columnCount());
    fitSections(side, rowCount);
    int rowsHeight = 0;
    for (int row = 0; row < shownRows; ++row)
        rowsHeight += side->sectionSize(row);

    const int frame = 2 * table->frameWidth();
    int width = frame + columnsWidth + (side->isHidden() ? 0 : side->sizeHint().width());
    const int height = frame + rowsHeight + (top->isHidden() ? 0 : top->sizeHint().height());
    // Rows beyond those shown bring the vertical scroll bar, which takes its width off the columns.
    if (shownRows < rowCount && table->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        width += table->verticalScrollBar()->sizeHint().width();
    return {width, height};
}

QSize windowFitting(QWidget *window, const QList<ContentSize> &contents)
{
    QList<QSize> saved;
    for (const ContentSize &content : contents) {
        saved.append(content.widget->minimumSize());
        content.widget->setMinimumSize(content.widget->minimumSize().expandedTo(content.size));
        invalidateLayoutsAbove(content.widget);
    }
    const QSize fitting = window->sizeHint().expandedTo(window->size());
    for (int i = 0; i < contents.size(); ++i) {
        contents.at(i).widget->setMinimumSize(saved.at(i));
        invalidateLayoutsAbove(contents.at(i).widget);
    }
    return fitting;
}
