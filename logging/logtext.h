#pragma once

// How a logging run and the writer of its files word what they say: in one translation context,
// with paths as the system writes them.
#include <QCoreApplication>
#include <QDir>
#include <QString>

namespace logtext {

inline QString tr(const char *text)
{
    return QCoreApplication::translate("LogRun", text);
}

inline QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace logtext
