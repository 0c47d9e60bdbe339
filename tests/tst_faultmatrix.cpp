// Every operation that talks to the unit against every way the unit misbehaves. In each cell:
// nothing crashes; what the window shows afterwards is either what it showed before or the unit's
// true values, never shifted or half-updated; the next operation after the unit behaves again
// works without a restart; and the requests on the wire are whole and never interleaved, even
// with a logger tick arriving in the middle.
#include "app/dialog.h"
#include "measure/readings.h"
#include "sim/firmware.h"
#include "sim/ptyhost.h"
#include "tests/support/fault.h"
#include "tests/support/modalboxes.h"
#include "tests/support/windowonunit.h"
#include "windows/calibrationwidget.h"
#include "windows/logger.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <thread>

namespace {

enum Operation { GetAllData, Relay1, Relay2, CalGetData, CalSetData, WriteEeprom, LoggingTick };
enum Fault { Silent, Late, Split, Surplus, Short, LineRate, Unplugged };
const char *const operationNames[]
    = {"Get All Data", "Relay1", "Relay2", "Get Data", "Set Data", "Write EEPROM", "logging tick"};
const char *const faultNames[]
    = {"silent", "late", "split", "surplus", "short garbage", "line rate", "unplugged"};
// How the unit answers under each fault; unplugged, it is silent until the cable is pulled.
using M = Misbehaviour;
const M::Mode faultModes[]
    = {M::Silent, M::Late, M::Split, M::Surplus, M::GarbageWrongLength, M::LineRate, M::Silent};

// Request lengths by first code, as the unit reads them.
int requestLength(const QByteArray &wire, int at)
{
    const auto code = quint8(wire.at(at));
    if (code <= 19 || (code >= 24 && code <= 27) || code == 30 || code == 31 || code == 34)
        return 1;
    if (code <= 23)
        return 5;
    if (code == 28 || code == 29)
        return 2;
    if (code == 32)
        return 4;
    if (code == 33)
        return 4 + 25 * 8;
    return -1;
}

// The transcript cut into whole requests, with the codes that travel together glued back: the
// four codes of a measurement stage and the two relay reads. Empty if anything does not parse.
QStringList requests(const QByteArray &wire)
{
    QStringList out;
    for (int at = 0; at < wire.size();) {
        const int length = requestLength(wire, at);
        if (length < 0 || at + length > wire.size())
            return {QStringLiteral("broken at %1").arg(at)};
        const auto code = quint8(wire.at(at));
        int glued = length;
        if (code <= 19 && code % 4 == 0)
            glued = 4;
        if (code == 30)
            glued = 2;
        out.append(QString::fromLatin1(wire.mid(at, glued).toHex()));
        at += glued;
    }
    return out;
}

// Groups that may appear: the stages must be whole and in order, each table block whole.
bool wellFormed(const QStringList &groups)
{
    static const QStringList stages = {"00010203", "04050607", "08090a0b", "0c0d0e0f", "10111213"};
    for (int i = 0; i < groups.size(); ++i) {
        const QString &g = groups.at(i);
        const int stage = stages.indexOf(g);
        if (stage > 0 && (i == 0 || groups.at(i - 1) != stages.at(stage - 1)))
            return false;
        if (g.startsWith(QLatin1String("broken")))
            return false;
        if (g.size() == 2 && g.toInt(nullptr, 16) <= 19)
            return false; // a lone measurement code
    }
    return true;
}

} // namespace

class FaultMatrixTest : public QObject, WindowOnUnit
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void matrix_data();
    void matrix();

private:
    QWidget *page() const { return tabs()->widget(2); } // "Channel2", channel index 1
    QTabWidget *tabs() const { return window->findChild<QTabWidget *>("tabWidget"); }
    QStringList shownReadings() const;
    QStringList shownCalibration() const;
    QStringList forceReadings(quint32 base);
};

void FaultMatrixTest::init()
{
    QVERIFY(startWindowOnUnit());
}

void FaultMatrixTest::cleanup()
{
    stopWindowOnUnit();
}

QStringList FaultMatrixTest::shownReadings() const
{
    QStringList texts;
    auto *table = window->findChild<QTableWidget *>("twData");
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c)
            texts.append(table->item(r, c)->text());
    return texts;
}

QStringList FaultMatrixTest::shownCalibration() const
{
    QStringList texts {page()->findChild<QLineEdit *>("leGain")->text()};
    auto *table = page()->findChild<QTableWidget *>("twTempTable");
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < 2; ++c)
            texts.append(qobject_cast<QLineEdit *>(table->cellWidget(r, c))->text());
    return texts;
}

// Makes the unit report values from `base` on; returns the table's texts for them.
QStringList FaultMatrixTest::forceReadings(quint32 base)
{
    ChannelData records[4];
    for (int q = 0; q < 5; ++q) {
        QByteArray reply(16, 0);
        for (int channel = 0; channel < 4; ++channel) {
            const quint32 raw = base + 0x10000u * q + 0x100u * channel;
            unit->withFirmware([&](Firmware &f) { f.forceRaw(channel, q, raw); });
            qToLittleEndian(raw, reply.data() + 4 * channel);
        }
        storeQuantity(records, q, reply);
    }
    QStringList texts;
    for (int q = 0; q < 5; ++q)
        for (const ChannelData &record : records)
            texts.append(readingText(record, q));
    return texts;
}

void FaultMatrixTest::matrix_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("fault");
    for (int op = GetAllData; op <= LoggingTick; ++op)
        for (int fault = Silent; fault <= Unplugged; ++fault)
            QTest::addRow("%s, %s", operationNames[op], faultNames[fault]) << op << fault;
}

void FaultMatrixTest::matrix()
{
    QFETCH(int, operation);
    QFETCH(int, fault);
    const auto op = Operation(operation);
    ModalAnswerer answerer; // a search after the unplug may find nothing and say so
    QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    // What the window shows before: a complete reading of one set of values and a page whose
    // gain and table were typed by hand.
    const QStringList readingsBefore = forceReadings(0x3f800000u);
    press(tabs()->widget(0), "pbGetData");
    qobject_cast<calibrationWidget *>(page())->setGain(2.5f);
    for (int row = 0; row < 100; ++row)
        qobject_cast<calibrationWidget *>(page())->setTableRow(row, 1000.0f + row, 300.0f - row);
    QCOMPARE(shownReadings(), readingsBefore);
    const QStringList calibrationBefore = shownCalibration();
    const QStringList readingsTrue = forceReadings(0x40000000u); // the unit's from now on

    // The logger, wired as the "LOGGER" button wires it, logging into a fresh file.
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("log.txt"));
    Logger logger(window->channelData(), window);
    connect(&logger, SIGNAL(updateData()), window, SLOT(GetData()));
    connect(window, &Dialog::updatedData, &logger, &Logger::dataUpdated);
    if (op == LoggingTick) {
        logger.findChild<QLineEdit *>("leFileName")->setText(log);
        press(&logger, "pbStart");
    }

    Misbehaviour m = ::fault(faultModes[fault], -1, -1, fault == Late ? 300 : 30);
    m.pieces = {3, 5};
    m.surplusBytes = fault == Short ? -3 : 7;
    unit->setMisbehaviour(m);

    // A logger tick in the middle; and for the unplug, the cable pulled 30 ms in.
    QTimer::singleShot(20, window, SLOT(GetData()));
    std::thread puller;
    if (fault == Unplugged)
        puller = std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            unit->hangUp();
        });

    // The operation, as the operator starts it: a button on its page, or the logger's tick.
    QWidget *const onPage[] = {tabs()->widget(0), window, window, page(), page(), page()};
    const char *const buttons[]
        = {"pbGetData", "cbRelay1", "cbRelay2", "pbGetData", "pbSetData", "pbWriteEeprom"};
    if (op == LoggingTick)
        QMetaObject::invokeMethod(window->findChild<Logger *>(), "updateData");
    else
        press(onPage[op], buttons[op]);

    if (puller.joinable())
        puller.join();
    QTest::qWait(50);
    const QStringList readingsAfter = shownReadings();
    const QStringList calibrationAfter = shownCalibration();
    if (op == LoggingTick)
        press(&logger, "pbStart"); // stop, so that the check below adds no row

    // The unit behaves again (plugged back in, on a new port): the next operations just work.
    unit->setMisbehaviour(Misbehaviour());
    if (fault == Unplugged)
        QVERIFY(unit->replug());
    QTest::qWait(50);
    QSignalSpy updated(window, &Dialog::updatedData);
    press(tabs()->widget(0), "pbGetData");
    if (updated.isEmpty()) // the first try may only have noticed the unplug
        press(tabs()->widget(0), "pbGetData");
    QCOMPARE(updated.count(), 1);
    QCOMPARE(shownReadings(), readingsTrue);

    const QByteArray wire = unit->received();
    qInstallMessageHandler(previous);

    QVERIFY2(readingsAfter == readingsBefore || readingsAfter == readingsTrue,
             qPrintable(readingsAfter.join(' ')));
    if (op == CalGetData) {
        press(page(), "pbGetData");
        const QStringList calibrationTrue = shownCalibration();
        QVERIFY(calibrationTrue != calibrationBefore);
        QVERIFY2(calibrationAfter == calibrationBefore || calibrationAfter == calibrationTrue,
                 qPrintable(calibrationAfter.mid(0, 5).join(' ')));
    } else {
        QCOMPARE(calibrationAfter, calibrationBefore);
    }
    const bool tolerable = fault == Split || fault == LineRate;
    if (tolerable && op == GetAllData)
        QCOMPARE(readingsAfter, readingsTrue);
    if (op == LoggingTick) {
        // A header, then whole rows carrying the unit's true values: at most one for the tick
        // and one for the test's own tick, when that came after the first had finished.
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.endsWith("\r\n"));
        const QList<QByteArray> lines = text.trimmed().split('\n');
        QVERIFY(lines.size() <= 3);
        for (int line = 1; line < lines.size(); ++line) {
            const QList<QByteArray> fields = lines.at(line).trimmed().split('\t');
            QCOMPARE(fields.size(), 13);
            for (int channel = 0; channel < 4; ++channel) {
                const int quantities[] = {1, 3, 4};
                for (int k = 0; k < 3; ++k)
                    QCOMPARE(QString::fromLatin1(fields.at(1 + 3 * channel + k)),
                             readingsTrue.at(4 * quantities[k] + channel));
            }
        }
        if (fault == Split || fault == LineRate)
            QVERIFY(lines.size() >= 2);
    }
    if (fault == Unplugged)
        return;
    const QStringList groups = requests(wire);
    QVERIFY2(wellFormed(groups), qPrintable(groups.join(' ')));
    if (op == CalSetData) {
        unit->withFirmware([](Firmware &f) {
            QCOMPARE(f.gain(1), 2.5f);
            QCOMPARE(f.tableRow(1, 99).second, 201.0f);
        });
    }
    if (op == Relay1)
        unit->withFirmware([](Firmware &f) { QVERIFY(f.relay(1)); });
}

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
