#pragma once

// The main window talking to one fresh simulated unit, where the window suites start each case,
// and the presses they make on it.
#include "app/dialog.h"
#include "sim/ptyhost.h"

class calibrationWidget;
class QWidget;

class WindowOnUnit
{
protected:
    // A fresh unit and a fresh window whose lister offers that unit alone.
    bool startWindowOnUnit();
    // The window, and with it its port, goes first, as when the operator closes the tool.
    void stopWindowOnUnit();

    PtyHost *unit = nullptr;
    Dialog *window = nullptr;
};

// The calibration page of a channel; tab 0 is the Data page.
calibrationWidget *calibrationPage(Dialog &window, int channel);
void press(QWidget *parent, const char *button);
// "Get All  Data"; the calibration pages have a "pbGetData" of their own.
void getAllData(Dialog &window);
