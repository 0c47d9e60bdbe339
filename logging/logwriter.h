#pragma once

// The files of a logging run: the header that opens each file (each day's, with `daily`), then a
// row per whole reading in the file of the day it was taken. The command line's log and the
// exporter's files are both written here, so they hold the very same lines. GUI-free; the
// readings, their times and the messages come from the caller.
#include "logging/logformat.h"

#include <QString>

#include <functional>

struct LogRunSettings
{
    QString fileName; // with `daily`, the name each day's date goes into
    LogEnables enables = allLogEnables();
    LogTimeStyle timeStyle = LogTimeStyle::Clock;
    bool milliseconds = false; // in ISO time stamps, for runs of more than a row a second
    bool daily = false;
    enum class Earlier { Refuse, Overwrite, Append };
    Earlier earlier = Earlier::Refuse; // a file that already holds data
    bool offersOverwrite
        = true; // whether the refusal of another run's file may point to --overwrite
};

class LogWriter
{
public:
    using Say = std::function<void(const QString &)>;

    LogWriter(const LogRunSettings &settings, Say say);

    // Starts the file of `now`'s day. False after saying why (a file that holds other data, or
    // one that cannot be written).
    bool start(const QDateTime &now);
    // The row of a whole reading taken at `time`, below the rows before it or in a new day's
    // file. False when it was not written; a failure to write is said once, and every later row
    // is tried again.
    bool write(const QDateTime &time, const ChannelData *records);

    int rows() const { return rowCount; }
    // False once a row has failed.
    bool allWell() const { return well; }

private:
    bool startFile(const QString &fileName);
    QString fileFor(const QDateTime &time) const;

    LogRunSettings settings;
    Say say;
    QByteArray header;
    QString currentFile;
    QString refusedFile; // a day's file that held other data: its rows are not written
    int rowsLost = 0; // rows not written since the last one that was
    bool well = true;
    int rowCount = 0;
};
