#include "unit/unit.h"

#include "link/exchange.h"
#include "link/unitports.h"
#include "measure/readings.h"

#include <QDebug>
#include <QSerialPort>

namespace {

constexpr qint32 UnitBaudRate = 500000;
// After each write-only command the unit needs a moment before it takes the next one.
constexpr int CommandPauseMs = 10;
// How long a table block may take to leave the port.
constexpr int BlockWriteLimitMs = 1000;
// A calibration read is paced by the operator, so it can afford to listen longer for bytes that
// do not belong: before the table is asked for, and after it came.
constexpr int CalibrationQuietMs = 30;

// What was sent is compared with what came back bit for bit, as the unit keeps it.
bool sameBits(float a, float b)
{
    return protocol::floatBits(a) == protocol::floatBits(b);
}

} // namespace

Unit::Unit(QObject *parent)
    : QObject(parent)
    , port(new QSerialPort(this))
    , lister(systemPorts)
{
    // An unplugged unit (or a hung-up line) leaves the port open but dead; closing it lets the
    // next operation search again. The error may be raised from inside a wait on this very port,
    // so the close is queued and runs once the wait has returned; the waits stop by themselves
    // when the device has gone.
    connect(port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (exchange::deviceWentAway(error))
            QMetaObject::invokeMethod(this, &Unit::onPortError, Qt::QueuedConnection);
    });
}

void Unit::onPortError()
{
    if (!port->isOpen())
        return; // several errors of one loss: close and report once
    const QString name = port->portName();
    qDebug().noquote() << QStringLiteral("Device went away: %1").arg(name);
    port->close();
    emit wentAway(name);
}

void Unit::setPortLister(PortLister replacement)
{
    lister = std::move(replacement);
}

QStringList Unit::attachedUnits() const
{
    return unitPortNames(lister());
}

bool Unit::open(const QString &portName)
{
    if (port->isOpen())
        return true;
    port->setPortName(portName);
    port->setBaudRate(UnitBaudRate, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    if (port->open(QIODevice::ReadWrite))
        return true;
    qDebug().noquote() << QStringLiteral("Cannot open %1: %2").arg(portName, port->errorString());
    return false;
}

bool Unit::isOpen() const
{
    return port->isOpen();
}

QString Unit::portName() const
{
    return port->portName();
}

QString Unit::errorString() const
{
    return port->errorString();
}

void Unit::close()
{
    port->close();
}

LiveReading Unit::readLive(ChannelData *records)
{
    LiveReading reading;
    // Each stage's values are stored as soon as they come; only a whole, quiet set counts.
    for (int quantity = 0; quantity < protocol::QuantityCount; ++quantity) {
        const bool clean = exchange::sendForReply(port, protocol::measurementRequest(quantity));
        const QByteArray reply = exchange::collect(port, protocol::MeasurementReplyBytes);
        // Bytes found before a later stage's request belong to an earlier reply of this reading.
        if ((quantity > 0 && !clean) || reply.size() != protocol::MeasurementReplyBytes
            || !exchange::staysQuiet(port, exchange::ReplyQuietMs)) {
            qDebug("Error! Wrong data");
            return reading;
        }
        storeQuantity(records, quantity, reply);
    }

    const bool clean = exchange::sendForReply(port, protocol::relayStateRequest());
    QByteArray states;
    const exchange::Outcome outcome
        = exchange::readReply(port, protocol::RelayStateReplyBytes, states);
    // A unit that keeps silent about its relays still gave a whole reading; one that says more
    // than it was asked has put the readings before in doubt.
    if (!clean || outcome == exchange::Outcome::Broken
        || (outcome == exchange::Outcome::Whole
            && !exchange::staysQuiet(port, exchange::ReplyQuietMs))) {
        qDebug("Error! Wrong data");
        return reading;
    }
    if (outcome == exchange::Outcome::Whole)
        reading.relays = RelayStates {states.at(0) != 0, states.at(1) != 0};
    reading.complete = true;
    return reading;
}

bool Unit::switchRelay(int relay, bool on)
{
    if (!port->isOpen())
        return false;
    exchange::send(port, protocol::setRelayRequest(relay, on));
    return true;
}

CalibrationRead Unit::readCalibration(int channel)
{
    CalibrationRead read;
    exchange::sendForReply(port, protocol::getGainRequest(channel));
    QByteArray gainReply;
    const bool gainWhole = exchange::readReply(port, protocol::GainReplyBytes, gainReply)
        == exchange::Outcome::Whole;
    if (gainWhole) {
        read.calibration.gain = protocol::floatAt(gainReply, 0);
        qDebug() << read.calibration.gain;
    }
    const bool quietAfterGain = exchange::staysQuiet(port, CalibrationQuietMs);

    // The table is asked for whatever became of the gain, as the unit has always been read.
    const bool clean = exchange::sendForReply(port, protocol::getTempTableRequest(channel));
    QByteArray tableReply;
    const bool tableWhole = exchange::readReply(port, protocol::TableReplyBytes, tableReply)
        == exchange::Outcome::Whole;
    if (tableWhole) {
        qDebug() << tableReply.size();
        read.calibration.rows = protocol::tableEntries(tableReply);
    }
    read.complete = gainWhole && quietAfterGain && clean && tableWhole
        && exchange::staysQuiet(port, CalibrationQuietMs);
    return read;
}

CalibrationSendResult Unit::sendCalibration(int channel, const Calibration &calibration)
{
    Q_ASSERT(calibration.rows.size() == protocol::TableRows);
    CalibrationSendResult result;

    const QByteArray gainRequest = protocol::setGainRequest(channel, calibration.gain);
    qDebug() << gainRequest.toHex();
    exchange::send(port, gainRequest);
    exchange::pause(CommandPauseMs);

    for (int first = 0; first < protocol::TableRows; first += protocol::BlockRows) {
        const QByteArray block = protocol::setTempTableRequest(
            channel, first, calibration.rows.mid(first, protocol::BlockRows));
        qDebug() << block.size();
        qDebug() << block.toHex();
        exchange::send(port, block);
        // Wait only while the port still holds part of the block. Once the flush has handed it
        // all to the system, Qt's wait has nothing to report and would sit out the whole limit.
        if (port->isOpen() && port->bytesToWrite() > 0)
            port->waitForBytesWritten(BlockWriteLimitMs);
        if (!port->isOpen() || port->bytesToWrite() > 0) {
            // A unit that stops taking bytes would make every further block wait out its limit.
            result.rowsNotSent = protocol::TableRows - first;
            return result;
        }
        exchange::pause(CommandPauseMs);
    }

    // The unit acknowledges nothing, so what it now holds is read back and compared.
    const CalibrationRead back = readCalibration(channel);
    result.readBackComplete = back.complete;
    if (!back.complete)
        return result;
    result.gainDiffers = !sameBits(back.calibration.gain, calibration.gain);
    for (int row = 0; row < protocol::TableRows; ++row) {
        const protocol::TableEntry &sent = calibration.rows.at(row);
        const protocol::TableEntry &held = back.calibration.rows.at(row);
        if (!sameBits(sent.resistance, held.resistance)
            || !sameBits(sent.temperature, held.temperature))
            result.rowsDiffering.append(row);
    }
    result.verified = !result.gainDiffers && result.rowsDiffering.isEmpty();
    return result;
}

void Unit::storeEeprom()
{
    exchange::send(port, protocol::writeEepromRequest());
    exchange::pause(CommandPauseMs);
}

QString notTakenText(const CalibrationSendResult &result)
{
    if (result.rowsNotSent > 0)
        return QStringLiteral("rows %1–100 were not sent")
            .arg(protocol::TableRows - result.rowsNotSent + 1);
    if (!result.readBackComplete)
        return QStringLiteral("it did not answer the read-back in full");
    QStringList parts;
    if (result.gainDiffers)
        parts.append(QStringLiteral("gain"));
    const QVector<int> &rows = result.rowsDiffering;
    for (int i = 0; i < rows.size();) {
        int j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        parts.append(
            i == j ? QStringLiteral("row %1").arg(rows.at(i) + 1)
                   : QStringLiteral("rows %1–%2")
                         .arg(QString::number(rows.at(i) + 1), QString::number(rows.at(j) + 1)));
        i = j + 1;
    }
    return QStringLiteral("%1 differ").arg(parts.join(QStringLiteral(", ")));
}
