#pragma once

// A named pipe whose far end nobody opens, unless the tool is still stuck in its open after two
// seconds: then the far end is opened (non-blocking; kept for a tool that writes, closed at once
// for one that reads), so that a blocking open fails the test instead of hanging the suite.
#include <QFile>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct LonelyFifo
{
    LonelyFifo(const QString &path, bool toolWrites)
        : made(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0)
        , rescuer([this, name = QFile::encodeName(path), toolWrites] {
            for (int waited = 0; made && !done && farEnd < 0; waited += 10) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (waited >= 2000)
                    farEnd
                        = ::open(name.constData(), (toolWrites ? O_RDONLY : O_WRONLY) | O_NONBLOCK);
            }
            if (farEnd >= 0 && !toolWrites) {
                ::close(farEnd);
                farEnd = -1;
            }
        })
    { }
    ~LonelyFifo()
    {
        done = true;
        rescuer.join();
        if (farEnd >= 0)
            ::close(farEnd);
    }

    std::atomic<bool> done {false};
    bool made;
    int farEnd = -1;
    std::thread rescuer;
};
