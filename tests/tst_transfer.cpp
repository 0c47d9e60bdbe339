// "Get Data", "Set Data" and "Write EEPROM" against the simulated unit: bytes on the wire, what
// the page shows, what a broken reply leaves alone, and a calibration that survives a restart.
#include "app/dialog.h"
#include "calibration/fixedpoints.h"
#include "link/protocol.h"
#include "sim/ptyhost.h"
#include "tests/support/fault.h"
#include "tests/support/floatbits.h"
#include "tests/support/modalboxes.h"
#include "tests/support/simunit.h"
#include "tests/support/windowonunit.h"
#include "unit/unit.h"
#include "windows/calibrationchart.h"
#include "windows/calibrationwidget.h"
#include "windows/standarddialog.h"

#include <QChartView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScatterSeries>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <limits>
#include <memory>

Q_DECLARE_METATYPE(Misbehaviour)
Q_DECLARE_METATYPE(std::function<void(PtyHost &)>)

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_USE_NAMESPACE
#endif

namespace {

QByteArray entry(float resistance, float temperature)
{
    return wireFloat(resistance) + wireFloat(temperature);
}

// The given first entry, then rows 1-99 of a falling curve.
QByteArray table(const QByteArray &first)
{
    QByteArray bytes = first;
    for (int row = 1; row < 100; ++row)
        bytes += entry(10.5f * row, 300.0f - 2.5f * row);
    return bytes;
}

// The table's last half comes after the tool has given up on it, once.
Misbehaviour tableHalfTooLate()
{
    Misbehaviour m = fault(Misbehaviour::Split, 0x20, 1, 1300);
    m.pieces = {400};
    return m;
}

QStringList boxTexts(const ModalAnswerer &answerer)
{
    QStringList texts;
    for (const ModalAnswerer::Seen &box : answerer.seen)
        texts << box.text;
    return texts;
}

// What the tool sent after the run's backup of all four channels; the whole wire without one.
QByteArray afterBackup(const QByteArray &sent)
{
    QByteArray backup;
    for (int channel = 0; channel < 4; ++channel)
        backup += protocol::getGainRequest(channel) + protocol::getTempTableRequest(channel);
    return sent.startsWith(backup) ? sent.mid(backup.size()) : sent;
}

} // namespace

class TransferTest : public QObject, WindowOnUnit
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
    void setDataSendsBackWhatCame_data();
    void setDataSendsBackWhatCame();
    void readBackShowsWhatTheUnitDidNotTake_data();
    void readBackShowsWhatTheUnitDidNotTake();
    void decimalCommaReachesTheWire();
    void writeEepromFromAnyPage();
    void commandsArePromptAndPaced();
    void calibrationSurvivesRestart();
    void chartFollowsThePage();
    void unwritableBackupStopsTheSend();
    void pointInTheBathCorrectsThePage();
};

void TransferTest::init()
{
    QVERIFY(startWindowOnUnit());
}

void TransferTest::cleanup()
{
    stopWindowOnUnit();
}

void TransferTest::getData_data()
{
    QTest::addColumn<QByteArray>("gainReply"); // empty: the unit stays silent
    QTest::addColumn<QByteArray>("tableReply");
    QTest::addColumn<Misbehaviour>("delivery");
    QTest::addColumn<float>("gain"); // what the page shows after; 7 and 11 were there
    QTest::addColumn<float>("firstResistance");
    QTest::addColumn<int>("gapMs"); // at least this long between the two requests

    const QByteArray g15 = QByteArray::fromHex("0000c03f");
    const QByteArray t100 = table(QByteArray::fromHex("0000c84200009643"));
    const Misbehaviour normal;
    Misbehaviour strayBytes = fault(Misbehaviour::Trailing, 0x1a, 1, 20);
    strayBytes.surplusBytes = 4;
    QTest::newRow("1.5; 100 and 300") << g15 << t100 << normal << 1.5f << 100.0f << 0;
    QTest::newRow("table in 64-byte packets")
        << g15 << t100 << fault(Misbehaviour::UsbPackets, 0x20, 1) << 1.5f << 100.0f << 0;
    QTest::newRow("bytes after the gain")
        << g15 + QByteArray::fromHex("deadbeef") << t100 << normal << 7.0f << 11.0f << 0;
    QTest::newRow("stray bytes 20 ms after the gain")
        << g15 << t100 << strayBytes << 7.0f << 11.0f << 0;
    QTest::newRow("silent gain") << QByteArray() << t100 << normal << 7.0f << 11.0f << 1000;
    QTest::newRow("gain one byte short") << g15.left(3) << t100 << normal << 7.0f << 11.0f << 1000;
    QTest::newRow("gain without a table") << g15 << QByteArray() << normal << 7.0f << 11.0f << 0;
    QTest::newRow("table one byte short") << g15 << t100.left(799) << normal << 7.0f << 11.0f << 0;
    QTest::newRow("second half of the table too late")
        << g15 << t100 << tableHalfTooLate() << 7.0f << 11.0f << 0;
}

// The page takes the unit's calibration whole or keeps what it showed, and says so: a gain
// without its table, or a reply followed by bytes that do not belong, is no calibration.
void TransferTest::getData()
{
    QFETCH(QByteArray, gainReply);
    QFETCH(QByteArray, tableReply);
    QFETCH(Misbehaviour, delivery);
    QFETCH(float, gain);
    QFETCH(float, firstResistance);
    QFETCH(int, gapMs);
    unit->scriptReply(0x1a, gainReply);
    unit->scriptReply(0x20, tableReply);
    unit->setMisbehaviour(delivery);
    calibrationWidget *shown = calibrationPage(*window, 2);
    shown->setGain(7);
    for (int row = 0; row < 100; ++row)
        shown->setTableRow(row, 11, 22);
    const bool tableNew = firstResistance != 11;
    if (tableNew) {
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QString::number(gain)));
        QTest::ignoreMessage(QtDebugMsg, "800");
    }
    ModalAnswerer answerer;

    press(shown, "pbGetData");

    QCOMPARE(unit->received(), QByteArray::fromHex("1a20020064"));
    const QList<Received> chunks = unit->receivedChunks();
    QVERIFY(chunks.at(1).usecs - chunks.at(0).usecs >= gapMs * 1000);
    QCOMPARE(shown->gain(), gain);
    QCOMPARE(shown->tableRow(0).resistance, firstResistance);
    QCOMPARE(shown->tableRow(0).temperature, tableNew ? 300.0f : 22.0f);
    QCOMPARE(shown->tableRow(99).resistance, tableNew ? 1039.5f : 11.0f);
    QCOMPARE(calibrationPage(*window, 3)->gain(), 0.0f);
    QCOMPARE(boxTexts(answerer),
             tableNew ? QStringList()
                      : QStringList {"Channel3: the unit did not answer in full; the page is "
                                     "unchanged."});
}

// The rest of a table that came too late is thrown away before the next request, not read as
// the next gain.
void TransferTest::lateRestIsNotTakenForTheNextReply()
{
    ModalAnswerer answerer;
    unit->setMisbehaviour(tableHalfTooLate());
    calibrationWidget *shown = calibrationPage(*window, 2);
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
    QTest::addColumn<QString>("cell"); // typed into row 17's temperature, which holds 292
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("gain");
    QTest::addColumn<QByteArray>("gainRequest"); // empty: nothing may be sent
    QTest::addColumn<QString>("box");
    const QString row17 = "Channel2: row 17, Temperature (K), ";
    const QString unsent = " Nothing was sent to the unit.";
    QTest::newRow("Channel1, 2") << "292" << 0 << "2" << QByteArray::fromHex("1400000040") << "";
    QTest::newRow("Channel3, 1") << "292" << 2 << "1" << QByteArray::fromHex("160000803f") << "";
    QTest::newRow("Channel4, empty gain")
        << "292" << 3 << "" << QByteArray() << "Channel4: the gain is empty." + unsent;
    QTest::newRow("Channel2, a cell cut short")
        << "1e" << 1 << "1" << QByteArray() << row17 + "is not a number." + unsent;
    QTest::newRow("Channel2, -5 K")
        << "-5" << 1 << "1" << QByteArray() << row17 + "is not above zero (-5)." + unsent;
    QTest::newRow("Channel2, a row goes back, not sent")
        << "400" << 1 << "1" << QByteArray()
        << QString(row17
                   + "goes back (400 after 292.5). Its rows do not run one way, as a "
                     "sensor's do. Send it anyway?");
}

void TransferTest::setData()
{
    QFETCH(QString, cell);
    QFETCH(int, channel);
    QFETCH(QString, gain);
    QFETCH(QByteArray, gainRequest);
    QFETCH(QString, box);
    calibrationWidget *shown = calibrationPage(*window, channel);
    shown->findChild<QLineEdit *>("leGain")->setText(gain);
    for (int row = 0; row < 100; ++row)
        shown->setTableRow(row, 100 + row * 1.25f, 300 - row * 0.5f);
    auto *cells = shown->findChild<QTableWidget *>("twTempTable");
    qobject_cast<QLineEdit *>(cells->cellWidget(16, 1))->setText(cell);
    ModalAnswerer answerer;
    answerer.setAnswer([](QWidget *modal) { // a box that asks is given its default answer
        auto *asking = qobject_cast<QMessageBox *>(modal);
        if (asking && asking->defaultButton())
            asking->defaultButton()->click();
        else
            ModalAnswerer::pressFirstButton(modal);
    });
    if (!gainRequest.isEmpty()) {
        QTest::ignoreMessage(QtDebugMsg, qPrintable('"' + gainRequest.toHex() + '"'));
        for (int block = 0; block < 4; ++block)
            QTest::ignoreMessage(QtDebugMsg, "204");
    }

    press(shown, "pbSetData");

    QCOMPARE(boxTexts(answerer), box.isEmpty() ? QStringList() : QStringList {box});
    const QByteArray sent = afterBackup(unit->received());
    if (gainRequest.isEmpty()) {
        QCOMPARE(sent.toHex(), QByteArray());
        return;
    }
    // The gain, the four blocks, then the read-back of both.
    QCOMPARE(sent.mid(5 + 4 * 204).toHex(),
             (protocol::getGainRequest(channel) + protocol::getTempTableRequest(channel)).toHex());
    QCOMPARE(sent.left(5), gainRequest);
    for (int block = 0; block < 4; ++block) {
        const char header[] = {0x21, char(channel), char(25 * block), 0x19};
        QCOMPARE(sent.mid(5 + 204 * block, 4), QByteArray(header, 4));
    }
    QCOMPARE(sent.mid(9, 8), QByteArray::fromHex("0000c84200009643"));
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

void TransferTest::setDataSendsBackWhatCame_data()
{
    QTest::addColumn<QString>("typed"); // into row 57's temperature; empty: no edit
    QTest::newRow("no edit") << "";
    QTest::newRow("one cell typed") << "191.5";
}

// The page shows six digits of a table that has eight or nine, yet sends back what it got.
void TransferTest::setDataSendsBackWhatCame()
{
    QFETCH(QString, typed);
    Calibration held {1.0f / 3.0f, {}};
    for (int row = 0; row < 100; ++row)
        held.rows.append({std::nextafter(100.0f + row / 7.0f, 1e9f), 300.0f / (1 + row / 99.0f)});
    unit->withFirmware([&](Firmware &f) {
        f.setGain(1, held.gain);
        for (int row = 0; row < 100; ++row)
            f.setTableRow(1, row, held.rows[row].resistance, held.rows[row].temperature);
    });
    calibrationWidget *shown = calibrationPage(*window, 1);
    press(shown, "pbGetData");
    if (!typed.isEmpty()) {
        auto *cell = qobject_cast<QLineEdit *>(
            shown->findChild<QTableWidget *>("twTempTable")->cellWidget(56, 1));
        cell->selectAll();
        QTest::keyClicks(cell, typed);
        held.rows[56].temperature = typed.toFloat();
    }
    unit->clearReceived();

    press(shown, "pbSetData");

    QByteArray expected = protocol::setGainRequest(1, held.gain);
    for (int first = 0; first < 100; first += 25)
        expected += protocol::setTempTableRequest(1, first, held.rows.mid(first, 25));
    QCOMPARE(afterBackup(unit->received()).left(expected.size()).toHex(), expected.toHex());
}

void TransferTest::readBackShowsWhatTheUnitDidNotTake_data()
{
    QTest::addColumn<std::function<void(PtyHost &)>>("fault");
    QTest::addColumn<QString>("why");
    QTest::newRow("a lost block") << std::function<void(PtyHost &)>([](PtyHost &u) {
        u.withFirmware([](Firmware &f) { f.loseRequest(protocol::SetTempTable, 1); });
    }) << "rows 26–50 differ";
    // Values one bit off still print the same on the page: only the bits tell.
    QTest::newRow("the gain kept off") << std::function<void(PtyHost &)>([](PtyHost &u) {
        u.withFirmware([](Firmware &f) { f.keepOff(0, -1); });
    }) << "gain differ";
    QTest::newRow("the last temperature kept off") << std::function<void(PtyHost &)>(
        [](PtyHost &u) { u.withFirmware([](Firmware &f) { f.keepOff(0, 99, 1); }); })
                                                   << "row 100 differ";
    QTest::newRow("no table read back") << std::function<void(PtyHost &)>([](PtyHost &u) {
        u.setMisbehaviour(fault(Misbehaviour::Silent, protocol::GetTempTable, 1));
    }) << "Channel1 was sent but not verified: the unit did not answer the read-back";
}

// What the unit did not take shows before "Write EEPROM" could store it.
void TransferTest::readBackShowsWhatTheUnitDidNotTake()
{
    QFETCH(std::function<void(PtyHost &)>, fault);
    QFETCH(QString, why);
    calibrationWidget *shown = calibrationPage(*window, 0);
    shown->setGain(1);
    for (int row = 0; row < 100; ++row)
        shown->setTableRow(row, 1000.0f + row, 300.0f - row);
    press(shown, "pbSetData"); // the run's backup reads every table first, before the fault
    for (int row = 0; row < 100; ++row) // and what goes next is new to the unit
        shown->setTableRow(row, 2000.0f + row, 300.0f - row);
    fault(*unit);
    ModalAnswerer answerer;

    press(shown, "pbSetData");

    const QString sentence = why.startsWith("Channel1")
        ? why
        : "Channel1: the unit did not take the new calibration (" + why + ")";
    QCOMPARE(boxTexts(answerer),
             QStringList {sentence + ". Send it again before \"Write EEPROM\"."});
}

// "1,5" typed on a desktop that writes decimals with a comma is one and a half, not fifteen.
void TransferTest::decimalCommaReachesTheWire()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    calibrationWidget *shown = calibrationPage(*window, 1);
    press(shown, "pbGetData");
    auto *gain = shown->findChild<QLineEdit *>("leGain");
    gain->clear();
    QTest::keyClicks(gain, "1,5");
    QLocale::setDefault(QLocale::c());
    unit->clearReceived();

    press(shown, "pbSetData");

    QCOMPARE(gain->text(), QStringLiteral("1.5"));
    QCOMPARE(afterBackup(unit->received()).left(5).toHex(), QByteArray("150000c03f"));
}

// The store goes out only to a unit that answers a relay read, whichever page asked.
void TransferTest::writeEepromFromAnyPage()
{
    for (int channel = 0; channel < 4; ++channel) {
        unit->clearReceived();
        press(calibrationPage(*window, channel), "pbWriteEeprom");
        // The unit reads the bytes when its thread comes to them.
        QTRY_COMPARE(unit->received(), QByteArray::fromHex("1e1f22"));
    }
    unit->setMisbehaviour(fault(Misbehaviour::Silent, 0x1e, 1));
    unit->clearReceived();
    ModalAnswerer answerer;
    press(calibrationPage(*window, 2), "pbWriteEeprom");
    QCOMPARE(unit->received(), QByteArray::fromHex("1e1f"));
    QCOMPARE(boxTexts(answerer),
             QStringList {"The calibration was not stored: the unit did not answer in full."});
}

// Write EEPROM, then Set Data to a prompt unit: over in a fraction of a second, and each command
// reaches the unit on its own, at least 10 ms after the one before it. Under load the simulated
// unit may read a command late, which shortens the gap it sees (or glues the next command to it),
// so each figure is the best of five tries. Whatever Set Data asks after its last block is not
// looked at.
void TransferTest::commandsArePromptAndPaced()
{
    calibrationPage(*window, 1)->setGain(1);
    for (int row = 0; row < 100; ++row)
        calibrationPage(*window, 1)->setTableRow(row, 100 + row, 300 - row);
    qint64 fastestMs = std::numeric_limits<qint64>::max();
    QMap<int, qint64> widestGap; // by the first byte of the gain and of each block; 0: glued
    press(calibrationPage(*window, 1), "pbSetData"); // the run's backup, before the timed sends
    for (int attempt = 0; attempt < 5; ++attempt) {
        unit->clearReceived();
        press(calibrationPage(*window, 1), "pbWriteEeprom");
        QElapsedTimer clock;
        clock.start();
        press(calibrationPage(*window, 1), "pbSetData");
        fastestMs = qMin(fastestMs, clock.elapsed());
        // The relay read before the store; the unit may still be reading the last block.
        QTRY_VERIFY(unit->received().size() >= 3 + 5 + 4 * 204);

        QList<qint64> arrived; // per byte: when the unit read the piece it came in, 0 if not first
        for (const Received &piece : unit->receivedChunks()) {
            for (int k = 0; k < piece.bytes.size(); ++k)
                arrived.append(k == 0 ? piece.usecs : 0);
        }
        for (int start : {3, 8, 212, 416, 620}) {
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
        calibrationPage(edited, 1)->setGain(123.4567f);
        for (int row = 0; row < 100; ++row)
            calibrationPage(edited, 1)->setTableRow(row, 40 + 0.6123457f * row,
                                                    300 - 2.345678f * row);
        press(calibrationPage(edited, 1), "pbSetData");
        press(calibrationPage(edited, 1), "pbWriteEeprom");
        for (QLineEdit *field : calibrationPage(edited, 1)->findChildren<QLineEdit *>())
            before << field->text();
    }
    PtyHost restarted(eepromFile);
    QVERIFY(restarted.start());
    Dialog read;
    read.setPortLister(unitsLister({&restarted}));
    press(calibrationPage(read, 1), "pbGetData");
    QStringList after;
    for (QLineEdit *field : calibrationPage(read, 1)->findChildren<QLineEdit *>())
        after << field->text();
    QCOMPARE(after, before);
    QVERIFY(after.contains("123.457") && after.contains("40.6123") && after.contains("297.654"));

    getAllData(read);
    const ChannelData &live = read.channelData()[1];
    int row = 1;
    while (row < 99 && calibrationPage(read, 1)->tableRow(row).resistance < live.resistance)
        ++row;
    const TempTableRow lo = calibrationPage(read, 1)->tableRow(row - 1),
                       hi = calibrationPage(read, 1)->tableRow(row);
    const double expected = lo.temperature
        + (live.resistance - lo.resistance) / (hi.resistance - lo.resistance)
            * (hi.temperature - lo.temperature);
    QVERIFY2(
        qAbs(live.temperature - expected) < 0.01,
        qPrintable(
            QString("R %1 T %2 not %3").arg(live.resistance).arg(live.temperature).arg(expected)));
}

// The chart draws the unit's 100 rows after "Get Data" and circles the first row that breaks the
// order once its edit is done; the window still fits a 1366 x 768 screen.
void TransferTest::chartFollowsThePage()
{
    calibrationWidget *shown = calibrationPage(*window, 1);
    window->findChild<QTabWidget *>("tabWidget")->setCurrentWidget(shown);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(window->frameGeometry().width() <= 1366 && window->frameGeometry().height() <= 768);
    auto *chart = shown->findChild<CalibrationChart *>();
    const QList<QAbstractSeries *> drawn = chart->findChild<QChartView *>()->chart()->series();
    auto *rows = qobject_cast<QXYSeries *>(drawn.at(0));
    auto *mark = qobject_cast<QXYSeries *>(drawn.at(2));

    press(shown, "pbGetData");
    QCOMPARE(rows->count(), 100);
    QCOMPARE(mark->count(), 0);

    auto *cell = qobject_cast<QLineEdit *>(
        shown->findChild<QTableWidget *>("twTempTable")->cellWidget(56, 1));
    cell->setFocus();
    cell->selectAll();
    QTest::keyClicks(cell, "1");
    QCOMPARE(mark->count(), 0);
    QTest::keyClick(cell, Qt::Key_Return);
    QCOMPARE(mark->count(), 1);
    QCOMPARE(mark->at(0), QPointF(shown->tableRow(56).resistance, 1));
    QCOMPARE(chart->note(), QStringLiteral("Row 57 breaks the order (circled)."));
}

// Where no backup can be written, Set Data asks before it sends without one; No, the default, sends
// nothing.
void TransferTest::unwritableBackupStopsTheSend()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("file");
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", file.toLocal8Bit()); // a file cannot hold the backups folder
    delete window;
    window = new Dialog;
    qputenv("XDG_DATA_HOME", dataHome);
    window->setPortLister(unitsLister({unit}));
    calibrationWidget *shown = calibrationPage(*window, 0);
    press(shown, "pbGetData");
    unit->clearReceived();
    ModalAnswerer answerer;
    answerer.setAnswer([](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            box->defaultButton()->click();
    });

    press(shown, "pbSetData");

    QCOMPARE(int(answerer.seen.size()), 1);
    QVERIFY2(answerer.seen.first().text.startsWith(
                 "The calibration the unit holds now could not be backed up (the backup could "
                 "not be written: the folder"),
             qPrintable(answerer.seen.first().text));
    QCOMPARE(afterBackup(unit->received()).toHex(), QByteArray());
}

// A Pt100 of 100.12 ohms at the ice point in an ice bath, its page holding the standard table:
// "Take point" at the ice point and "Correct table" make the page read the bath.
void TransferTest::pointInTheBathCorrectsThePage()
{
    unit->withFirmware([](Firmware &sensor) { sensor.setBath(0, 273.15); });
    calibrationWidget *page = calibrationPage(*window, 0);
    ModalAnswerer answerer;
    int pointsShown = 0;
    answerer.setAnswer([&pointsShown](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            box->button(QMessageBox::Yes)->click();
        else if (auto *standard = qobject_cast<StandardDialog *>(modal))
            standard->accept(); // a Pt100 from 73.15 K to 500 K
        else if (pointsShown++ > 0)
            qobject_cast<QDialog *>(modal)->reject();
        else // at the ice point, the preset chosen first; the question comes after the answer
            QTimer::singleShot(0, modal, [modal] {
                press(modal, "pbTake");
                press(modal, "pbCorrect");
            });
    });
    press(page, "pbStandard");
    QTRY_VERIFY(!QApplication::activeModalWidget());
    press(page, "pbPoints");
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(answerer.seen.size(), 4);
    QVERIFY2(answerer.seen.at(2).text.contains("with R0 fitted"),
             qPrintable(answerer.seen.at(2).text));
    QVector<TableEntry> rows;
    for (int row = 0; row < 100; ++row)
        rows.append({page->tableRow(row).resistance, page->tableRow(row).temperature});
    float ohms = 0;
    unit->withFirmware([&](Firmware &sensor) { ohms = floatOf(sensor.measurement(0, 3)); });
    QVERIFY(std::abs(tableTemperature(rows, ohms) - 273.15) < 2e-3);
}

QTEST_MAIN(TransferTest)
#include "tst_transfer.moc"
