#include "app/dialog.h"
#include "link/comportdialog.h"
#include "link/exchange.h"
#include "link/unitports.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>
#include <QSerialPort>

namespace {

// The operator refused to choose among several units; the tool cannot go on without one.
constexpr int RefusedChoiceExitStatus = 1;

constexpr qint32 UnitBaudRate = 500000;

} // namespace

bool Dialog::openSerialPort()
{
    if (!port) {
        port = new QSerialPort(this);
        // An unplugged unit (or a hung-up line) leaves the port open but dead; closing it lets
        // the next operation search again. The error may be raised from inside a wait on this
        // very port, so the close is posted and runs once the wait has returned; the waits stop
        // by themselves when the device has gone.
        connect(port, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) {
                    if (!exchange::deviceWentAway(error))
                        return;
                    QMetaObject::invokeMethod(
                        this,
                        [this] {
                            if (!port->isOpen())
                                return; // several errors of one loss: close and report once
                            qDebug().noquote()
                                << QStringLiteral("Device went away: %1").arg(port->portName());
                            port->close();
                        },
                        Qt::QueuedConnection);
                });
    } else if (port->isOpen()) {
        return true;
    }

    const QStringList candidates = unitPortNames(portLister());
    for (const QString &name : candidates)
        qDebug().noquote() << name;

    if (candidates.isEmpty()) {
        QMessageBox::critical(nullptr, tr("Fatal Error"), tr("There is no any connected devices"));
        return false;
    }

    QString chosen = candidates.first();
    if (candidates.size() > 1) {
        ComPortDialog chooser;
        chooser.setPortNames(candidates);
        if (chooser.exec() != QDialog::Accepted) {
            QMessageBox::warning(nullptr, tr("Warning"),
                                 tr("You must choose real COM port name!!!")
                                     + QStringLiteral("\r\n")
                                     + tr("Application will be closed!!!"));
            QCoreApplication::exit(RefusedChoiceExitStatus);
            return false;
        }
        chosen = chooser.selectedPortName();
    }

    port->setPortName(chosen);
    port->setBaudRate(UnitBaudRate, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);

    // A call made while this one waited for the operator may have opened the port meanwhile.
    if (port->isOpen())
        return true;

    if (port->open(QIODevice::ReadWrite))
        return true;
    QMessageBox::critical(nullptr, tr("Fatal error"), tr("Can't open device"));
    return false;
}
