#pragma once

// The command line of quadmeter-sim, read into what the host needs.
#include "sim/ptyhost.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

struct SimOptions
{
    bool help = false;
    bool version = false;
    QString error; // not empty: the command line was refused, and why
    QString eepromFile;
    bool watchStdin = true; // stop when stdin closes
    Misbehaviour misbehaviour;
    QList<std::pair<int, std::optional<double>>> baths; // channel 0-3 and its bath's kelvin
};

// A bath as the operator gives it, "1" and "273.15" (channel 1-4, kelvin above zero; "off" lets
// the sensor drift again), into channel 0-3 and temperature; nothing when either makes no sense.
std::optional<std::pair<int, std::optional<double>>> parseBath(const QString &channel,
                                                               const QString &kelvin);

// `arguments` includes the program name first, as QCoreApplication::arguments() gives it.
SimOptions parseSimOptions(const QStringList &arguments);
QString simUsage();
