#include "app/dialog.h"

#include "calibration/calibrationwidget.h"
#include "link/exchange.h"
#include "link/protocol.h"

#include <QDebug>
#include <QSerialPort>
#include <QVector>

namespace {

// After each write-only command the unit needs a moment before it takes the next one.
constexpr int CommandPauseMs = 10;
// How long a table block may take to leave the port before the next one follows it.
constexpr int BlockWriteLimitMs = 1000;

} // namespace

void Dialog::getEepromData(QWidget *widget)
{
    const auto turn
        = guard.begin(ExchangeGuard::Operator, [this, widget] { getEepromData(widget); });
    if (!turn || !openSerialPort())
        return;
    auto *page = qobject_cast<calibrationWidget *>(widget);
    if (!page)
        return;
    const int channel = page->channel();

    // A missing or incomplete reply leaves what the page shows; the table is read either way.
    exchange::sendForReply(port, protocol::getGainRequest(channel));
    const QByteArray gainReply = exchange::readReply(port, protocol::GainReplyBytes);
    if (!gainReply.isEmpty()) {
        const float gain = protocol::floatAt(gainReply, 0);
        qDebug() << gain;
        page->setGain(gain);
    }

    // A table is shown whole or not at all: half a new table over half the old one would be a
    // calibration that neither the unit nor the operator ever had.
    exchange::sendForReply(port, protocol::getTempTableRequest(channel));
    const QByteArray tableReply = exchange::readReply(port, protocol::TableReplyBytes);
    if (tableReply.isEmpty())
        return;
    qDebug() << tableReply.size();
    const QVector<protocol::TableEntry> entries = protocol::tableEntries(tableReply);
    for (int row = 0; row < protocol::TableRows; ++row)
        page->setTableRow(row, entries.at(row).resistance, entries.at(row).temperature);
}

void Dialog::setEepromData(QWidget *widget)
{
    const auto turn
        = guard.begin(ExchangeGuard::Operator, [this, widget] { setEepromData(widget); });
    if (!turn || !openSerialPort())
        return;
    auto *page = qobject_cast<calibrationWidget *>(widget);
    if (!page)
        return;
    const int channel = page->channel();

    const QByteArray gainRequest = protocol::setGainRequest(channel, page->gain());
    qDebug() << gainRequest.toHex();
    exchange::send(port, gainRequest);
    exchange::pause(CommandPauseMs);

    for (int first = 0; first < protocol::TableRows; first += protocol::BlockRows) {
        QVector<protocol::TableEntry> entries;
        entries.reserve(protocol::BlockRows);
        for (int row = first; row < first + protocol::BlockRows; ++row) {
            const TempTableRow shown = page->tableRow(row);
            entries.append({shown.resistance, shown.temperature});
        }
        const QByteArray block = protocol::setTempTableRequest(channel, first, entries);
        qDebug() << block.size();
        qDebug() << block.toHex();
        exchange::send(port, block);
        // Wait only while the port still holds part of the block. Once the flush has handed it
        // all to the system, Qt's wait has nothing to report and would sit out the whole limit,
        // freezing the window a second per block.
        if (port->isOpen() && port->bytesToWrite() > 0)
            port->waitForBytesWritten(BlockWriteLimitMs);
        exchange::pause(CommandPauseMs);
    }
}

void Dialog::writeEeprom(QWidget *widget)
{
    const auto turn = guard.begin(ExchangeGuard::Operator, [this, widget] { writeEeprom(widget); });
    if (!turn || !openSerialPort())
        return;
    // The unit stores the calibration of all channels at once, so the page that asked is no
    // part of the command.
    exchange::send(port, protocol::writeEepromRequest());
    exchange::pause(CommandPauseMs);
}
