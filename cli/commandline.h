#pragma once

// The command line of quadmeter-cli: which command, with what, and the help texts, all from the
// table of commands. Pure: no unit, no file.
#include "cli/command.h"

#include <QString>
#include <QStringList>

#include <memory>

struct CommandLine
{
    // The command named, its own options and arguments taken; null when none was named (the
    // tool's --help or --version) or the name is unknown.
    std::unique_ptr<Command> command;
    CommonOptions common;
    bool help = false; // the command's help, or the tool's without a command
    bool helpAll = false;
    bool version = false;
    QString error; // not empty: a usage error, and why
};

// `arguments` includes the program name first, as QCoreApplication::arguments() gives it. The
// common options may come before the command's name or after it.
CommandLine parseCommandLine(const QStringList &arguments);

// What --help prints: the tool's usage with its list of commands, or what one command takes.
QString toolUsage();
QString commandUsage(const Command &command);
// The tool's usage and every command's, one after the other: --help-all, for the man page.
QString fullUsage();
