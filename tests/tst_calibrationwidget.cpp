// A calibration page as the main window's slots use it: values in, text shown, values out.
#include "calibration/standardtable.h"
#include "tests/support/floatbits.h"
#include "tests/support/modalboxes.h"
#include "windows/calibrationwidget.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

class CalibrationWidgetTest : public QObject
{
    Q_OBJECT

private slots:
    void newPageReadsZero();
    void valuesShowSixSignificantDigits_data();
    void valuesShowSixSignificantDigits();
    void editorsRefuseWhatWouldReadAsZero_data();
    void editorsRefuseWhatWouldReadAsZero();
    void fileChooserCancelKeepsPath();
    void standardFillsTheRowsKeepsTheGain();
};

void CalibrationWidgetTest::newPageReadsZero()
{
    calibrationWidget page;
    QCOMPARE(page.gain(), 0.0f);
    for (int row : {0, 57, 99}) {
        QCOMPARE(page.tableRow(row).resistance, 0.0f);
        QCOMPARE(page.tableRow(row).temperature, 0.0f);
    }
    QVERIFY(page.fileName().endsWith(QLatin1String(".340")));
}

void CalibrationWidgetTest::valuesShowSixSignificantDigits_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("one") << 1.0f << "1";
    QTest::newRow("tenth") << 0.1f << "0.1";
    QTest::newRow("rounded to six digits") << 1234.5678f << "1234.57";
    QTest::newRow("large in exponent form") << 1234567.0f << "1.23457e+06";
    QTest::newRow("small in exponent form") << 0.00001f << "1e-05";
    QTest::newRow("negative") << -4.2f << "-4.2";
}

// The page reads back the exact value it was given, not the rounded text it shows.
void CalibrationWidgetTest::valuesShowSixSignificantDigits()
{
    QFETCH(float, value);
    QFETCH(QString, shown);
    calibrationWidget page;
    auto *table = page.findChild<QTableWidget *>("twTempTable");

    page.setGain(value);
    QCOMPARE(page.findChild<QLineEdit *>("leGain")->text(), shown);
    QCOMPARE(bitsOf(page.gain()), bitsOf(value)); // to the bit: QCOMPARE of floats is lenient

    page.setTableRow(42, value, 4.2f);
    QCOMPARE(qobject_cast<QLineEdit *>(table->cellWidget(42, 0))->text(), shown);
    QCOMPARE(qobject_cast<QLineEdit *>(table->cellWidget(42, 1))->text(), QStringLiteral("4.2"));
    QCOMPARE(bitsOf(page.tableRow(42).resistance), bitsOf(value));
    QCOMPARE(page.tableRow(42).temperature, 4.2f);
    QCOMPARE(page.tableRow(41).resistance, 0.0f);
}

void CalibrationWidgetTest::editorsRefuseWhatWouldReadAsZero_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<float>("gain");
    const auto row = [](const char *name, const QString &locale, const QString &typed, float gain) {
        QTest::newRow(name) << locale << typed << gain;
    };
    row("German comma", "de_DE", "1,5", 1.5f);
    row("French comma", "fr_FR", "2,25", 2.25f);
    row("German point", "de_DE", "1.5", 1.5f);
    row("English exponent", "en_US", "1.5e3", 1500.0f);
    row("English grouping", "en_US", "1,000", 1000.0f);
}

// Whatever the desktop's locale, what the operator types into a numeric field is what the page
// reads back: a decimal comma is the decimal point where the locale writes one, never a zero or a
// factor of ten for the unit.
void CalibrationWidgetTest::editorsRefuseWhatWouldReadAsZero()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(float, gain);
    const QLocale previous;
    QLocale::setDefault(QLocale(locale));
    {
        calibrationWidget page;
        page.show(); // the operator types into a page on screen
        auto *leGain = page.findChild<QLineEdit *>("leGain");
        QTest::keyClicks(leGain, typed);
        QCOMPARE(page.gain(), gain);
        QVERIFY(leGain->hasAcceptableInput());

        auto *cell = qobject_cast<QLineEdit *>(
            page.findChild<QTableWidget *>("twTempTable")->cellWidget(7, 1));
        QTest::keyClicks(cell, typed);
        QCOMPARE(page.tableRow(7).temperature, gain);
    }
    QLocale::setDefault(previous);
}

void CalibrationWidgetTest::fileChooserCancelKeepsPath()
{
    calibrationWidget page;
    page.show();
    const QString before = page.fileName();
    ModalAnswerer answerer;
    QTimer::singleShot(0, &page, [&] { page.findChild<QToolButton *>("tbLoadTable")->click(); });
    QTRY_VERIFY(!answerer.seen.isEmpty());
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(answerer.seen.first().title, QStringLiteral("OPen file..."));
    QCOMPARE(page.fileName(), before);
}

void CalibrationWidgetTest::standardFillsTheRowsKeepsTheGain()
{
    calibrationWidget page;
    page.setGain(2.5f);
    page.show();
    ModalAnswerer answerer;
    answerer.setAnswer([](QWidget *modal) {
        modal->findChild<QComboBox *>("cbSensor")->setCurrentIndex(1);
        modal->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    QTimer::singleShot(0, &page, [&] { page.findChild<QPushButton *>("pbStandard")->click(); });
    QTRY_VERIFY(!answerer.seen.isEmpty());
    QTRY_VERIFY(!QApplication::activeModalWidget());
    PlatinumCoefficients pt1000;
    pt1000.r0 = 1000;
    const QVector<TableEntry> rows = platinumTable(pt1000, 73.15, 500).value();
    for (int row = 0; row < 100; ++row) {
        QCOMPARE(bitsOf(page.tableRow(row).resistance), bitsOf(rows.at(row).resistance));
        QCOMPARE(bitsOf(page.tableRow(row).temperature), bitsOf(rows.at(row).temperature));
    }
    QCOMPARE(page.gain(), 2.5f);
}

QTEST_MAIN(CalibrationWidgetTest)
#include "tst_calibrationwidget.moc"
