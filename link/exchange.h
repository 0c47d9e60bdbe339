#pragma once

// The three ways an operation talks to the unit over the open port: a plain send, the collecting
// wait of the measurement stages, and the one-shot read of the other replies.
#include "values/result.h"

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

// What the waits bring back follows the tool's one convention: a Result with the reply, or a
// Failure whose reason is a clause for the operator. The collecting wait alone returns its bytes
// as they came, since what is a good measurement reply is the caller's verdict on its size.

// Send a request that expects a reply. Bytes still waiting from an earlier exchange (a late or
// surplus reply) are discarded first, so they can never be taken for this reply. Fails when there
// were such bytes (inside one operation they mean its earlier replies were not what they seemed),
// and when the port is not open; the request is sent all the same when it is.
Result<void> sendForReply(QSerialPort *port, const QByteArray &request);

// The measurement stages' wait: collect for up to limitMs, in 50 ms slices. Between slices the
// events that keep the window alive are processed (painting, timers, the port), but not the
// operator's clicks and keys: those wait until the exchange is over, so no operation can start
// in the middle of another. Returns what came; the reply is good only when its size is exactly
// `expected` (fewer: time ran out; more: the unit said too much).
QByteArray collect(QSerialPort *port, int expected, int limitMs = 200);

// The other replies: 10 ms pause, then up to 1000 ms without processing events until `expected`
// bytes have come. Exactly `expected` bytes, so nothing of a broken reply can be used; or a
// failure: nothing came within the limit ("the unit did not answer"), or the reply was cut short
// at the limit or longer than asked ("the unit did not answer in full").
Result<QByteArray> readReply(QSerialPort *port, int expected, int limitMs = 1000);
// Whether a failed one-shot read brought nothing at all, which some replies may do.
bool keptSilent(const Result<QByteArray> &reply);

// A reply must be followed by silence: bytes that come within `ms` after it mean the unit said
// more than it was asked, and the reply just taken may have been shifted by them. Returns false
// when any came (they are left for the next request's discard).
bool staysQuiet(QSerialPort *port, int ms);

// How long the line must stay quiet after a reply. The unit's USB link hands over its bytes in
// 1 ms frames, so bytes still on their way show within two.
constexpr int ReplyQuietMs = 2;

// The pause after a write-only command.
void pause(int ms);

// Whether a port error means the unit has gone (unplugged, or its line hung up). An expired wait
// (TimeoutError) is normal and does not count.
bool deviceWentAway(QSerialPort::SerialPortError error);

} // namespace exchange
