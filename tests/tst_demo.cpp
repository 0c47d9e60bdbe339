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

    const auto taken = [](const char *name, const QStringList &arguments, int units,
                          const QString &eeprom, const QString &port, bool help) {
        QTest::newRow(name) << arguments << units << eeprom << port << help << QString();
    };
    taken("defaults", {}, 1, "", "", false);
    taken("three units", {"--units", "3"}, 3, "", "", false);
    taken("eeprom file", {"--eeprom", "/tmp/e.bin"}, 1, "/tmp/e.bin", "", false);
    taken("port", {"--port", "/dev/ttyUSB0"}, 1, "", "/dev/ttyUSB0", false);
    taken("help", {"--help"}, 1, "", "", true);
    const auto refused = [](const char *name, const QStringList &arguments, const char *word) {
        QTest::newRow(name) << arguments << 1 << QString() << QString() << false << QString(word);
    };
    refused("units not a number", {"--units", "two"}, "--units");
    refused("no units", {"--units", "0"}, "1 to");
    refused("too many units", {"--units", "99"}, "1 to");
    refused("value missing", {"--eeprom"}, "Missing value");
    refused("unknown option", {"--fast"}, "Unknown option");
    refused("port with units", {"--port", "/dev/x", "--units", "2"}, "--port");
    refused("port with an EEPROM file", {"--port", "/dev/x", "--eeprom", "/tmp/e.bin"}, "--port");
    refused("empty EEPROM file name", {"--eeprom="}, "needs a value");
}

void DemoTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, units);
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
    QTEST(options.eepromFile, "eeprom");
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

// Two units bring the chooser, and the operator tells them apart by what they read.
void DemoTest::twoUnitsBringTheChooser()
{
    DemoUnits units;
    QString error;
    QVERIFY(units.start(parseDemoOptions({"quadmeter-demo", "--units", "2"}), &error));
    QCOMPARE(units.portPaths().size(), 2);
    QList<double> kelvin; // Channel1's temperature
    for (int chosen = 0; chosen < 2; ++chosen) {
        Dialog w;
        w.setPortLister(units.lister());
        QStringList offered;
        ModalAnswerer answerer;
        answerer.setAnswer([&](QWidget *modal) {
            auto *box = modal->findChild<QComboBox *>("cbPortName");
            for (int i = 0; box && i < box->count(); ++i)
                offered.append(box->itemText(i));
            if (box)
                box->setCurrentIndex(chosen);
            qobject_cast<QDialog *>(modal)->accept();
        });
        QSignalSpy updated(&w, &Dialog::updatedData);

        getAllData(w);

        QCOMPARE(answerer.seen.first().className, QStringLiteral("ComPortDialog"));
        QCOMPARE(offered, units.portPaths());
        QCOMPARE(updated.count(), 1);
        kelvin.append(w.findChild<QTableWidget *>("twData")->item(4, 0)->text().toDouble());
    }
    QVERIFY2(qAbs(kelvin[1] - kelvin[0]) > 5, qPrintable(QString::number(kelvin[0])));
}

QTEST_MAIN(DemoTest)
#include "tst_demo.moc"
