// The demo's command line, and the demo's units as the main window sees them.
#include "app/dialog.h"
#include "demo/demooptions.h"
#include "sim/ptyhost.h"
#include "tests/support/modalboxes.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

class DemoTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void portOptionTalksToThatDevice();
    void twoUnitsBringTheChooser();
    void unitsReadDifferently();

private:
    static void getAllData(Dialog &w)
    {
        w.findChild<QWidget *>("tab")->findChild<QPushButton *>("pbGetData")->click();
    }
};

void DemoTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("eeprom");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("help");
    QTest::addColumn<QString>("error"); // a word the error must contain; empty: no error

    QTest::newRow("defaults") << QStringList{} << 1 << "" << "" << false << "";
    QTest::newRow("three units") << QStringList{"--units", "3"} << 3 << "" << "" << false << "";
    QTest::newRow("eeprom file") << QStringList{"--eeprom", "/tmp/e.bin"} << 1 << "/tmp/e.bin"
                                 << "" << false << "";
    QTest::newRow("port") << QStringList{"--port", "/dev/ttyUSB0"} << 1 << "" << "/dev/ttyUSB0"
                          << false << "";
    QTest::newRow("help") << QStringList{"--help"} << 1 << "" << "" << true << "";
    QTest::newRow("units not a number") << QStringList{"--units", "two"} << 1 << "" << ""
                                        << false << "--units";
    QTest::newRow("no units") << QStringList{"--units", "0"} << 1 << "" << "" << false << "1 to";
    QTest::newRow("too many units") << QStringList{"--units", "99"} << 1 << "" << "" << false
                                    << "1 to";
    QTest::newRow("value missing") << QStringList{"--eeprom"} << 1 << "" << "" << false
                                   << "Missing value";
    QTest::newRow("unknown option") << QStringList{"--fast"} << 1 << "" << "" << false
                                    << "Unknown option";
    QTest::newRow("port with units") << QStringList{"--port", "/dev/x", "--units", "2"} << 2 << ""
                                     << "/dev/x" << false << "--port";
}

void DemoTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, units);
    QFETCH(QString, eeprom);
    QFETCH(QString, port);
    QFETCH(bool, help);
    QFETCH(QString, error);

    arguments.prepend(QStringLiteral("quadmeter-demo"));
    const DemoOptions options = parseDemoOptions(arguments);
    if (!error.isEmpty()) {
        QVERIFY2(options.error.contains(error), qPrintable(options.error));
        return;
    }
    QVERIFY2(options.error.isEmpty(), qPrintable(options.error));
    QCOMPARE(options.units, units);
    QCOMPARE(options.eepromFile, eeprom);
    QCOMPARE(options.port, port);
    QCOMPARE(options.help, help);
}

// --port hands an existing device to the tool as the one attached unit.
void DemoTest::portOptionTalksToThatDevice()
{
    PtyHost unit;
    QVERIFY(unit.start());
    DemoUnits units;
    QString error;
    QVERIFY(units.start(parseDemoOptions({"quadmeter-demo", "--port", unit.portPath()}), &error));
    Dialog w;
    w.setPortLister(units.lister());
    QSignalSpy updated(&w, &Dialog::updatedData);

    getAllData(w);

    QCOMPARE(updated.count(), 1);
    QCOMPARE(unit.received().left(4).toHex(), QByteArray("00010203"));
}

void DemoTest::twoUnitsBringTheChooser()
{
    DemoUnits units;
    QString error;
    QVERIFY(units.start(parseDemoOptions({"quadmeter-demo", "--units", "2"}), &error));
    QCOMPARE(units.portPaths().size(), 2);
    Dialog w;
    w.setPortLister(units.lister());
    QStringList offered;
    ModalAnswerer answerer;
    answerer.setAnswer([&](QWidget *modal) {
        auto *box = modal->findChild<QComboBox *>("cbPortName");
        for (int i = 0; box && i < box->count(); ++i)
            offered.append(box->itemText(i));
        qobject_cast<QDialog *>(modal)->accept();
    });
    QSignalSpy updated(&w, &Dialog::updatedData);

    getAllData(w);

    QCOMPARE(answerer.seen.first().className, QStringLiteral("ComPortDialog"));
    QCOMPARE(offered, units.portPaths());
    QCOMPARE(updated.count(), 1);
}

// The operator tells the simulated units apart by what they read.
void DemoTest::unitsReadDifferently()
{
    DemoUnits units;
    QString error;
    QVERIFY(units.start(parseDemoOptions({"quadmeter-demo", "--units", "2"}), &error));
    QList<double> kelvin; // Channel1's temperature
    for (int chosen = 0; chosen < 2; ++chosen) {
        Dialog w;
        w.setPortLister(units.lister());
        ModalAnswerer answerer;
        answerer.setAnswer([chosen](QWidget *modal) {
            modal->findChild<QComboBox *>("cbPortName")->setCurrentIndex(chosen);
            qobject_cast<QDialog *>(modal)->accept();
        });
        getAllData(w);
        kelvin.append(w.findChild<QTableWidget *>("twData")->item(4, 0)->text().toDouble());
    }
    QVERIFY2(qAbs(kelvin[1] - kelvin[0]) > 5, qPrintable(QString::number(kelvin[0])));
}

QTEST_MAIN(DemoTest)
#include "tst_demo.moc"
