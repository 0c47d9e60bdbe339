#include "tests/support/windowsystem.h"

#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

void queueClick(QWidget *widget)
{
    QWidget *top = widget->window();
    QWindow *window = top->windowHandle();
    const QPoint centre = widget->rect().center();
    const QPointF local = widget->mapTo(top, centre);
    const QPointF global = widget->mapToGlobal(centre);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
}
