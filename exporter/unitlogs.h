#pragma once

// The exporter's log files: for every unit it reads, the file `quadmeter-cli log` would write of
// it, in one folder and named by the unit's USB serial number (by its port where it reports
// none), with a row for each complete reading the metrics show, taken at that reading's time.
#include "exporter/metricstext.h"
#include "logging/logwriter.h"

#include <QString>

#include <map>
#include <memory>

class UnitLogs
{
public:
    // `settings` without a file name: each unit's is made in `folder`. A file whose header is this
    // run's is continued below its rows, so a restarted exporter keeps its logs.
    UnitLogs(const QString &folder, const LogRunSettings &settings, LogWriter::Say say);
    ~UnitLogs();

    void take(const UnitMetrics &unit);

private:
    QString folder;
    LogRunSettings settings;
    LogWriter::Say say;
    std::map<QString, std::unique_ptr<LogWriter>> logs; // by file name
};

// The name a unit's log file goes by: "205E3372504B.txt", "ttyACM0.txt" for a unit without a
// serial number on /dev/ttyACM0. Anything a file name may not carry becomes "_".
QString unitLogFileName(const UnitMetrics &unit);
