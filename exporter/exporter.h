#pragma once

// `quadmeter-cli serve`: the units' readings for Prometheus, until asked to stop.
#include "exporter/listenaddress.h"
#include "link/portlister.h"
#include "logging/logwriter.h"

#include <QStringList>

#include <functional>

struct ExporterSettings
{
    QStringList ports; // empty: every attached unit
    ListenAddress listen;
    double everySeconds = 5;
    PortLister lister = systemPorts;
    QString logFolder; // where each unit's log file goes; empty: no log files
    LogRunSettings log; // their columns, time stamps and days; the file names are the units'
};

// Serves until `stopRequested` says so; the lines for the operator go to `say`. Returns false
// when the address could not be taken.
bool runExporter(const ExporterSettings &settings, const std::function<bool()> &stopRequested,
                 const std::function<void(const QString &line)> &say);
