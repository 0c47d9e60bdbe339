#pragma once

// Input as the window system delivers it: queued behind whatever the application is doing, not
// sent straight to the widget as QTest's widget overloads do. A click queued while an exchange
// waits must be handled only when the wait is over.
class QWidget;

// Queues a left click at the widget's centre; the widget's window must be shown.
void queueClick(QWidget *widget);
