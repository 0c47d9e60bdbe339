#include "link/unitports.h"

QStringList unitPortNames(const QList<PortEntry> &ports)
{
    QStringList names;
    for (const PortEntry &entry : ports) {
        if (entry.hasUsbIds && entry.vendorId == UnitVendorId && entry.productId == UnitProductId)
            names.append(entry.portName);
    }
    return names;
}
