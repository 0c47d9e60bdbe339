#include "unit/unit.h"

#include "link/devicelock.h"
#include "link/exchange.h"
#include "link/protocol.h"
#include "link/unitports.h"
#include "measure/readings.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSerialPort>

namespace {

// The debug lines of the unit's operations: off unless asked for ("quadmeter.unit.debug=true").
Q_LOGGING_CATEGORY(unitLog, "quadmeter.unit", QtInfoMsg)

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

QString notOpenText()
{
    return Unit::tr("the unit's port is not open");
}

QString notInFullText()
{
    return Unit::tr("the unit did not answer in full");
}

QString unansweredReadBack()
{
    return QStringLiteral("it did not answer the read-back in full");
}

// What the unit holds after a calibration was sent, against what was sent.
struct SendCheck
{
    int rowsNotSent = 0; // a block stuck on its way: it and the blocks after it were not sent
    bool readBackComplete = false;
    bool gainDiffers = false;
    QVector<int> rowsDiffering; // 0-based
};

// Why a sent calibration did not verify, as a clause for the operator: "gain, rows 26–50 differ",
// "rows 51–100 were not sent", "it did not answer the read-back in full". Rows are counted from 1
// as on the calibration page.
QString notTakenText(const SendCheck &check)
{
    if (check.rowsNotSent > 0)
        return QStringLiteral("rows %1–100 were not sent").arg(TableRows - check.rowsNotSent + 1);
    if (!check.readBackComplete)
        return unansweredReadBack();
    QStringList parts;
    if (check.gainDiffers)
        parts.append(QStringLiteral("gain"));
    const QVector<int> &rows = check.rowsDiffering;
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

} // namespace

Unit::Unit(QObject *parent)
    : QObject(parent)
    , port(new QSerialPort(this))
    , lister(systemPorts)
    , lock(std::make_unique<DeviceLock>())
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

Unit::~Unit() = default;

void Unit::onPortError()
{
    if (!port->isOpen())
        return; // several errors of one loss: close and report once
    const QString name = openedName;
    qCDebug(unitLog).noquote() << QStringLiteral("Device went away: %1").arg(name);
    port->close();
    lock->release();
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

Result<void> Unit::open(const QString &portName)
{
    if (port->isOpen())
        return {};
    // The device itself, not the name that reached it, so that every name of one unit meets
    // the same lock.
    const QString device = portDevice(portName);
    port->setPortName(device);
    openedName = portName;
    port->setBaudRate(UnitBaudRate, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    QString reason;
    if (port->open(QIODevice::ReadWrite)) {
        const Result<void> locked = lock->take(device, port->handle());
        if (locked)
            return {};
        port->close();
        reason = locked.error();
    } else {
        reason = port->errorString();
        // The serial library says "permission" also when another program holds the port; where
        // this program may open the device, that is what it means.
        if (port->error() == QSerialPort::PermissionError && permitsOpening(device))
            reason = deviceInUseText(device);
    }
    qCDebug(unitLog).noquote() << QStringLiteral("Cannot open %1: %2").arg(portName, reason);
    return Failure {reason};
}

bool Unit::isOpen() const
{
    return port->isOpen();
}

QString Unit::portName() const
{
    return port->portName();
}

UnitIdentity Unit::identity() const
{
    UnitIdentity unit {openedName, QString()};
    // A port named by its path ("/dev/ttyACM0") is listed by its short name, which the port gives.
    for (const PortEntry &entry : lister()) {
        if (entry.portName == openedName || entry.portName == port->portName()) {
            unit.serialNumber = entry.serialNumber;
            break;
        }
    }
    return unit;
}

void Unit::close()
{
    port->close();
    lock->release();
}

Result<LiveReading> Unit::readLive()
{
    LiveReading reading;
    // Only a whole, quiet set counts; the caller gets nothing of one that ends early.
    for (int quantity = 0; quantity < QuantityCount; ++quantity) {
        const bool clean
            = exchange::sendForReply(port, protocol::measurementRequest(quantity)).ok();
        const QByteArray reply = exchange::collect(port, protocol::MeasurementReplyBytes);
        // Bytes found before a later stage's request belong to an earlier reply of this reading.
        if ((quantity > 0 && !clean) || reply.size() != protocol::MeasurementReplyBytes
            || !exchange::staysQuiet(port, exchange::ReplyQuietMs)) {
            qCDebug(unitLog, "Error! Wrong data");
            return Failure {notInFullText()};
        }
        storeQuantity(reading.channels.data(), quantity, reply);
    }

    const bool clean = exchange::sendForReply(port, protocol::relayStateRequest()).ok();
    const Result<QByteArray> states = exchange::readReply(port, protocol::RelayStateReplyBytes);
    // A unit that keeps silent about its relays still gave a whole reading; one that says more
    // than it was asked has put the readings before in doubt.
    if (!clean || (!states && !exchange::keptSilent(states))
        || (states && !exchange::staysQuiet(port, exchange::ReplyQuietMs))) {
        qCDebug(unitLog, "Error! Wrong data");
        return Failure {notInFullText()};
    }
    if (states)
        reading.relays = RelayStates {states->at(0) != 0, states->at(1) != 0};
    return reading;
}

Result<void> Unit::switchRelay(int relay, bool on)
{
    if (!port->isOpen())
        return Failure {notOpenText()};
    exchange::send(port, protocol::setRelayRequest(relay, on));
    // The unit takes its next command only a moment after this one, as after every write-only
    // command; a relay read straight after would be lost.
    exchange::pause(CommandPauseMs);
    return {};
}

Result<Calibration> Unit::readCalibration(int channel)
{
    Calibration calibration;
    exchange::sendForReply(port, protocol::getGainRequest(channel));
    const Result<QByteArray> gainReply = exchange::readReply(port, protocol::GainReplyBytes);
    if (gainReply) {
        calibration.gain = protocol::floatAt(*gainReply, 0);
        qCDebug(unitLog) << calibration.gain;
    }
    const bool quietAfterGain = exchange::staysQuiet(port, CalibrationQuietMs);

    // The table is asked for whatever became of the gain, as the unit has always been read.
    const bool clean = exchange::sendForReply(port, protocol::getTempTableRequest(channel)).ok();
    const Result<QByteArray> tableReply = exchange::readReply(port, protocol::TableReplyBytes);
    if (tableReply) {
        qCDebug(unitLog) << tableReply->size();
        calibration.rows = protocol::tableEntries(*tableReply);
    }
    if (gainReply && quietAfterGain && clean && tableReply
        && exchange::staysQuiet(port, CalibrationQuietMs))
        return calibration;
    return Failure {notInFullText()};
}

QString Unit::notTakenSentence(const QString &title, const QString &what, const Result<void> &sent)
{
    if (sent.error() == unansweredReadBack())
        return QCoreApplication::translate(
                   "Unit", "%1 was sent but not verified: the unit did not answer the read-back")
            .arg(title);
    return QCoreApplication::translate("Unit", "%1: the unit did not take the %2 calibration (%3)")
        .arg(title, what, sent.error());
}

Result<void> Unit::sendCalibration(int channel, const Calibration &calibration)
{
    Q_ASSERT(calibration.rows.size() == TableRows);
    SendCheck check;

    const QByteArray gainRequest = protocol::setGainRequest(channel, calibration.gain);
    qCDebug(unitLog) << gainRequest.toHex();
    exchange::send(port, gainRequest);
    exchange::pause(CommandPauseMs);

    for (int first = 0; first < TableRows; first += protocol::BlockRows) {
        const QByteArray block = protocol::setTempTableRequest(
            channel, first, calibration.rows.mid(first, protocol::BlockRows));
        qCDebug(unitLog) << block.size();
        qCDebug(unitLog) << block.toHex();
        exchange::send(port, block);
        // Wait only while the port still holds part of the block. Once the flush has handed it
        // all to the system, Qt's wait has nothing to report and would sit out the whole limit.
        if (port->isOpen() && port->bytesToWrite() > 0)
            port->waitForBytesWritten(BlockWriteLimitMs);
        if (!port->isOpen() || port->bytesToWrite() > 0) {
            // A unit that stops taking bytes would make every further block wait out its limit.
            check.rowsNotSent = TableRows - first;
            return Failure {notTakenText(check)};
        }
        exchange::pause(CommandPauseMs);
    }

    // The unit acknowledges nothing, so what it now holds is read back and compared.
    const Result<Calibration> back = readCalibration(channel);
    if (!back)
        return Failure {notTakenText(check)};
    check.readBackComplete = true;
    check.gainDiffers = !sameBits(back->gain, calibration.gain);
    for (int row = 0; row < TableRows; ++row) {
        const TableEntry &sent = calibration.rows.at(row);
        const TableEntry &held = back->rows.at(row);
        if (!sameBits(sent.resistance, held.resistance)
            || !sameBits(sent.temperature, held.temperature))
            check.rowsDiffering.append(row);
    }
    if (check.gainDiffers || !check.rowsDiffering.isEmpty())
        return Failure {notTakenText(check)};
    return {};
}

Result<RelayStates> Unit::readRelays()
{
    if (!port->isOpen())
        return Failure {notOpenText()};
    const bool clean = exchange::sendForReply(port, protocol::relayStateRequest()).ok();
    const Result<QByteArray> states = exchange::readReply(port, protocol::RelayStateReplyBytes);
    if (!states || !clean || !exchange::staysQuiet(port, exchange::ReplyQuietMs))
        return Failure {notInFullText()};
    return RelayStates {states->at(0) != 0, states->at(1) != 0};
}

Result<void> Unit::storeEeprom()
{
    if (const Result<RelayStates> answered = readRelays(); !answered)
        return Failure {answered.error()};
    exchange::send(port, protocol::writeEepromRequest());
    exchange::pause(CommandPauseMs);
    return {};
}
