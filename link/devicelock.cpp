#include "link/devicelock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DeviceLock", text);
}

// Where the holders' records live: the system's lock folder where this program may write there,
// so every program of the computer finds them; a sandboxed service, which may not, keeps its own.
QString recordFolder()
{
    const QFileInfo system(QStringLiteral("/run/lock"));
    return system.isDir() && system.isWritable() ? system.filePath() : QDir::tempPath();
}

QString recordPath(const QString &device)
{
    QString name = deviceShownName(device);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("%1/quadmeter-%2.lock").arg(recordFolder(), name);
}

} // namespace

QString portDevice(const QString &portName)
{
#ifdef Q_OS_UNIX
    // The serial library takes a bare name as a device under /dev, as the system lists it.
    const QString path
        = portName.contains(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QString device = QFileInfo(path).canonicalFilePath();
    return device.isEmpty() ? portName : device;
#else
    return portName;
#endif
}

QString deviceShownName(const QString &device)
{
    const QLatin1String dev("/dev/");
    return device.startsWith(dev) ? device.mid(dev.size()) : device;
}

bool permitsOpening(const QString &device)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(device)
    return false;
#endif
}

QString deviceHolderText(const QString &device)
{
    QLockFile record(recordPath(device));
    qint64 pid = 0;
    QString host;
    QString program;
    if (!record.getLockInfo(&pid, &host, &program))
        return {};
#ifdef Q_OS_UNIX
    // A holder that died left its record behind; the lock itself went with its descriptor.
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return {};
#endif
    return tr("%1 is in use by %2 (process %3)")
        .arg(deviceShownName(device), program, QString::number(pid));
}

QString deviceInUseText(const QString &device)
{
    const QString holder = deviceHolderText(device);
    return holder.isEmpty() ? tr("%1 is in use by another program").arg(deviceShownName(device))
                            : holder;
}

DeviceLock::DeviceLock() = default;

DeviceLock::~DeviceLock() = default;

Result<void> DeviceLock::take(const QString &device, qintptr handle)
{
    release();
#ifdef Q_OS_UNIX
    // Only another holder refuses us; a device that takes no locks at all is still the unit.
    if (::flock(int(handle), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return Failure {deviceInUseText(device)};
#else
    Q_UNUSED(handle)
#endif
    record = std::make_unique<QLockFile>(recordPath(device));
    // A live holder's record stays valid however long it holds the unit.
    record->setStaleLockTime(0);
    // The record only names the holder for a message; the lock above is what excludes.
    if (!record->tryLock(0))
        record.reset();
    return {};
}

void DeviceLock::release()
{
    record.reset(); // unlocking removes the record
}
