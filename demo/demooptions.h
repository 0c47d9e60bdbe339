#pragma once

// The demo's command line, and the units it puts behind the main window's port lister.
#include "link/portlister.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class PtyHost;

struct DemoOptions
{
    int units = 1; // simulated units attached at once
    QString eepromFile; // where the (first) simulated unit keeps its EEPROM; empty: in memory
    QString port; // an existing serial device to use as the one attached unit instead
    bool verbose = false; // the debug lines of the exchange on stderr
    QList<std::pair<int, std::optional<double>>> baths; // channel 0-3 of every unit, its kelvin
    bool help = false;
    bool version = false;
    QString error; // set when the command line cannot be used
};

DemoOptions parseDemoOptions(const QStringList &arguments);
QString demoUsage();

// The simulated units the demo serves, and the lister through which the window finds them.
class DemoUnits
{
public:
    DemoUnits();
    ~DemoUnits();

    // Starts the units the options ask for; false with a reason when a unit cannot be started.
    bool start(const DemoOptions &options, QString *error);
    PortLister lister() const;
    QStringList portPaths() const;
    // One line per unit: where it is and, for a simulated one, how to tell it in the window.
    QStringList descriptions() const;

private:
    std::vector<std::unique_ptr<PtyHost>> hosts;
    QString externalPort;
};
