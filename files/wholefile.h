#pragma once

// Writing a file whole or not at all: the files the tool writes for the operator (backups,
// calibration files, pictures) replace an earlier file of the name only once every byte of the
// new one is on disk. A full disk, a read-only or vanished file system leaves the old file as it
// was. GUI-free.
#include "values/result.h"

#include <QByteArray>
#include <QString>

// Writes `bytes` as the file `path`, over a regular file only. Done once the file is whole on
// disk; otherwise refused with the system's reason ("No space left on device"), and the file is
// as it was.
Result<void> writeWholeFile(const QString &path, const QByteArray &bytes);
