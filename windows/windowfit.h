#pragma once

// Opening sizes worked out from what a window holds, at the running font and scale, so that its
// tables show their rows and columns whole instead of behind scroll bars.
#include <QList>
#include <QSize>

class QTableView;
class QWidget;

// Widens columns and heightens rows that are too small for their header text, and returns the
// size at which the table shows its first `rows` rows (all when negative) and every column
// without scrolling sideways.
QSize tableShowing(QTableView *table, int rows = -1);

struct ContentSize
{
    QWidget *widget;
    QSize size;
};

// The size `window` asks for when each widget gets at least its given size, and never less than
// the window's present size (the size its form gives it).
QSize windowFitting(QWidget *window, const QList<ContentSize> &contents);
