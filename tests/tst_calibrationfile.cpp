// The calibration file read back line by line, and what may go to the unit, from values alone.
#include "calibration/calibrationcheck.h"
#include "calibration/calibrationfile.h"

#include <QtTest>

#include <cmath>

namespace {

// A whole calibration of a falling sensor: gain 1.5, row k 100 + k ohms at 300 - k kelvin.
Calibration falling()
{
    Calibration calibration {1.5f, {}};
    for (int row = 0; row < 100; ++row)
        calibration.rows.append({100.0f + row, 300.0f - row});
    return calibration;
}

} // namespace

class CalibrationFileTest : public QObject
{
    Q_OBJECT

private slots:
    void everyLineIsARowOrSaysWhy_data();
    void everyLineIsARowOrSaysWhy();
    void checkNamesTheFirstOffendingField_data();
    void checkNamesTheFirstOffendingField();
};

void CalibrationFileTest::everyLineIsARowOrSaysWhy_data()
{
    QTest::addColumn<QByteArray>("replacement"); // for line 59, row 57
    QTest::addColumn<QString>("problem");
    QTest::newRow("a word") << QByteArray("oops\t123")
                            << "line 59 (\"oops 123\") is not a row of two numbers";
    QTest::newRow("beyond a float") << QByteArray("1e39\t300")
                                    << "line 59 (\"1e39 300\") holds a number beyond the range "
                                       "of the unit's values";
    QTest::newRow("decimal comma") << QByteArray("1,5\t300")
                                   << "line 59 (\"1,5 300\") has a decimal comma; the file's "
                                      "numbers are written with a point";
    QTest::newRow("a second header") << QByteArray("Resistance (Ohm)\tTemperature (K)")
                                     << "line 59 (\"Resistance (Ohm) Temperature (K)\") is not "
                                        "a row of two numbers";
}

void CalibrationFileTest::everyLineIsARowOrSaysWhy()
{
    QFETCH(QByteArray, replacement);
    QFETCH(QString, problem);
    QList<QByteArray> lines = calibrationFileText(falling()).split('\n');
    lines[58] = replacement + '\r';
    const CalibrationFile file = readCalibrationFile(lines.join('\n'));
    QCOMPARE(file.problem, problem);
    QCOMPARE(readCalibrationFile(calibrationFileText(falling())).problem, QString());
}

void CalibrationFileTest::checkNamesTheFirstOffendingField_data()
{
    QTest::addColumn<int>("row"); // -1: the gain
    QTest::addColumn<int>("column");
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("problem");
    const float nan = std::nanf("");
    const float inf = INFINITY;
    const int impossible = CalibrationCheck::Impossible;
    const int outOfOrder = CalibrationCheck::OutOfOrder;
    QTest::newRow("gain nan") << -1 << 0 << nan << impossible
                              << "the gain is not a finite number (nan)";
    QTest::newRow("gain 0") << -1 << 0 << 0.0f << impossible << "the gain is not above zero (0)";
    QTest::newRow("gain -1") << -1 << 0 << -1.0f << impossible << "the gain is not above zero (-1)";
    QTest::newRow("resistance inf")
        << 2 << 0 << inf << impossible << "row 3, Resistance (Ohm), is not a finite number (inf)";
    QTest::newRow("temperature -5")
        << 56 << 1 << -5.0f << impossible << "row 57, Temperature (K), is not above zero (-5)";
    QTest::newRow("temperature back")
        << 56 << 1 << 246.0f << outOfOrder << "row 57, Temperature (K), goes back (246 after 245)";
    QTest::newRow("resistance back, close")
        << 56 << 0 << 154.99999f << outOfOrder
        << "row 57, Resistance (Ohm), goes back (154.999985 after 155)";
    QTest::newRow("resistance repeats") << 56 << 0 << 155.0f << outOfOrder
                                        << "row 57, Resistance (Ohm), repeats the row above (155)";
}

void CalibrationFileTest::checkNamesTheFirstOffendingField()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(float, value);
    QFETCH(int, verdict);
    QFETCH(QString, problem);
    Calibration calibration = falling();
    QCOMPARE(checkCalibration(calibration).verdict, CalibrationCheck::Possible);
    if (row < 0)
        calibration.gain = value;
    else
        (column == 0 ? calibration.rows[row].resistance : calibration.rows[row].temperature)
            = value;
    const CalibrationCheck check = checkCalibration(calibration);
    QCOMPARE(int(check.verdict), verdict);
    QCOMPARE(check.problem, problem);
}

QTEST_GUILESS_MAIN(CalibrationFileTest)
#include "tst_calibrationfile.moc"
