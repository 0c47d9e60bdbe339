#pragma once

// The command line of quadmeter-sim, read into what the host needs.
#include "sim/ptyhost.h"

#include <QString>
#include <QStringList>

struct SimOptions
{
    bool help = false;
    bool version = false;
    QString error; // not empty: the command line was refused, and why
    QString eepromFile;
    bool watchStdin = true; // stop when stdin closes
    Misbehaviour misbehaviour;
};

// `arguments` includes the program name first, as QCoreApplication::arguments() gives it.
SimOptions parseSimOptions(const QStringList &arguments);
QString simUsage();
