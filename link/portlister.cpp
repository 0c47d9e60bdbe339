#include "link/portlister.h"

#include <QSerialPortInfo>

QList<PortEntry> systemPorts()
{
    QList<PortEntry> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        PortEntry entry;
        entry.portName = info.portName();
        entry.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        if (entry.hasUsbIds) {
            entry.vendorId = info.vendorIdentifier();
            entry.productId = info.productIdentifier();
        }
        entry.serialNumber = info.serialNumber();
        ports.append(entry);
    }
    return ports;
}
