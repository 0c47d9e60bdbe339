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
    QString reason;
    if (openRegularFile(file, fileName, openMode, &reason) != FileOpening::Opened)
        return Failure {reason};
    return writeLogLine(file, line);
}

Result<void> appendLogRow(const QString &fileName, const QByteArray &header, const QByteArray &row)
{
    QFile file;
    QString reason;
    if (openRegularFile(file, fileName,
                        QIODevice::WriteOnly | QIODevice::Unbuffered | QIODevice::Append, &reason)
        != FileOpening::Opened)
        return Failure {reason};
    return writeLogLine(file, file.size() == 0 ? header + row : row);
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

LogFileContent logFileContent(const QString &fileName, const QByteArray &header)
{
    if (!logFileHoldsData(fileName))
        return LogFileContent::Nothing;
    QFile file;
    QString reason;
    if (openRegularFile(file, fileName, QIODevice::ReadOnly, &reason) != FileOpening::Opened)
        return LogFileContent::Other;
    return startsWithLogHeader(file.read(header.size()), header) ? LogFileContent::SameHeader
                                                                 : LogFileContent::Other;
}

void ignoreBrokenPipes()
{
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}
