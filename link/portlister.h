#pragma once

// The serial ports the window may open, in the system's enumeration order.
#include <QList>
#include <QString>

#include <functional>

struct PortEntry
{
    QString portName; // what QSerialPort::setPortName takes: "ttyACM0", "COM5" or a full path
    bool hasUsbIds = false; // false for ports that report no USB vendor/product identifiers
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString serialNumber; // the USB serial number, empty where the port reports none
};

using PortLister = std::function<QList<PortEntry>()>;

// The default lister: the system's serial ports.
QList<PortEntry> systemPorts();
