#pragma once

// Collects the debug channel for the life of a test step.
#include <QStringList>
#include <QtGlobal>

class DebugRecorder
{
public:
    DebugRecorder();
    ~DebugRecorder();
    DebugRecorder(const DebugRecorder &) = delete;
    DebugRecorder &operator=(const DebugRecorder &) = delete;

    // The debug lines since the recorder was made (or last cleared).
    static QStringList lines;

private:
    QtMessageHandler previous;
};
