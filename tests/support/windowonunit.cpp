#include "tests/support/windowonunit.h"

#include "tests/support/simunit.h"
#include "windows/calibrationwidget.h"

#include <QAbstractButton>
#include <QTabWidget>

bool WindowOnUnit::startWindowOnUnit()
{
    unit = new PtyHost;
    window = new Dialog;
    window->setPortLister(unitsLister({unit}));
    return unit->start();
}

void WindowOnUnit::stopWindowOnUnit()
{
    delete window;
    window = nullptr;
    delete unit;
    unit = nullptr;
}

calibrationWidget *calibrationPage(Dialog &window, int channel)
{
    auto *page = qobject_cast<calibrationWidget *>(
        window.findChild<QTabWidget *>("tabWidget")->widget(channel + 1));
    page->makeForm(); // its buttons are pressed by name
    return page;
}

void press(QWidget *parent, const char *button)
{
    parent->findChild<QAbstractButton *>(QLatin1String(button))->click();
}

void getAllData(Dialog &window)
{
    press(window.findChild<QTabWidget *>("tabWidget")->widget(0), "pbGetData");
}
