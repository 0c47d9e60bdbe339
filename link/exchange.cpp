#include "link/exchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>

namespace exchange {

namespace {

// The exchange's debug lines: off unless asked for ("quadmeter.link.debug=true").
Q_LOGGING_CATEGORY(linkLog, "quadmeter.link", QtInfoMsg)

QString tr(const char *text)
{
    return QCoreApplication::translate("exchange", text);
}

QString silentText()
{
    return tr("the unit did not answer");
}

QString brokenText()
{
    return tr("the unit did not answer in full");
}

constexpr int SliceMs = 50;
constexpr int OneShotPauseMs = 10;

// Takes what has arrived. Bytes the port already holds count as well as new ones: the events
// processed between slices may have moved the rest of a reply into the port's own buffer, and
// waitForReadyRead only wakes for bytes that are still to come.
void takeArrived(QSerialPort *port, ReplyAccumulator &reply, int waitMs, bool &gone)
{
    if (!port->isOpen()) {
        gone = true;
        return;
    }
    if (port->bytesAvailable() > 0 || port->waitForReadyRead(waitMs))
        reply.add(port->readAll());
    else // a hung-up line fails every wait at once; waiting on would only spin
        gone = deviceWentAway(port->error());
}

} // namespace

ReplyAccumulator::ReplyAccumulator(int expected)
    : expected(qMax(0, expected))
{
    bytes.reserve(this->expected);
}

ReplyAccumulator::Status ReplyAccumulator::add(const QByteArray &piece)
{
    bytes += piece;
    return status();
}

ReplyAccumulator::Status ReplyAccumulator::status() const
{
    if (bytes.size() < expected)
        return Incomplete;
    return bytes.size() == expected ? Complete : TooLong;
}

QByteArray ReplyAccumulator::reply() const
{
    return bytes.size() < expected ? QByteArray() : bytes.left(expected);
}

void send(QSerialPort *port, const QByteArray &request)
{
    // The port closes under a running operation when the unit goes away; the rest of that
    // operation's requests are then lost like any other lost request.
    if (!port->isOpen())
        return;
    port->write(request);
    port->flush();
}

Result<void> sendForReply(QSerialPort *port, const QByteArray &request)
{
    if (!port->isOpen())
        return Failure {tr("the unit's port is not open")};
    // A late or surplus reply of an earlier exchange would otherwise become the head of this one.
    // Such bytes may wait in the port's buffer or, not yet taken from the line, in the system's.
    const bool clean = port->bytesAvailable() == 0 && !port->waitForReadyRead(0);
    port->clear(QSerialPort::Input);
    const bool alsoBuffered = !port->readAll().isEmpty();
    send(port, request);
    if (!clean || alsoBuffered)
        return Failure {tr("bytes of an earlier reply were still coming")};
    return {};
}

QByteArray collect(QSerialPort *port, int expected, int limitMs)
{
    QElapsedTimer timer;
    timer.start();
    ReplyAccumulator reply(expected);
    bool gone = false;
    while (reply.wantsMore() && !timer.hasExpired(limitMs - 1) && !gone) {
        takeArrived(port, reply, SliceMs, gone);
        // Keeps the window alive while the unit measures; the operator's input waits its turn.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        gone = gone || !port->isOpen();
    }
    return reply.received();
}

Result<QByteArray> readReply(QSerialPort *port, int expected, int limitMs)
{
    QThread::msleep(OneShotPauseMs);
    QElapsedTimer timer;
    timer.start();
    ReplyAccumulator reply(expected);
    bool gone = false;
    // The unit's USB link hands a long reply over in packets: keep reading until all of it is here.
    while (reply.wantsMore() && !gone) {
        const qint64 left = limitMs - timer.elapsed();
        if (left <= 0)
            break;
        takeArrived(port, reply, int(left), gone);
    }
    const int got = reply.received().size();
    if (got == 0)
        return Failure {silentText()};
    if (reply.status() == ReplyAccumulator::Complete)
        return reply.received();
    qCDebug(linkLog).noquote() << QStringLiteral("%1 reply dropped: %2 of %3 bytes")
                                      .arg(got < expected ? QStringLiteral("Incomplete")
                                                          : QStringLiteral("Overlong"),
                                           QString::number(got), QString::number(expected));
    return Failure {brokenText()};
}

bool keptSilent(const Result<QByteArray> &reply)
{
    return !reply && reply.error() == silentText();
}

bool staysQuiet(QSerialPort *port, int ms)
{
    if (!port->isOpen())
        return false;
    if (port->bytesAvailable() > 0)
        return false;
    return !port->waitForReadyRead(ms) && port->bytesAvailable() == 0;
}

void pause(int ms)
{
    QThread::msleep(ulong(ms));
}

bool deviceWentAway(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        return true;
    default:
        return false;
    }
}

} // namespace exchange
