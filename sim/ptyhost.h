#pragma once

// Serves a simulated unit on the master side of a pseudo-terminal, from a thread of its own,
// so that the tool's QSerialPort can open the slave side as it would open the real unit.
#include "sim/firmware.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <functional>
#include <mutex>
#include <thread>

// How the unit mishandles its answers. An answer is what the model produces in response to one
// read from the master (e.g. the tool writes 00 01 02 03 in one write: one 16-byte answer);
// reads that complete no request with a reply produce no answer and are left alone.
struct Misbehaviour
{
    enum Mode {
        Normal,
        Silent, // the answer is dropped
        Late, // the whole answer after delayMs
        Split, // in pieces of the given sizes, delayMs apart
        Surplus, // surplusBytes of rubbish appended (or, negative, that many bytes cut off)
        Garbage, // rubbish of the answer's length
        GarbageWrongLength, // rubbish, surplusBytes longer (or, negative, shorter) than the answer
        LineRate, // one byte every 20 us, as on a 500000 baud 8N1 line
        UsbPackets, // 64-byte packets about 1 ms apart, as on a full-speed USB link
        Trailing // the answer, then surplusBytes of rubbish delayMs after it
    };
    Mode mode = Normal;
    int delayMs = 0; // Late: delay before the answer; Split: gap between pieces
    QList<int> pieces; // Split: piece sizes, e.g. {5, 11}; the rest goes in one last piece
    int surplusBytes = 0; // Surplus / GarbageWrongLength: how many extra (or, negative, fewer)
    int onlyForCode = -1; // apply only to answers whose request starts with this code; -1 all
    int times = -1; // apply to this many answers, then back to Normal; -1 forever
};

// One read from the master: when (microseconds since start()) and what the tool wrote.
struct Received
{
    qint64 usecs;
    QByteArray bytes;
};

// A piece of an answer and when it goes out, counted from the moment its request came in.
struct TimedPiece
{
    qint64 offsetUsecs;
    QByteArray bytes;
};

// What becomes of one answer under a misbehaviour.
QList<TimedPiece> shapeAnswer(const QByteArray &answer, const Misbehaviour &m);

class PtyHost
{
public:
    // With a file, the unit's EEPROM is read from it (when it exists) and written to it on
    // every WriteEeprom, so a restarted unit keeps its calibration. `unit` tells several
    // simulated units apart by their sensors (see Firmware).
    explicit PtyHost(QString eepromFile = {}, int unit = 0); // empty: EEPROM in memory only
    ~PtyHost(); // stops cleanly
    PtyHost(const PtyHost &) = delete;
    PtyHost &operator=(const PtyHost &) = delete;

    bool start(); // opens the pty pair (raw), starts the thread
    QString portPath() const; // the slave's path, /dev/pts/N
    bool isServing() const;
    void stop();

    QByteArray received() const; // every byte the tool wrote, concatenated
    QList<Received> receivedChunks() const;
    void clearReceived();

    void setMisbehaviour(const Misbehaviour &m);
    Misbehaviour misbehaviour() const; // what is left of it (times counts down)
    // Replace the answer to the next request(s) starting with `code` by these exact bytes,
    // e.g. scriptReply(30, QByteArray::fromHex("0005")) to answer the relay read with 00 05.
    // A script also answers requests that have no reply of their own; the misbehaviour then
    // applies to the scripted bytes.
    void scriptReply(quint8 code, const QByteArray &bytes, int times = 1);
    void withFirmware(const std::function<void(Firmware &)> &f); // under the host's mutex
    // The unit says what nobody asked for, at once: `bytes` go out now, and the call returns
    // once they wait at the tool's end of the line. Called from a handler of the tool's own
    // port, it places stray bytes at an exact moment of an exchange, where timing cannot.
    bool sendUnasked(const QByteArray &bytes);

    void hangUp(); // close the master, as an unplugged unit does; the old path opens no more
    bool replug(); // come back on a NEW pty (new path), same firmware

private:
    struct Script
    {
        quint8 code;
        QByteArray bytes;
        int times;
    };

    bool openPty(const QString &avoidPath);
    void stopServing();
    void serve(int masterFd, int wakeFd);
    QList<TimedPiece> answer(const QByteArray &bytes, qint64 usecs);

    mutable std::mutex mutex;
    Firmware firmware;
    QString eepromFile;
    QByteArray savedImage;
    Misbehaviour current;
    QList<Script> scripts;
    QList<Received> chunks;
    QElapsedTimer clock;
    qint64 lastFeedUsecs = 0;

    // Owned by the controlling thread; the serving thread only uses the fds it was given.
    QString path;
    int master = -1;
    int slave = -1; // kept open so the master does not see a hang-up between the tool's opens
    int unplugged = -1; // the slave of the line last hung up, until a new one is open
    int wake[2] = {-1, -1};
    std::thread thread;
};
