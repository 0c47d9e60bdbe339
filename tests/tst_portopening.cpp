// Finding, choosing and opening the unit, as the operator meets it through the main window.
#include "app/comportdialog.h"
#include "app/dialog.h"
#include "tests/support/debugrecorder.h"
#include "tests/support/modalboxes.h"
#include "tests/support/simunit.h"
#include "unit/unit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QList<PortEntry>)

namespace {

const QString NoUnitText = QStringLiteral("There is no any connected devices");
const QString RefusedText
    = QStringLiteral("You must choose real COM port name!!!\r\nApplication will be closed!!!");

// Ports that are not the unit: another USB serial adapter and a port without USB identifiers.
QList<PortEntry> strangers()
{
    return {{"/dev/null", true, 1027, 24577, {}}, {"/dev/zero", false, 1155, 22336, {}}};
}

// Any operation that talks to the unit; the relay switch is the smallest.
void operate(Dialog &w, bool relayOn = true)
{
    auto *box = w.findChild<QCheckBox *>("cbRelay1");
    box->setChecked(!relayOn);
    box->click();
}

} // namespace

class PortOpeningTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oneUnitOpensWithoutAsking();
    void chooserOpensTheChosenUnit_data();
    void chooserOpensTheChosenUnit();
    void refusedChoiceEndsTheApplication_data();
    void refusedChoiceEndsTheApplication();
    void failedOpeningToldOnEveryOperation_data();
    void failedOpeningToldOnEveryOperation();
    void nestedCallOpensWhileChooserWaits();
    void vanishedUnitIsFoundAgain_data();
    void vanishedUnitIsFoundAgain();
    void chooserAppendsOnEveryRunAndCannotGrow();

private:
    // Two units on the system; a case lists those it needs.
    std::unique_ptr<PtyHost> first;
    std::unique_ptr<PtyHost> second;
};

void PortOpeningTest::init()
{
    first = std::make_unique<PtyHost>();
    second = std::make_unique<PtyHost>();
    QVERIFY(first->start() && second->start());
}

void PortOpeningTest::cleanup()
{
    first.reset();
    second.reset();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void PortOpeningTest::oneUnitOpensWithoutAsking()
{
    ModalAnswerer answerer;
    int listed = 0; // how often the window asks for the system's ports
    Dialog w;
    w.setPortLister([&] {
        ++listed;
        return unitsLister({first.get()}, strangers())();
    });
    DebugRecorder recorder;

    operate(w, true);
    QCOMPARE(DebugRecorder::lines, QStringList {first->portPath()});
    QTRY_COMPARE(first->received().toHex(), QByteArray("1c01"));

    auto *port = w.findChild<QSerialPort *>();
    QVERIFY(port && port->isOpen());
    QCOMPARE(port->parent()->parent(), &w); // the unit's port lives and dies with the window
    QCOMPARE(port->openMode(), QIODevice::ReadWrite);
    QCOMPARE(port->baudRate(QSerialPort::Input), 500000);
    QCOMPARE(port->baudRate(QSerialPort::Output), 500000);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);

    // Once open, the port is simply used: no search, no trace.
    first->clearReceived();
    DebugRecorder::lines.clear();
    operate(w, false);
    QTRY_COMPARE(first->received().toHex(), QByteArray("1c00"));
    QCOMPARE(listed, 1);
    QVERIFY(DebugRecorder::lines.isEmpty());
    QVERIFY(answerer.seen.isEmpty());
    QCOMPARE(w.findChildren<QSerialPort *>().size(), 1);
}

void PortOpeningTest::chooserOpensTheChosenUnit_data()
{
    QTest::addColumn<int>("pick");
    QTest::newRow("OK with the first left selected") << -1;
    QTest::newRow("second selected") << 1;
}

void PortOpeningTest::chooserOpensTheChosenUnit()
{
    QFETCH(int, pick);
    ModalAnswerer answerer;
    QStringList offered;
    int preselected = -2;
    answerer.setAnswer([&](QWidget *modal) {
        auto *combo = modal->findChild<QComboBox *>("cbPortName");
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (!combo || !dialog)
            return ModalAnswerer::pressFirstButton(modal);
        for (int i = 0; i < combo->count(); ++i)
            offered.append(combo->itemText(i));
        preselected = combo->currentIndex();
        if (pick >= 0)
            combo->setCurrentIndex(pick);
        dialog->accept();
    });
    Dialog w;
    w.setPortLister(unitsLister({first.get(), second.get()}, strangers()));
    DebugRecorder recorder;

    operate(w, true);

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].className, QStringLiteral("ComPortDialog"));
    QVERIFY(!answerer.seen[0].hasParent);
    QCOMPARE(offered, (QStringList {first->portPath(), second->portPath()}));
    QCOMPARE(preselected, 0);
    QCOMPARE(DebugRecorder::lines, (QStringList {first->portPath(), second->portPath()}));
    PtyHost &chosen = pick == 1 ? *second : *first;
    PtyHost &other = pick == 1 ? *first : *second;
    QTRY_COMPARE(chosen.received().toHex(), QByteArray("1c01"));
    QTest::qWait(20);
    QVERIFY(other.received().isEmpty());
}

void PortOpeningTest::refusedChoiceEndsTheApplication_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("window closed") << 2;
}

void PortOpeningTest::refusedChoiceEndsTheApplication()
{
    QFETCH(int, way);
    ModalAnswerer answerer;
    answerer.setAnswer([way](QWidget *modal) {
        if (qobject_cast<QMessageBox *>(modal))
            return ModalAnswerer::pressFirstButton(modal);
        if (way == 0)
            modal->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        else if (way == 1)
            QTest::keyClick(modal, Qt::Key_Escape);
        else
            modal->close();
    });
    Dialog w;
    w.setPortLister(unitsLister({first.get(), second.get()}));
    w.show();

    // The operation runs inside the application's own loop, as from main(), and ends it.
    QTimer stop; // or, failing that, this does
    stop.setSingleShot(true);
    connect(&stop, &QTimer::timeout, qApp, [] { qApp->exit(99); });
    stop.start(5000);
    QTimer::singleShot(0, qApp, [&w] { operate(w); });
    QCOMPARE(qApp->exec(), 1);

    QCOMPARE(answerer.seen.size(), 2);
    const auto &box = answerer.seen[1];
    QCOMPARE(box.className, QStringLiteral("QMessageBox"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("Warning"));
    QCOMPARE(box.text, RefusedText);
    QCOMPARE(box.buttonCount, 1);
    QVERIFY(!box.hasParent);
    QVERIFY(!w.findChild<QSerialPort *>()->isOpen());
    QVERIFY(first->received().isEmpty());
    QVERIFY(second->received().isEmpty());
}

void PortOpeningTest::failedOpeningToldOnEveryOperation_data()
{
    QTest::addColumn<QList<PortEntry>>("ports"); // listed until the unit is plugged in
    QTest::addColumn<int>("held"); // the unit listed, but its port held: 1 elsewhere, 2 by the tool
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString cannotOpen = QStringLiteral("Can't open device");
    QTest::newRow("no serial ports") << QList<PortEntry>() << 0 << "Fatal Error" << NoUnitText;
    QTest::newRow("only other devices") << strangers() << 0 << "Fatal Error" << NoUnitText;
    QTest::newRow("name that leads nowhere")
        << QList<PortEntry> {{"/dev/quadmeter-nowhere", true, 1155, 22336, {}}} << 0
        << "Fatal error" << cannotOpen;
    QTest::newRow("held by another program")
        << QList<PortEntry>() << 1 << "Fatal error" << cannotOpen;
    QTest::newRow("held by the tool through a link")
        << QList<PortEntry>() << 2 << "Fatal error" << cannotOpen;
}

void PortOpeningTest::failedOpeningToldOnEveryOperation()
{
    QFETCH(QList<PortEntry>, ports);
    QFETCH(int, held);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QSerialPort holder;
    Unit tool;
    QTemporaryDir dir;
    const QString link = dir.filePath("unit");
    const QString device = first->portPath().mid(int(strlen("/dev/")));
    QString holderText;
    if (held == 1) {
        QVERIFY(openUnitPort(holder, *first));
        holderText = device + " is in use by another program";
    } else if (held == 2) {
        QVERIFY(QFile::link(first->portPath(), link) && tool.open(link));
        holderText = QStringLiteral("%1 is in use by %2 (process %3)")
                         .arg(device, QCoreApplication::applicationName())
                         .arg(QCoreApplication::applicationPid());
    }
    bool plugged = held != 0;
    ModalAnswerer answerer;
    Dialog w;
    w.setPortLister([&] { return plugged ? unitsLister({first.get()}, strangers())() : ports; });
    DebugRecorder recorder;

    operate(w);
    operate(w);
    QCOMPARE(answerer.seen.size(), 2);
    for (const auto &box : qAsConst(answerer.seen)) {
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, title);
        QCOMPARE(box.text, text);
        QCOMPARE(box.buttonCount, 1);
        QVERIFY(!box.hasParent);
        if (held != 0)
            QCOMPARE(box.informativeText, holderText);
    }
    QCOMPARE(answerer.mostMessageBoxesAtOnce, 1);
    auto *port = w.findChild<QSerialPort *>();
    QVERIFY(!port->isOpen());
    if (text == NoUnitText)
        QVERIFY(DebugRecorder::lines.isEmpty());
    else
        QCOMPARE(port->baudRate(), 500000);

    // Plugged in, or let go, later: the next operation finds it, no restart needed.
    holder.close();
    tool.close();
    plugged = true;
    operate(w);
    QTRY_COMPARE(first->received().toHex(), QByteArray("1c01"));
    QCOMPARE(answerer.seen.size(), 2);
}

// While the chooser waits for the operator, a second operation opens the port; the waiting one
// must then use that port rather than fail to open it a second time.
void PortOpeningTest::nestedCallOpensWhileChooserWaits()
{
    ModalAnswerer answerer;
    answerer.setDelay(100);
    int choosers = 0;
    answerer.setAnswer([&choosers](QWidget *modal) {
        if (auto *combo = modal->findChild<QComboBox *>("cbPortName")) {
            // The nested chooser is answered first and takes the first unit.
            combo->setCurrentIndex(choosers++ == 0 ? 0 : 1);
            qobject_cast<QDialog *>(modal)->accept();
        } else {
            ModalAnswerer::pressFirstButton(modal);
        }
    });
    Dialog w;
    w.setPortLister(unitsLister({first.get(), second.get()}));
    QTimer::singleShot(30, &w, [&w] { w.findChild<QCheckBox *>("cbRelay2")->click(); });

    operate(w, true);

    // Two choices made, and no box: in particular no "Can't open device" for the waiting call.
    QCOMPARE(choosers, 2);
    for (const auto &seen : qAsConst(answerer.seen))
        QCOMPARE(seen.className, QStringLiteral("ComPortDialog"));
    QTRY_COMPARE(first->received().toHex(), QByteArray("1d011c01"));
    QVERIFY(second->received().isEmpty());
    QVERIFY(w.findChild<QSerialPort *>()->isOpen());
}

void PortOpeningTest::vanishedUnitIsFoundAgain_data()
{
    QTest::addColumn<bool>("noticedByWrite");
    QTest::newRow("noticed while idle") << false;
    QTest::newRow("noticed by the next request") << true;
}

void PortOpeningTest::vanishedUnitIsFoundAgain()
{
    QFETCH(bool, noticedByWrite);
    ModalAnswerer answerer;
    Dialog w;
    w.setPortLister(unitsLister({first.get()}));
    operate(w);
    QTRY_COMPARE(first->received().toHex(), QByteArray("1c01"));
    auto *port = w.findChild<QSerialPort *>();
    int errors = 0;
    connect(port, &QSerialPort::errorOccurred, this,
            [&errors](QSerialPort::SerialPortError e) { errors += e != QSerialPort::NoError; });
    DebugRecorder recorder;

    first->hangUp();
    if (noticedByWrite)
        operate(w, false);
    QTRY_VERIFY(!port->isOpen());
    QTest::qWait(100);
    QCOMPARE(DebugRecorder::lines.size(), 1);
    QVERIFY(DebugRecorder::lines[0].startsWith(QStringLiteral("Device went away")));
    // A hung-up line fails every read at once; it must not keep the window busy.
    QVERIFY2(errors < 100, qPrintable(QString::number(errors)));

    // Still unplugged: the operator is told, as at any search that finds nothing.
    operate(w);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Fatal Error"));

    // Back on a new port name: the next operation finds and opens it.
    QVERIFY(first->replug());
    first->clearReceived();
    DebugRecorder::lines.clear();
    operate(w, true);
    QCOMPARE(DebugRecorder::lines, QStringList {first->portPath()});
    QTRY_COMPARE(first->received().toHex(), QByteArray("1c01"));
    QVERIFY(port->isOpen());
    QCOMPARE(w.findChildren<QSerialPort *>().size(), 1);
}

void PortOpeningTest::chooserAppendsOnEveryRunAndCannotGrow()
{
    ComPortDialog dialog;
    dialog.setPortNames({"COM5", "COM3"});
    QSize before;
    QSize after;
    for (int run = 0; run < 2; ++run) {
        QTimer::singleShot(0, &dialog, [&] {
            before = dialog.size();
            dialog.resize(400, 300);
            after = dialog.size();
            dialog.accept();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }
    QCOMPARE(after, before);
    QCOMPARE(dialog.selectedPortName(), QStringLiteral("COM5"));
    auto *combo = dialog.findChild<QComboBox *>("cbPortName");
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown.append(combo->itemText(i));
    QCOMPARE(shown, (QStringList {"COM5", "COM3", "COM5", "COM3"}));
}

QTEST_MAIN(PortOpeningTest)
#include "tst_portopening.moc"
