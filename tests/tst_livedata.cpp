// "Get All  Data" against the simulated unit: what goes on the wire, what the operator sees, what
// the logger is told, and how overlapping requests are kept apart.
#include "app/dialog.h"
#include "sim/firmware.h"
#include "tests/support/fault.h"
#include "tests/support/floatbits.h"
#include "tests/support/modalboxes.h"
#include "tests/support/windowonunit.h"
#include "tests/support/windowsystem.h"
#include "windows/calibrationwidget.h"
#include "windows/logger.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

namespace {

const char *const fullCycle = "00010203"
                              "04050607"
                              "08090a0b"
                              "0c0d0e0f"
                              "10111213"
                              "1e1f";

} // namespace

class LiveDataTest : public QObject, WindowOnUnit
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(startWindowOnUnit()); }
    void cleanup() { stopWindowOnUnit(); }

    void goodCyclesFillTableAndReadRelaysBack();
    void cellTexts_data();
    void cellTexts();
    void wrongReplyEndsCycle_data();
    void wrongReplyEndsCycle();
    void silentRelaysStillComplete();
    void unreachableUnitSendsNothing();
    void overlappingRequestsDoNotInterleave();
    void missingUnitShowsOneBoxAtATime();

private:
    QTableWidget *table() const { return window->findChild<QTableWidget *>("twData"); }
    QCheckBox *relay(int n) const
    {
        return window->findChild<QCheckBox *>(QStringLiteral("cbRelay%1").arg(n));
    }
};

// The boxes show the relays as the unit reports them, without switching anything: first relay 1
// on as the unit keeps it, then a scripted report of relay 2 alone unticks box 1.
void LiveDataTest::goodCyclesFillTableAndReadRelaysBack()
{
    unit->withFirmware([](Firmware &f) { f.feed(QByteArray::fromHex("1c01")); });
    QSignalSpy clicked(relay(1), &QCheckBox::clicked);
    QSignalSpy updated(window, &Dialog::updatedData);

    getAllData(*window);
    QVERIFY(relay(1)->isChecked());
    QVERIFY(!relay(2)->isChecked());
    unit->scriptReply(30, QByteArray::fromHex("0005"));
    getAllData(*window);

    QCOMPARE(updated.count(), 2);
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(unit->received().toHex(), QByteArray(fullCycle) + fullCycle);
    QVERIFY(!relay(1)->isChecked());
    QVERIFY(relay(2)->isChecked());

    // Every cell shows its own channel's reading of its own quantity.
    const ChannelData *records = window->channelData();
    for (int channel = 0; channel < 4; ++channel) {
        QCOMPARE(table()->item(0, channel)->text(), QString::number(records[channel].adcData, 16));
        QCOMPARE(table()->item(3, channel)->text(),
                 QString::number(records[channel].resistance, 'g', 6));
        QCOMPARE(table()->item(4, channel)->text(),
                 QString::number(records[channel].temperature, 'g', 6));
    }
    QVERIFY(records[0].resistance != records[1].resistance);
}

void LiveDataTest::cellTexts_data()
{
    QTest::addColumn<int>("quantity");
    QTest::addColumn<quint32>("bits");
    QTest::addColumn<QString>("text");
    QTest::newRow("adc zero") << 0 << 0u << "0";
    QTest::newRow("adc beef") << 0 << 0xBEEFu << "beef";
    QTest::newRow("adc all ones") << 0 << 0xFFFFFFFFu << "ffffffff";
    QTest::newRow("one volt") << 1 << bitsOf(1.0f) << "1";
    QTest::newRow("half a volt AC") << 2 << bitsOf(0.5f) << "0.5";
    QTest::newRow("room temperature") << 4 << bitsOf(293.15f) << "293.15";
    QTest::newRow("megohms") << 3 << bitsOf(1234567.0f) << "1.23457e+06";
    QTest::newRow("smallest fixed") << 3 << bitsOf(0.0001f) << "0.0001";
    QTest::newRow("exponent form") << 3 << bitsOf(0.00001f) << "1e-05";
}

void LiveDataTest::cellTexts()
{
    QFETCH(int, quantity);
    QFETCH(quint32, bits);
    QFETCH(QString, text);
    unit->withFirmware([&](Firmware &f) { f.forceRaw(2, quantity, bits); });

    getAllData(*window);

    QCOMPARE(table()->item(quantity, 2)->text(), text);
}

void LiveDataTest::wrongReplyEndsCycle_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("surplus");
    QTest::addColumn<bool>("good");
    QTest::newRow("current voltage silent") << 1 << int(Misbehaviour::Silent) << 0 << false;
    QTest::newRow("AC voltage 17 bytes") << 2 << int(Misbehaviour::Surplus) << 1 << false;
    QTest::newRow("resistance 15 bytes")
        << 3 << int(Misbehaviour::GarbageWrongLength) << -1 << false;
    QTest::newRow("resistance in two pieces") << 3 << int(Misbehaviour::Split) << 0 << true;
}

// A stage whose reply is not exactly 16 bytes ends the cycle: the records keep nothing of it, and
// neither the table nor the logger hears of it.
void LiveDataTest::wrongReplyEndsCycle()
{
    QFETCH(int, stage);
    QFETCH(int, mode);
    QFETCH(int, surplus);
    QFETCH(bool, good);

    getAllData(*window); // a first complete cycle
    const ChannelData before = window->channelData()[1];
    const QString shownBefore = table()->item(0, 1)->text();
    for (int q = 0; q < 5; ++q)
        unit->withFirmware([&](Firmware &f) { f.forceRaw(1, q, 0x40490fdbu + q); });
    unit->clearReceived();

    Misbehaviour m = fault(Misbehaviour::Mode(mode), 4 * stage, 1, 40);
    m.surplusBytes = surplus;
    m.pieces = {8};
    unit->setMisbehaviour(m);
    QSignalSpy updated(window, &Dialog::updatedData);
    if (!good)
        QTest::ignoreMessage(QtDebugMsg, "Error! Wrong data");
    QElapsedTimer clock;
    clock.start();

    getAllData(*window);

    const ChannelData after = window->channelData()[1];
    QCOMPARE(updated.count(), good ? 1 : 0);
    if (good) {
        QCOMPARE(unit->received().toHex(), QByteArray(fullCycle));
        return;
    }
    QCOMPARE(unit->received().size(), 4 * (stage + 1));
    QCOMPARE(table()->item(0, 1)->text(), shownBefore);
    if (mode == Misbehaviour::Silent)
        QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
    // Not even the stages that came whole are kept.
    QCOMPARE(after.adcData, before.adcData);
    QCOMPARE(after.acVoltage, before.acVoltage);
    QCOMPARE(after.temperature, before.temperature);
}

void LiveDataTest::silentRelaysStillComplete()
{
    unit->setMisbehaviour(fault(Misbehaviour::Silent, 30));
    relay(2)->setChecked(true);
    QSignalSpy updated(window, &Dialog::updatedData);
    QElapsedTimer clock;
    clock.start();

    getAllData(*window);

    QCOMPARE(updated.count(), 1);
    QVERIFY(clock.elapsed() >= 1000);
    QVERIFY(!relay(1)->isChecked());
    QVERIFY(relay(2)->isChecked());
    QVERIFY(table()->item(4, 0)->text() != QLatin1String("0"));
}

void LiveDataTest::unreachableUnitSendsNothing()
{
    window->setPortLister([] {
        return QList<PortEntry> {{"/dev/quadmeter-no-such-port", true, 1155, 22336, {}}};
    });
    ModalAnswerer answerer;
    QSignalSpy updated(window, &Dialog::updatedData);

    getAllData(*window);

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text, QStringLiteral("Can't open device"));
    QCOMPARE(updated.count(), 0);
    QVERIFY(unit->received().isEmpty());
}

// While a measurement stage waits, a logger tick and the operator's clicks on "Get All  Data" and
// "LOGGER" arrive. The tick is dropped; the clicks run after the reading, in the order they came,
// so no request of one operation lands between another's request and its reply, and the Logger
// opened that way logs its rows.
void LiveDataTest::overlappingRequestsDoNotInterleave()
{
    unit->setMisbehaviour(fault(Misbehaviour::Late, 8, 1, 120));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QTimer tick;
    tick.setSingleShot(true);
    connect(&tick, SIGNAL(timeout()), window, SLOT(GetData()));
    tick.start(40);
    QTimer::singleShot(60, window, [this] {
        queueClick(window->findChild<QWidget *>("tab")->findChild<QPushButton *>("pbGetData"));
        queueClick(window->findChild<QPushButton *>("pbLogger"));
    });
    // The Logger, once open, logs every second for a while and is closed again.
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("log.txt"));
    bool closed = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        auto *logger = window->findChild<Logger *>();
        if (!logger || !logger->isVisible() || logger->property("started").toBool())
            return;
        logger->setProperty("started", true);
        logger->findChild<QLineEdit *>("leFileName")->setText(log);
        logger->findChild<QPushButton *>("pbStart")->click();
        QTimer::singleShot(2500, logger, [logger, &closed] {
            logger->findChild<QPushButton *>("pbStart")->click();
            logger->close();
            closed = true;
        });
    });
    watch.start(20);
    QSignalSpy updated(window, &Dialog::updatedData);

    getAllData(*window);
    QTRY_VERIFY_WITH_TIMEOUT(closed, 8000);

    QVERIFY(unit->received().toHex().startsWith(QByteArray(fullCycle) + fullCycle));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY2(lines.size() >= 1 + 2 + 1, qPrintable(QString::number(lines.size())));
    QCOMPARE(updated.count(), 2 + lines.size() - 2);
}

// Ticks keep coming while the "Fatal Error" box waits for the operator; they must not pile up
// boxes on the screen.
void LiveDataTest::missingUnitShowsOneBoxAtATime()
{
    window->setPortLister([] { return QList<PortEntry>(); });
    ModalAnswerer answerer;
    answerer.setDelay(600);
    QTimer ticks;
    connect(&ticks, SIGNAL(timeout()), window, SLOT(GetData()));
    ticks.start(100);

    QTRY_VERIFY_WITH_TIMEOUT(answerer.seen.size() >= 2, 5000);
    ticks.stop();
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(answerer.mostMessageBoxesAtOnce, 1);
    QCOMPARE(answerer.seen.first().title, QStringLiteral("Fatal Error"));
}

QTEST_MAIN(LiveDataTest)
#include "tst_livedata.moc"
