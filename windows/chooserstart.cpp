#include "windows/chooserstart.h"

#include <QDir>
#include <QFileInfo>

QString chooserStart(const QString &fileName)
{
    if (fileName.isEmpty())
        return {};
    const QFileInfo file(fileName);
    return file.absoluteDir().exists() ? file.absoluteFilePath() : QString();
}
