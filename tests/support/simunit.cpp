#include "tests/support/simunit.h"

#include <QElapsedTimer>
#include <QSerialPort>

PortLister unitsLister(const QList<const PtyHost *> &hosts, const QList<PortEntry> &others)
{
    return [hosts, others] {
        QList<PortEntry> ports;
        for (const PtyHost *host : hosts) {
            if (host->isServing())
                // Each simulated unit has a serial number of its own, as real units do.
                ports.append({host->portPath(), true, 1155, 22336,
                              QStringLiteral("SIM%1").arg(quintptr(host), 0, 16)});
        }
        return ports + others;
    };
}

bool openUnitPort(QSerialPort &port, const PtyHost &host)
{
    port.setPortName(host.portPath());
    port.setBaudRate(500000);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

QByteArray exchange(QSerialPort &port, const QByteArray &request, int expected, int timeoutMs)
{
    port.write(request);
    port.waitForBytesWritten(timeoutMs);
    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    while (reply.size() < expected && timer.elapsed() < timeoutMs) {
        if (port.bytesAvailable() > 0 || port.waitForReadyRead(10))
            reply.append(port.readAll());
    }
    return reply;
}

QByteArray collectFor(QSerialPort &port, int ms)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (port.waitForReadyRead(int(std::max<qint64>(1, ms - timer.elapsed()))))
            bytes.append(port.readAll());
    }
    bytes.append(port.readAll());
    return bytes;
}
