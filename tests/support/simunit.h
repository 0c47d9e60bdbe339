#pragma once

// Test fixture helpers around the simulated unit: a port lister that offers it to the tool, and
// a plain QSerialPort conversation with it for tests that need no window.
#include "link/portlister.h"
#include "sim/ptyhost.h"

#include <QByteArray>
#include <QList>

class QSerialPort;

// A port lister that reports the given hosts as attached units (USB ids 1155/22336), in order,
// optionally followed by other ports (other vendor, no USB ids) to prove they are never chosen.
// Paths are taken at each call, so a replugged unit shows under its new name; a hung-up host
// is not listed, as an unplugged unit vanishes from the system's list. Each host reports a
// serial number of its own, the same at every call.
PortLister unitsLister(const QList<const PtyHost *> &hosts, const QList<PortEntry> &others = {});

// Opens `port` on the host's pseudo-terminal with the unit's line settings (500000 baud, 8N1).
bool openUnitPort(QSerialPort &port, const PtyHost &host);

// Writes `request` in one write and collects the reply until `expected` bytes are in or
// `timeoutMs` has passed; whatever came is returned (more than `expected` if it arrived together).
QByteArray exchange(QSerialPort &port, const QByteArray &request, int expected,
                    int timeoutMs = 2000);

// Everything that arrives within `ms`, for proving that nothing (or nothing more) comes.
QByteArray collectFor(QSerialPort &port, int ms);
