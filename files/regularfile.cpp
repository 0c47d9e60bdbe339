#include "files/regularfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString notRegularFileText()
{
    return QCoreApplication::translate("RegularFile", "not a regular file");
}

Result<void> openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode)
{
    const bool writing = mode & QIODevice::WriteOnly;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    // Looking first spares a device even the open; the descriptor is looked at again below, in
    // case the name was given to something else in between.
    struct stat info;
    if (::stat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return Failure {notRegularFileText()};
    // Non-blocking, so that a named pipe slipped in after the look cannot hold the open.
    int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (writing)
        flags |= O_WRONLY | O_CREAT | (mode & QIODevice::Append ? O_APPEND : 0);
    else
        flags |= O_RDONLY;
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0)
        return Failure {qt_error_string(errno)};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Failure {notRegularFileText()};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (writing && (mode & QIODevice::Truncate) && ::ftruncate(fd, 0) != 0) {
        const QString reason = qt_error_string(errno);
        ::close(fd);
        return Failure {reason};
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        const QString reason = file.errorString();
        ::close(fd);
        return Failure {reason};
    }
    return {};
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Failure {notRegularFileText()};
    Q_UNUSED(writing)
    file.setFileName(path);
    if (!file.open(mode))
        return Failure {file.errorString()};
    return {};
#endif
}
