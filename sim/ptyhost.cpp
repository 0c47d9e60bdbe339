#include "sim/ptyhost.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSerialPort>
#include <QtDebug>

#include <algorithm>
#include <deque>
#include <utility>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What goes wrong with the simulated unit's files and terminal.
Q_LOGGING_CATEGORY(simLog, "quadmeter.sim", QtInfoMsg)

constexpr qint64 lineByteUsecs = 20; // 10 bits at 500000 baud
constexpr int usbPacketSize = 64;
constexpr qint64 usbFrameUsecs = 1000;

QByteArray rubbish(int size)
{
    QByteArray bytes(std::max(size, 0), Qt::Uninitialized);
    for (char &b : bytes)
        b = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

QByteArray readEepromFile(const QString &fileName)
{
    if (fileName.isEmpty())
        return {};
    QFile file(fileName);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(simLog) << "cannot read EEPROM file" << fileName << file.errorString();
        return {};
    }
    const QByteArray image = file.readAll();
    if (image.size() != Firmware::eepromSize)
        qCWarning(simLog) << "EEPROM file" << fileName << "has" << image.size()
                          << "bytes; starting from the factory calibration";
    return image;
}

// Whether the tool can open the slave now. An open serial port is locked under its device name,
// and a program that closes its port gives the device up a moment before it removes that lock:
// a pseudo-terminal handed out again in that moment cannot be opened until the lock is gone.
bool toolCanOpen(const QString &path)
{
    QSerialPort probe(path);
    return probe.open(QIODevice::ReadWrite);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

QList<TimedPiece> shapeAnswer(const QByteArray &answer, const Misbehaviour &m)
{
    const qint64 delay = qint64(std::max(m.delayMs, 0)) * 1000;
    QList<TimedPiece> out;
    switch (m.mode) {
    case Misbehaviour::Normal:
        out.append({0, answer});
        break;
    case Misbehaviour::Silent:
        break;
    case Misbehaviour::Late:
        out.append({delay, answer});
        break;
    case Misbehaviour::Split: {
        int at = 0;
        for (int size : m.pieces) {
            if (at >= answer.size())
                break;
            out.append({delay * out.size(), answer.mid(at, std::max(size, 0))});
            at += std::max(size, 0);
        }
        if (at < answer.size())
            out.append({delay * out.size(), answer.mid(at)});
        break;
    }
    case Misbehaviour::Surplus:
        if (m.surplusBytes >= 0)
            out.append({0, answer + rubbish(m.surplusBytes)});
        else
            out.append({0, answer.left(std::max(0, int(answer.size()) + m.surplusBytes))});
        break;
    case Misbehaviour::Garbage:
    case Misbehaviour::GarbageWrongLength: {
        QByteArray bytes
            = rubbish(answer.size() + (m.mode == Misbehaviour::Garbage ? 0 : m.surplusBytes));
        // Garbage never starts as the answer does, however few its bytes.
        if (!bytes.isEmpty() && !answer.isEmpty() && bytes.at(0) == answer.at(0))
            bytes[0] = char(~bytes.at(0));
        out.append({0, bytes});
        break;
    }
    case Misbehaviour::LineRate:
        for (int i = 0; i < answer.size(); ++i)
            out.append({(i + 1) * lineByteUsecs, answer.mid(i, 1)});
        break;
    case Misbehaviour::UsbPackets:
        for (int at = 0; at < answer.size(); at += usbPacketSize)
            out.append({at / usbPacketSize * usbFrameUsecs, answer.mid(at, usbPacketSize)});
        break;
    case Misbehaviour::Trailing:
        out.append({0, answer});
        out.append({delay, rubbish(std::max(m.surplusBytes, 0))});
        break;
    }
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const TimedPiece &p) { return p.bytes.isEmpty(); }),
              out.end());
    return out;
}

PtyHost::PtyHost(QString eepromFile, int unit)
    : firmware(readEepromFile(eepromFile), unit)
    , eepromFile(std::move(eepromFile))
{
    savedImage = firmware.eepromImage();
}

PtyHost::~PtyHost()
{
    stop();
}

bool PtyHost::start()
{
    if (thread.joinable())
        return true;
    if (!clock.isValid())
        clock.start();
    if (!openPty({}))
        return false;
    thread = std::thread(&PtyHost::serve, this, master, wake[0]);
    return true;
}

bool PtyHost::openPty(const QString &avoidPath)
{
    termios raw {};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B500000);
    // A replugged unit must come back under a new name, and the tool must be able to open it:
    // hold on to pairs that do not serve until one that does turns up.
    QList<std::pair<int, int>> reused;
    int m = -1, s = -1;
    QString name;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (::openpty(&m, &s, nullptr, &raw, nullptr) != 0) {
            qCWarning(simLog) << "openpty failed:" << strerror(errno);
            m = s = -1;
            break;
        }
        char buffer[128];
        name = ::ttyname_r(s, buffer, sizeof buffer) == 0 ? QString::fromLocal8Bit(buffer)
                                                          : QString();
        if (name.isEmpty() || (name != avoidPath && toolCanOpen(name)))
            break;
        reused.append({m, s});
        m = s = -1;
    }
    for (auto &[rm, rs] : reused) {
        ::close(rm);
        ::close(rs);
    }
    if (m < 0 || name.isEmpty() || ::pipe2(wake, O_CLOEXEC) != 0) {
        closeFd(m);
        closeFd(s);
        return false;
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    ::fcntl(m, F_SETFD, FD_CLOEXEC);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
    std::lock_guard<std::mutex> lock(mutex);
    master = m;
    slave = s;
    path = name;
    closeFd(unplugged);
    return true;
}

QString PtyHost::portPath() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return path;
}

bool PtyHost::isServing() const
{
    return thread.joinable();
}

void PtyHost::stopServing()
{
    if (thread.joinable()) {
        const char stopByte = 0;
        while (::write(wake[1], &stopByte, 1) < 0 && errno == EINTR) { }
        thread.join();
    }
    std::lock_guard<std::mutex> lock(mutex);
    closeFd(master);
    // The line stays held, so its number goes to no other program while a tool may still try
    // the old name: that open fails, as an unplugged unit's port does.
    if (slave >= 0) {
        closeFd(unplugged);
        unplugged = std::exchange(slave, -1);
    }
    closeFd(wake[0]);
    closeFd(wake[1]);
}

void PtyHost::stop()
{
    stopServing();
    std::lock_guard<std::mutex> lock(mutex);
    closeFd(unplugged);
}

void PtyHost::hangUp()
{
    stopServing();
}

bool PtyHost::replug()
{
    const QString oldPath = portPath();
    stopServing();
    if (!clock.isValid())
        clock.start();
    if (!openPty(oldPath))
        return false;
    thread = std::thread(&PtyHost::serve, this, master, wake[0]);
    return true;
}

QByteArray PtyHost::received() const
{
    std::lock_guard<std::mutex> lock(mutex);
    QByteArray all;
    for (const Received &r : chunks)
        all.append(r.bytes);
    return all;
}

QList<Received> PtyHost::receivedChunks() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return chunks;
}

void PtyHost::clearReceived()
{
    std::lock_guard<std::mutex> lock(mutex);
    chunks.clear();
}

void PtyHost::setMisbehaviour(const Misbehaviour &m)
{
    std::lock_guard<std::mutex> lock(mutex);
    current = m;
}

Misbehaviour PtyHost::misbehaviour() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return current;
}

void PtyHost::scriptReply(quint8 code, const QByteArray &bytes, int times)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (times != 0)
        scripts.append({code, bytes, times});
}

void PtyHost::withFirmware(const std::function<void(Firmware &)> &f)
{
    std::lock_guard<std::mutex> lock(mutex);
    f(firmware);
}

bool PtyHost::sendUnasked(const QByteArray &bytes)
{
    int m, s;
    {
        std::lock_guard<std::mutex> lock(mutex);
        m = master;
        s = slave;
    }
    int before = 0;
    if (m < 0 || ::ioctl(s, FIONREAD, &before) != 0
        || ::write(m, bytes.constData(), size_t(bytes.size())) != bytes.size())
        return false;
    QElapsedTimer waited;
    waited.start();
    int waiting = 0;
    while (::ioctl(s, FIONREAD, &waiting) == 0 && waiting < before + bytes.size()
           && !waited.hasExpired(5000))
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    return waiting >= before + bytes.size();
}

// Runs one read from the tool through the model and decides how its answer goes out.
QList<TimedPiece> PtyHost::answer(const QByteArray &bytes, qint64 usecs)
{
    std::lock_guard<std::mutex> lock(mutex);
    chunks.append({usecs, bytes});
    firmware.advanceTime((usecs - lastFeedUsecs) / 1e6);
    lastFeedUsecs = usecs;
    QByteArray reply = firmware.feed(bytes);
    const QList<quint8> codes = firmware.lastRequestCodes();

    if (firmware.eepromImage() != savedImage) {
        savedImage = firmware.eepromImage();
        if (!eepromFile.isEmpty()) {
            QSaveFile file(eepromFile);
            if (!file.open(QIODevice::WriteOnly) || file.write(savedImage) != savedImage.size()
                || !file.commit())
                qCWarning(simLog) << "cannot write EEPROM file" << eepromFile << file.errorString();
        }
    }

    if (codes.isEmpty())
        return {};
    const quint8 first = codes.first();
    for (int i = 0; i < scripts.size(); ++i) {
        if (scripts[i].code != first)
            continue;
        reply = scripts[i].bytes;
        if (scripts[i].times > 0 && --scripts[i].times == 0)
            scripts.removeAt(i);
        break;
    }
    if (reply.isEmpty())
        return {};
    if (current.mode == Misbehaviour::Normal
        || (current.onlyForCode >= 0 && current.onlyForCode != first))
        return {{0, reply}};
    const QList<TimedPiece> pieces = shapeAnswer(reply, current);
    if (current.times > 0 && --current.times == 0)
        current = Misbehaviour();
    return pieces;
}

void PtyHost::serve(int masterFd, int wakeFd)
{
    struct Outgoing
    {
        qint64 dueUsecs;
        QByteArray bytes;
    };
    std::deque<Outgoing> queue;
    qint64 lastDue = 0;
    char buffer[4096];
    for (;;) {
        bool blocked = false;
        while (!queue.empty() && queue.front().dueUsecs <= clock.nsecsElapsed() / 1000) {
            QByteArray &bytes = queue.front().bytes;
            const ssize_t n = ::write(masterFd, bytes.constData(), size_t(bytes.size()));
            if (n > 0) {
                bytes.remove(0, int(n));
                if (bytes.isEmpty())
                    queue.pop_front();
            } else if (n < 0 && errno == EAGAIN) {
                blocked = true;
                break;
            } else if (!(n < 0 && errno == EINTR)) {
                queue.clear();
            }
        }

        pollfd fds[2]
            = {{masterFd, short(POLLIN | (blocked ? POLLOUT : 0)), 0}, {wakeFd, POLLIN, 0}};
        timespec wait {};
        timespec *timeout = nullptr;
        if (!queue.empty() && !blocked) {
            const qint64 ns
                = std::max<qint64>(0, queue.front().dueUsecs * 1000 - clock.nsecsElapsed());
            wait.tv_sec = ns / 1000000000;
            wait.tv_nsec = ns % 1000000000;
            timeout = &wait;
        }
        if (::ppoll(fds, 2, timeout, nullptr) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(masterFd, buffer, sizeof buffer);
            if (n > 0) {
                const qint64 now = clock.nsecsElapsed() / 1000;
                for (const TimedPiece &piece : answer(QByteArray(buffer, int(n)), now)) {
                    lastDue = std::max(lastDue, now + piece.offsetUsecs);
                    queue.push_back({lastDue, piece.bytes});
                }
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Cannot happen while we hold the slave open; do not spin if it does.
            return;
        }
    }
}
