#include "files/wholefile.h"

#include "files/regularfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace {

// Until the file's blocks are on the disk, a full or failing disk can still lose them after the
// operator was told the file is there.
bool syncToDisk(int handle, QString *reason)
{
#ifdef Q_OS_UNIX
    if (::fsync(handle) == 0)
        return true;
    *reason = qt_error_string(errno);
    return false;
#elif defined(Q_OS_WIN)
    if (::_commit(handle) == 0)
        return true;
    *reason = qt_error_string(errno);
    return false;
#else
    Q_UNUSED(handle)
    Q_UNUSED(reason)
    return true;
#endif
}

// The new name itself lives in the folder: synced too, so the file does not vanish with a power
// cut just after it was reported. Best effort; the file's own bytes are already safe.
void syncFolder(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path)
#endif
}

} // namespace

Result<void> writeWholeFile(const QString &path, const QByteArray &bytes)
{
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile())
        return Failure {notRegularFileText()};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure {file.errorString()};
    // The write only fills a buffer: the file system's refusal (a full disk) shows at the flush,
    // and a commit after a failed flush would still put the cut file in place of the old one.
    QString reason;
    errno = 0;
    const bool buffered = file.write(bytes) == bytes.size() && file.flush();
    // A write the disk took only part of leaves the file's own error at "Unknown error"; the
    // system said why in errno ("No space left on device", "File too large").
    const int refusal = errno;
    if (buffered && syncToDisk(file.handle(), &reason) && file.commit()) {
        syncFolder(path);
        return {};
    }
    if (reason.isEmpty())
        reason = !buffered && refusal != 0 ? qt_error_string(refusal) : file.errorString();
    file.cancelWriting();
    return Failure {reason};
}
