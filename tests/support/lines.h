#pragma once

// A log file as the tests read it back.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// The file's lines, each with its CR LF; a last line without one is returned as it is. None for a
// file that cannot be read.
inline QList<QByteArray> linesOf(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines;
    while (!file.atEnd())
        lines.append(file.readLine());
    return lines;
}
