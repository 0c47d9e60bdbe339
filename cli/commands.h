#pragma once

// The commands of quadmeter-cli: each takes its options, talks to the unit and the files, prints
// its results to stdout and its messages to stderr, and returns the exit status.
#include "cli/options.h"

enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// Asks a running read or log to end after the reading under way: the SIGINT and SIGTERM handlers
// set it, the loops poll it.
void requestStop();

int runCommand(const CliOptions &options);
