#pragma once

// The log file's rules, for the logging window and the command line alike: only a regular file
// (or a name not taken yet) takes a log, no open ever waits, a line lands whole or not at all,
// and a reader that goes away fails a write instead of ending the process. GUI-free.
#include "values/result.h"

#include <QByteArray>
#include <QString>

class QFile;

enum class LogLineMode { Truncate, Append };

// Opens the file for this one line and closes it again, so the log can be read or copied at any
// time and a closed window leaves no open handle. Truncate empties the file first. Refused, with
// a reason to follow a colon, when the line did not land.
Result<void> writeLogLine(const QString &fileName, const QByteArray &line, LogLineMode mode);

// Appends a row to a run's file; a file that is gone or was emptied meanwhile (moved away, rotated)
// gets the run's header first, so it stays readable on its own. Refused as above.
Result<void> appendLogRow(const QString &fileName, const QByteArray &header, const QByteArray &row);

// Writes one line to a file already open unbuffered for writing (standard output, say). A line
// that lands only in part is cut back off a regular file. Refused as above.
Result<void> writeLogLine(QFile &file, const QByteArray &line);

// True when the name is a regular file with something in it, which a new run would replace.
bool logFileHoldsData(const QString &fileName);

// What a file holds against the header a new run would write.
enum class LogFileContent {
    Nothing, // no such file, or an empty one
    SameHeader, // that very header line first: the run's rows can go on below it
    Other
};
LogFileContent logFileContent(const QString &fileName, const QByteArray &header);

// Makes a write to a pipe or socket whose reader has gone fail like any other write, instead of
// ending the process. Called once from main().
void ignoreBrokenPipes();
