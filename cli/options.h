#pragma once

// The command line of quadmeter-cli, read into what a command needs. Pure: no unit, no file.
#include "logging/logformat.h"

#include <QString>
#include <QStringList>

enum class CliCommand { None, List, Read, Relay, GetCal, SetCal, Store, Log };
enum class ReadFormat { Table, Tsv, Json };

struct CliOptions
{
    CliCommand command = CliCommand::None;
    bool help = false; // for the tool when command is None, else for the command
    bool version = false;
    bool verbose = false;
    QString error; // not empty: a usage error, and why
    QString port; // empty: find the unit by its USB identifiers

    int count = 0; // read, log: readings to take; 0 until stopped
    double every = 1; // read, log: seconds from one reading's start to the next's
    ReadFormat format = ReadFormat::Table;

    int relay = 0; // 1 or 2
    bool on = false;

    int channel = 0; // 0-3 inside; the operator writes 1-4
    QString output; // get-cal -o; empty: standard output
    QString curveFile; // set-cal --curve
    QString tableFile; // set-cal --table
    bool hasGain = false;
    float gain = 0;
    bool store = false;

    QString logFile;
    LogEnables enables = allLogEnables();
    bool overwrite = false;
};

// `arguments` includes the program name first, as QCoreApplication::arguments() gives it.
CliOptions parseCliArguments(const QStringList &arguments);

// The --help text of the tool (CliCommand::None) or of a command.
QString cliUsage(CliCommand command);

// "Voltage0,Temperature3" into the ticked cells; false with the unknown name in `problem`.
bool parseLogEnables(const QString &text, LogEnables &enables, QString &problem);
