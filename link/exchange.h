#pragma once

// The three ways an operation talks to the unit over the open port: a plain send, the collecting
// wait of the measurement stages, and the one-shot read of the other replies.
#include <QByteArray>
#include <QSerialPort>

namespace exchange {

// A reply of known length gathered from the pieces the port hands over, however it splits them.
// Both waits decide through it when a reply is whole; it holds no port, so any split and any
// length can be tried on it directly.
class ReplyAccumulator
{
public:
    enum Status { Incomplete, Complete, TooLong };

    explicit ReplyAccumulator(int expected);

    // Appends the next piece; a wait stops taking pieces once the status is no longer
    // Incomplete.
    Status add(const QByteArray &piece);
    Status status() const;
    bool wantsMore() const { return status() == Incomplete; }
    // Everything taken so far, surplus included: the collecting wait's result.
    QByteArray received() const { return bytes; }
    // The one-shot read's result: exactly the first `expected` bytes once they have all come,
    // otherwise empty, so nothing of an incomplete reply can be used.
    QByteArray reply() const;

private:
    int expected;
    QByteArray bytes;
};

// Write the request in one write and flush it. Nothing is read.
void send(QSerialPort *port, const QByteArray &request);

// Send a request that expects a reply. Bytes still waiting from an earlier exchange (a late or
// surplus reply) are discarded first, so they can never be taken for this reply.
void sendForReply(QSerialPort *port, const QByteArray &request);

// The measurement stages' wait: collect for up to limitMs, in 50 ms slices with all pending
// events processed between them. Returns what came; the reply is good only when its size is
// exactly `expected` (fewer: time ran out; more: the unit said too much).
QByteArray collect(QSerialPort *port, int expected, int limitMs = 200);

// The other replies: 10 ms pause, then up to 1000 ms without processing events until `expected`
// bytes have come. Returns exactly `expected` bytes, or an empty array when the reply did not
// come or was still incomplete at the limit (then nothing of it may be used).
QByteArray readReply(QSerialPort *port, int expected, int limitMs = 1000);

// The pause after a write-only command.
void pause(int ms);

// Whether a port error means the unit has gone (unplugged, or its line hung up). An expired wait
// (TimeoutError) is normal and does not count.
bool deviceWentAway(QSerialPort::SerialPortError error);

} // namespace exchange
