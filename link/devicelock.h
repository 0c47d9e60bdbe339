#pragma once

// One program of the tool per unit, whatever name reaches it. A unit is reached as "ttyACM0", as
// "/dev/ttyACM0" or by a link such as "/dev/serial/by-id/usb-…"; two programs talking to it at
// once interleave their exchanges and log one quantity's bytes as another's. So every port name is
// taken to the device it reaches, and the open device carries an advisory lock that every program
// of the tool honours, also as root, where the terminal's exclusive mode does not hold. A record
// beside it names the holding process for the refused program's message.
#include "values/result.h"

#include <QString>

#include <memory>

class QLockFile;

// The device a port name reaches: "ttyACM0" and a link to it both give "/dev/ttyACM0". A name
// that reaches nothing on disk (a COM port, a unit not plugged in) comes back as given.
QString portDevice(const QString &portName);

// The device as a person calls it: "/dev/ttyACM0" is "ttyACM0", "/dev/pts/3" is "pts/3".
QString deviceShownName(const QString &device);

// Why a device will not open for us when another program holds it: "ttyACM0 is in use by
// quadmeter-cli (process 1234)" where a live holder left its record, "ttyACM0 is in use by
// another program" otherwise.
QString deviceInUseText(const QString &device);
// Whether the device's permissions let this program read and write it: then a refused open means
// that another program holds it.
bool permitsOpening(const QString &device);
// The first form only; empty when no live program of the tool records holding the device.
QString deviceHolderText(const QString &device);

class DeviceLock
{
public:
    DeviceLock();
    ~DeviceLock();

    // Locks the device open on `handle` and records this process as its holder; when another
    // holds it, why not (deviceInUseText). The lock lasts until release() or the handle is closed.
    Result<void> take(const QString &device, qintptr handle);
    void release();

private:
    std::unique_ptr<QLockFile> record;
};
