#pragma once

// Opening the files the operator names (log files, curve files) without ever waiting on them.
// Only a regular file is opened: a named pipe, a device, a socket or a directory is refused before
// it is opened, so no open can block on a pipe with no peer or act on a device. GUI-free.
#include <QIODevice>
#include <QString>

class QFile;

enum class FileOpening {
    Opened,
    NotRegular, // something other than a regular file: the reason is notRegularFileText()
    Failed // the system refused it (missing, no permission ...): the reason is its own words
};

// "not a regular file", to follow a colon in a sentence.
QString notRegularFileText();

// Opens `path` into `file` with `mode`: ReadOnly, or WriteOnly with Append or Truncate, which
// creates a missing file. The file is truncated only once it is known to be a regular file.
// `reason` receives why it was not opened.
FileOpening openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode,
                            QString *reason);
