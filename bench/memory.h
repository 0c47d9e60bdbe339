#pragma once

// The process's own memory as the kernel counts it, for the benchmarks' figures.
#include <QByteArray>
#include <QFile>

// A "<field>: N kB" line of /proc/self/status ("VmRSS" now, "VmHWM" the peak); -1 if unknown.
inline long statusKilobytes(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = field + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}
