// "Get Data", "Set Data" and "Write EEPROM" against the simulated unit: bytes on the wire, what
// the page shows, what a broken reply leaves alone, and a calibration that survives a restart.
#include "app/dialog.h"
#include "calibration/calibrationwidget.h"
#include "sim/ptyhost.h"
#include "tests/support/simunit.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <limits>
#include <memory>

Q_DECLARE_METATYPE(Misbehaviour)

namespace {

QByteArray entry(float resistance, float temperature)
{
    QByteArray bytes(8, '\0');
    quint32 bits[2];
    std::memcpy(bits, &resistance, 4);
    std::memcpy(bits + 1, &temperature, 4);
    qToLittleEndian<quint32>(bits, 2, bytes.data());
    return bytes;
}

// The given first entry, then rows 1-99 of a falling curve.
QByteArray table(const QByteArray &first)
{
    QByteArray bytes = first;
    for (int row = 1; row < 100; ++row)
        bytes += entry(10.5f * row, 300.0f - 2.5f * row);
    return bytes;
}

Misbehaviour once(int code, Misbehaviour::Mode mode, int delayMs = 0, const QList<int> &pieces = {})
{
    Misbehaviour m;
    m.mode = mode;
    m.delayMs = delayMs;
    m.pieces = pieces;
    m.onlyForCode = code;
    m.times = 1;
    return m;
}

calibrationWidget *page(Dialog &window, int channel)
{
    // Tab 0 is the live data page.
    return qobject_cast<calibrationWidget *>(
        window.findChild<QTabWidget *>("tabWidget")->widget(channel + 1));
}

void press(QWidget *parent, const char *button)
{
    parent->findChild<QPushButton *>(button)->click();
}

void getAllData(Dialog &window)
{
    press(window.findChild<QTabWidget *>("tabWidget")->widget(0), "pbGetData");
}

} // namespace

class TransferTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void getData_data();
    void getData();
    void lateRestIsNotTakenForTheNextReply();
    void setData_data();
    void setData();
    void writeEepromFromAnyPage();
    void commandsArePromptAndPaced();
    void clickDuringLiveDataWaitsForIt();
    void calibrationSurvivesRestart();

private:
    std::unique_ptr<PtyHost> unit;
    std::unique_ptr<Dialog> window;
};

void TransferTest::init()
{
    unit = std::make_unique<PtyHost>();
    QVERIFY(unit->start());
    window = std::make_unique<Dialog>();
    window->setPortLister(unitsLister({unit.get()}));
}

void TransferTest::cleanup()
{
    window.reset();
    unit.reset();
}

void TransferTest::getData_data()
{
    QTest::addColumn<QByteArray>("gainReply"); // empty: the unit stays silent
    QTest::addColumn<QByteArray>("tableReply");
    QTest::addColumn<Misbehaviour>("delivery");
    QTest::addColumn<QString>("gain"); // what the page shows after; "7" and "11" were there
    QTest::addColumn<QString>("firstResistance");
    QTest::addColumn<int>("gapMs"); // at least this long between the two requests

    const QByteArray g15 = QByteArray::fromHex("0000c03f");
    const QByteArray t100 = table(QByteArray::fromHex("0000c84200009643"));
    const Misbehaviour normal;
    QTest::newRow("1.5; 100 and 300") << g15 << t100 << normal << "1.5"
                                      << "100" << 0;
    QTest::newRow("table in 64-byte packets")
        << g15 << t100 << once(0x20, Misbehaviour::UsbPackets) << "1.5"
        << "100" << 0;
    QTest::newRow("bytes after the gain are ignored")
        << g15 + QByteArray::fromHex("deadbeef") << t100 << normal << "1.5"
        << "100" << 0;
    QTest::newRow("silent gain") << QByteArray() << t100 << normal << "7"
                                 << "100" << 1000;
    QTest::newRow("gain one byte short") << g15.left(3) << t100 << normal << "7"
                                         << "100" << 1000;
    QTest::newRow("table one byte short") << g15 << t100.left(799) << normal << "1.5"
                                          << "11" << 0;
    QTest::newRow("second half of the table too late")
        << g15 << t100 << once(0x20, Misbehaviour::Split, 1300, {400}) << "1.5"
        << "11" << 0;
}

// A reply that does not come whole changes nothing it would have set; the table is never half
// new, half old.
void TransferTest::getData()
{
    QFETCH(QByteArray, gainReply);
    QFETCH(QByteArray, tableReply);
    QFETCH(Misbehaviour, delivery);
    QFETCH(QString, gain);
    QFETCH(QString, firstResistance);
    QFETCH(int, gapMs);
    unit->scriptReply(0x1a, gainReply);
    unit->scriptReply(0x20, tableReply);
    unit->setMisbehaviour(delivery);
    calibrationWidget *shown = page(*window, 2);
    shown->setGain(7);
    for (int row = 0; row < 100; ++row)
        shown->setTableRow(row, 11, 22);
    const bool tableNew = firstResistance != "11";
    if (gain != "7")
        QTest::ignoreMessage(QtDebugMsg, qPrintable(gain));
    if (tableNew)
        QTest::ignoreMessage(QtDebugMsg, "800");

    press(shown, "pbGetData");

    QCOMPARE(unit->received(), QByteArray::fromHex("1a20020064"));
    const QList<Received> chunks = unit->receivedChunks();
    QVERIFY(chunks.at(1).usecs - chunks.at(0).usecs >= gapMs * 1000);
    QCOMPARE(shown->gain(), gain.toFloat());
    QCOMPARE(shown->tableRow(0).resistance, firstResistance.toFloat());
    QCOMPARE(shown->tableRow(0).temperature, tableNew ? 300.0f : 22.0f);
    QCOMPARE(shown->tableRow(99).resistance, tableNew ? 1039.5f : 11.0f);
    QCOMPARE(page(*window, 3)->gain(), 0.0f);
}

// The rest of a table that came too late is thrown away before the next request, not read as
// the next gain.
void TransferTest::lateRestIsNotTakenForTheNextReply()
{
    unit->setMisbehaviour(once(0x20, Misbehaviour::Split, 1300, {400}));
    calibrationWidget *shown = page(*window, 2);
    press(shown, "pbGetData");
    QTest::qWait(500);
    unit->withFirmware([](Firmware &f) { f.setGain(2, 2.5f); });
    press(shown, "pbGetData");
    QCOMPARE(shown->gain(), 2.5f);
    float lastResistance = 0;
    unit->withFirmware([&](Firmware &f) { lastResistance = f.tableRow(2, 99).first; });
    QCOMPARE(shown->tableRow(99).resistance, lastResistance);
}

void TransferTest::setData_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("gain");
    QTest::addColumn<QByteArray>("gainRequest");
    QTest::newRow("Channel1, 2") << 0 << "2" << QByteArray::fromHex("1400000040");
    QTest::newRow("Channel3, 1") << 2 << "1" << QByteArray::fromHex("160000803f");
    QTest::newRow("Channel4, empty") << 3 << "" << QByteArray::fromHex("1700000000");
}

void TransferTest::setData()
{
    QFETCH(int, channel);
    QFETCH(QString, gain);
    QFETCH(QByteArray, gainRequest);
    calibrationWidget *shown = page(*window, channel);
    shown->findChild<QLineEdit *>("leGain")->setText(gain);
    for (int row = 0; row < 100; ++row)
        shown->setTableRow(row, 100 + row * 1.25f, 300 - row * 0.5f);
    for (int column : {0, 1})
        qobject_cast<QLineEdit *>(
            shown->findChild<QTableWidget *>("twTempTable")->cellWidget(37, column))
            ->clear();
    QTest::ignoreMessage(QtDebugMsg, qPrintable('"' + gainRequest.toHex() + '"'));
    for (int block = 0; block < 4; ++block)
        QTest::ignoreMessage(QtDebugMsg, "204");

    press(shown, "pbSetData");

    const QByteArray sent = unit->received();
    QCOMPARE(sent.size(), 5 + 4 * 204);
    QCOMPARE(sent.left(5), gainRequest);
    for (int block = 0; block < 4; ++block) {
        const char header[] = {0x21, char(channel), char(25 * block), 0x19};
        QCOMPARE(sent.mid(5 + 204 * block, 4), QByteArray(header, 4));
    }
    QCOMPARE(sent.mid(9, 8), QByteArray::fromHex("0000c84200009643"));
    QCOMPARE(sent.mid(5 + 204 + 4 + 8 * 12, 8), QByteArray(8, '\0'));
    // Decoded the unit's own way, every row lands where the page shows it.
    unit->withFirmware([&](Firmware &f) {
        QCOMPARE(f.gain(channel), shown->gain());
        for (int row = 0; row < 100; ++row) {
            const TempTableRow r = shown->tableRow(row);
            if (f.tableRow(channel, row) != std::make_pair(r.resistance, r.temperature))
                QFAIL(qPrintable(QString("row %1").arg(row)));
        }
    });
}

void TransferTest::writeEepromFromAnyPage()
{
    for (int channel = 0; channel < 4; ++channel) {
        unit->clearReceived();
        press(page(*window, channel), "pbWriteEeprom");
        QCOMPARE(unit->received(), QByteArray::fromHex("22"));
    }
}

// Write EEPROM, then Set Data to a prompt unit: over in a fraction of a second, and each command
// reaches the unit on its own, at least 10 ms after the one before it. Under load the simulated
// unit may read a command late, which shortens the gap it sees (or glues the next command to it),
// so each figure is the best of five tries. Whatever Set Data asks after its last block is not
// looked at.
void TransferTest::commandsArePromptAndPaced()
{
    qint64 fastestMs = std::numeric_limits<qint64>::max();
    QMap<int, qint64> widestGap; // by the first byte of the gain and of each block; 0: glued
    for (int attempt = 0; attempt < 5; ++attempt) {
        unit->clearReceived();
        press(page(*window, 1), "pbWriteEeprom");
        QElapsedTimer clock;
        clock.start();
        press(page(*window, 1), "pbSetData");
        fastestMs = qMin(fastestMs, clock.elapsed());
        QTRY_VERIFY(unit->received().size() >= 1 + 5 + 4 * 204); // the unit may still be reading

        QList<qint64> arrived; // per byte: when the unit read the piece it came in, 0 if not first
        for (const Received &piece : unit->receivedChunks()) {
            for (int k = 0; k < piece.bytes.size(); ++k)
                arrived.append(k == 0 ? piece.usecs : 0);
        }
        for (int start : {1, 6, 210, 414, 618}) {
            int previous = start - 1;
            while (arrived[previous] == 0)
                --previous;
            const qint64 gap = arrived[start] == 0 ? 0 : arrived[start] - arrived[previous];
            widestGap[start] = qMax(widestGap[start], gap);
        }
    }
    QVERIFY2(fastestMs < 500, qPrintable(QString::number(fastestMs)));
    for (auto gap = widestGap.cbegin(); gap != widestGap.cend(); ++gap)
        QVERIFY2(gap.value() >= 10000,
                 qPrintable(QString("at byte %1: %2 us")
                                .arg(QString::number(gap.key()), QString::number(gap.value()))));
}

// A calibration read clicked while live data waits goes out after the whole live cycle.
void TransferTest::clickDuringLiveDataWaitsForIt()
{
    unit->setMisbehaviour(once(0x00, Misbehaviour::Late, 150));
    unit->withFirmware([](Firmware &f) { f.setGain(2, 2.5f); });
    QTimer::singleShot(50, window.get(), [this] { press(page(*window, 2), "pbGetData"); });
    getAllData(*window);
    QCOMPARE(unit->received(),
             QByteArray::fromHex("00010203"
                                 "04050607"
                                 "08090a0b"
                                 "0c0d0e0f"
                                 "10111213"
                                 "1e1f"
                                 "1a20020064"));
    QCOMPARE(page(*window, 2)->gain(), 2.5f);
}

// Set Data and Write EEPROM, the unit restarted from its EEPROM, Get Data on a new window: the
// same texts, and the unit measures temperatures through that table.
void TransferTest::calibrationSurvivesRestart()
{
    QTemporaryDir dir;
    const QString eepromFile = dir.filePath("eeprom");
    cleanup();
    QStringList before;
    {
        PtyHost first(eepromFile);
        QVERIFY(first.start());
        Dialog edited;
        edited.setPortLister(unitsLister({&first}));
        page(edited, 1)->setGain(123.4567f);
        for (int row = 0; row < 100; ++row)
            page(edited, 1)->setTableRow(row, 40 + 0.6123457f * row, 300 - 2.345678f * row);
        press(page(edited, 1), "pbSetData");
        press(page(edited, 1), "pbWriteEeprom");
        for (QLineEdit *field : page(edited, 1)->findChildren<QLineEdit *>())
            before << field->text();
    }
    PtyHost restarted(eepromFile);
    QVERIFY(restarted.start());
    Dialog read;
    read.setPortLister(unitsLister({&restarted}));
    press(page(read, 1), "pbGetData");
    QStringList after;
    for (QLineEdit *field : page(read, 1)->findChildren<QLineEdit *>())
        after << field->text();
    QCOMPARE(after, before);
    QVERIFY(after.contains("123.457") && after.contains("40.6123") && after.contains("297.654"));

    getAllData(read);
    const ChannelData &live = read.channelData()[1];
    int row = 1;
    while (row < 99 && page(read, 1)->tableRow(row).resistance < live.resistance)
        ++row;
    const TempTableRow lo = page(read, 1)->tableRow(row - 1), hi = page(read, 1)->tableRow(row);
    const double expected = lo.temperature
        + (live.resistance - lo.resistance) / (hi.resistance - lo.resistance)
            * (hi.temperature - lo.temperature);
    QVERIFY2(
        qAbs(live.temperature - expected) < 0.01,
        qPrintable(
            QString("R %1 T %2 not %3").arg(live.resistance).arg(live.temperature).arg(expected)));
}

QTEST_MAIN(TransferTest)
#include "tst_transfer.moc"
