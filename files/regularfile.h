#pragma once

// Opening the files the operator names (log files, curve files) without ever waiting on them.
// Only a regular file is opened: a named pipe, a device, a socket or a directory is refused before
// it is opened, so no open can block on a pipe with no peer or act on a device. GUI-free.
#include "values/result.h"

#include <QIODevice>
#include <QString>

class QFile;

// "not a regular file", to follow a colon in a sentence.
QString notRegularFileText();

// Opens `path` into `file` with `mode`: ReadOnly, or WriteOnly with Append or Truncate, which
// creates a missing file. The file is truncated only once it is known to be a regular file.
// Fails with notRegularFileText() for anything but a regular file, else with the system's own
// words (missing, no permission ...).
Result<void> openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode);
