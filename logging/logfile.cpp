#include "logging/logfile.h"

#include "files/regularfile.h"
#include "logging/logformat.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <csignal>

Result<void> writeLogLine(const QString &fileName, const QByteArray &line, LogLineMode mode)
{
    QFile file;
    // Unbuffered: a failed write must not linger in a buffer that close() would try again after
    // the half line has been cut off.
    const QIODevice::OpenMode openMode = QIODevice::WriteOnly | QIODevice::Unbuffered
        | (mode == LogLineMode::Truncate ? QIODevice::Truncate : QIODevice::Append);
    const Result<void> opened = openRegularFile(file, fileName, openMode);
    if (!opened)
        return opened;
    return writeLogLine(file, line);
}

Result<void> appendLogRow(const QString &fileName, const QByteArray &header, const QByteArray &row,
                          bool *madeAgain)
{
    QFile file;
    const Result<void> opened = openRegularFile(
        file, fileName, QIODevice::WriteOnly | QIODevice::Unbuffered | QIODevice::Append);
    if (!opened)
        return opened;
    const bool empty = file.size() == 0;
    const Result<void> written = writeLogLine(file, empty ? header + row : row);
    if (madeAgain)
        *madeAgain = empty && written;
    return written;
}

Result<void> endCutLastRow(const QString &fileName)
{
    QFile file;
    const Result<void> opened = openRegularFile(file, fileName, QIODevice::ReadOnly);
    if (!opened)
        return opened;
    const qint64 size = file.size();
    if (size == 0 || !file.seek(size - 1) || file.read(1) == "\n")
        return {};
    file.close();
    return writeLogLine(fileName, "\r\n", LogLineMode::Append);
}

Result<void> writeLogLine(QFile &file, const QByteArray &line)
{
    const qint64 lineStart = file.isSequential() ? -1 : file.size();
    if (file.write(line) == line.size())
        return {};
    // A write cut short (the file size limit reached) sets no error of its own.
    const QString error = file.error() == QFileDevice::NoError
        ? QCoreApplication::translate("Logger", "only part of the line could be written")
        : file.errorString();
    // A half row (the disk filled up mid-line) would glue itself to the next row.
    if (lineStart >= 0)
        file.resize(lineStart);
    return Failure {error};
}

bool logFileHoldsData(const QString &fileName)
{
    const QFileInfo info(fileName);
    return info.isFile() && info.size() > 0;
}

LogFileContent logFileContent(const QString &fileName, const QByteArray &header, LogTimeStyle style)
{
    if (!logFileHoldsData(fileName))
        return LogFileContent::Nothing;
    QFile file;
    if (!openRegularFile(file, fileName, QIODevice::ReadOnly))
        return LogFileContent::Other;
    if (!startsWithLogHeader(file.read(header.size()), header))
        return LogFileContent::Other;
    // One column tells one kind of time: a date and time ("2026-12-07T...") or a time of day.
    const QByteArray firstRow = file.read(32).trimmed();
    if (firstRow.isEmpty())
        return LogFileContent::SameHeader;
    const bool isoRows = firstRow.size() > 10 && firstRow.at(4) == '-' && firstRow.at(10) == 'T';
    return isoRows == (style == LogTimeStyle::Iso) ? LogFileContent::SameHeader
                                                   : LogFileContent::OtherTimeStyle;
}

void ignoreBrokenPipes()
{
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}
