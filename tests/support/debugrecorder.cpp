#include "tests/support/debugrecorder.h"

QStringList DebugRecorder::lines;

namespace {

void record(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        DebugRecorder::lines.append(message);
}

} // namespace

DebugRecorder::DebugRecorder()
    : previous(qInstallMessageHandler(record))
{
    lines.clear();
}

DebugRecorder::~DebugRecorder()
{
    qInstallMessageHandler(previous);
}
