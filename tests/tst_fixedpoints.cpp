// Calibration at the bench: the standard platinum table, fits and corrections through measured
// points, and what each refuses.
#include "calibration/fixedpoints.h"
#include "calibration/tableshape.h"
#include "calibration/tablesource.h"
#include "tests/support/floatbits.h"

#include <QtTest>

namespace {

FixedPoint pointAt(double kelvin, double ohms)
{
    FixedPoint p;
    p.kelvin = kelvin;
    p.ohms = ohms;
    p.readings = 10;
    p.time = QDateTime::currentDateTimeUtc();
    return p;
}

} // namespace

class FixedPointsTest : public QObject
{
    Q_OBJECT

private slots:
    void standardTable();
    void fits_data();
    void fits();
    void curveThroughTwoPoints();
    void refusals_data();
    void refusals();
};

// The published Pt100 values, and every row back to its own temperature through the equation.
void FixedPointsTest::standardTable()
{
    const PlatinumCoefficients pt100;
    const std::pair<double, double> published[]
        = {{-200, 18.5201}, {-100, 60.2558}, {0, 100.0}, {100, 138.5055}, {400, 247.0920}};
    for (const auto &[celsius, ohms] : published)
        QVERIFY2(std::abs(platinumResistance(pt100, celsius + 273.15) - ohms) < 0.005,
                 qPrintable(QString::number(celsius)));

    const Result<QVector<TableEntry>> table = platinumTable(pt100, 73.15, 500);
    QVERIFY(table);
    QCOMPARE(table->size(), 100);
    QCOMPARE(table->first().temperature, 73.15f);
    QCOMPARE(table->last().temperature, 500.0f);
    for (const TableEntry &row : *table)
        QVERIFY2(std::abs(platinumTemperature(pt100, row.resistance) - row.temperature) < 1e-3,
                 qPrintable(QString::number(row.temperature)));

    // Written as a curve file, it loads back to the same rows, for a Pt1000 over a span too.
    PlatinumCoefficients pt1000;
    pt1000.r0 = 1000;
    for (const auto &[pt, low, high] :
         {std::tuple {pt100, 73.15, 500.0}, std::tuple {pt1000, 90.0, 1123.15}}) {
        const QVector<TableEntry> rows = platinumTable(pt, low, high).value();
        const Result<QVector<CurvePoint>> read = readCurve(platinumCurveFile(pt, low, high));
        QVERIFY2(read, qPrintable(read.error()));
        const Result<CurveTable> resampled = resampleCurve(*read);
        QVERIFY2(resampled && resampled->turnsBack.isEmpty(),
                 qPrintable(resampled ? resampled->turnsBack : resampled.error()));
        const CurveTable &loaded = *resampled;
        QCOMPARE(loaded.rows.size(), rows.size());
        for (int k = 0; k < rows.size(); ++k)
            QVERIFY2(bitsOf(loaded.rows.at(k).resistance) == bitsOf(rows.at(k).resistance)
                         && bitsOf(loaded.rows.at(k).temperature) == bitsOf(rows.at(k).temperature),
                     qPrintable(QString::number(k)));
    }
}

// A sensor off the standard is recovered from as many points as it has coefficients off.
void FixedPointsTest::fits_data()
{
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<QVector<double>>("kelvins");
    const PlatinumCoefficients standard;
    QTest::newRow("R0 from the ice point") << standard.a << standard.b << QVector<double> {273.15};
    QTest::newRow("R0, A from nitrogen and steam")
        << 3.91e-3 << standard.b << QVector<double> {77.355, 373.15};
    QTest::newRow("R0, A, B from three points")
        << 3.91e-3 << -5.9e-7 << QVector<double> {420, 77.355, 273.16};
}

void FixedPointsTest::fits()
{
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(QVector<double>, kelvins);
    PlatinumCoefficients sensor;
    sensor.r0 = 100.12;
    sensor.a = a;
    sensor.b = b;
    QVector<FixedPoint> points;
    for (const double kelvin : kelvins)
        points.append(pointAt(kelvin, platinumResistance(sensor, kelvin)));

    const Result<Correction> corrected
        = correctPlatinum(PlatinumCoefficients(), 73.15, 500, points);
    QVERIFY2(corrected, qPrintable(corrected.error()));
    const Correction &c = *corrected;
    QVERIFY(c.fitted);
    QVERIFY(std::abs(c.fitted->r0 / sensor.r0 - 1) < 1e-6);
    QVERIFY(std::abs(c.fitted->a / sensor.a - 1) < 1e-6);
    QVERIFY(std::abs(c.fitted->b / sensor.b - 1) < 1e-6);
    for (int k = 0; k < c.points.size(); ++k)
        QVERIFY(std::abs(c.tableKelvin.at(k) - c.points.at(k).kelvin) < 1e-3);
}

// A cryogenic sensor's curve through a point above and one below it: the table passes through
// both and still runs one way.
void FixedPointsTest::curveThroughTwoPoints()
{
    const Result<CurveTable> read = curveTableFromFile(QUADMETER_TEST_DATA "/curves/X186275.340");
    QVERIFY2(read && read->turnsBack.isEmpty(), qPrintable(read ? read->turnsBack : read.error()));
    const CurveTable &curve = *read;
    // Points at two rows' temperatures, the sensor reading a little off the curve at each.
    QVector<FixedPoint> measured;
    for (const auto &[row, factor] : {std::pair {70, 1.004}, std::pair {20, 0.997}})
        measured.append(
            pointAt(curve.rows.at(row).temperature, factor * curve.rows.at(row).resistance));
    const Result<Correction> corrected = correctTable(curve.rows, measured);
    QVERIFY2(corrected, qPrintable(corrected.error()));
    const Correction &c = *corrected;
    QCOMPARE(c.factors.size(), 2);
    QVERIFY(!firstRowOutOfOrder(c.rows));
    for (int k = 0; k < 2; ++k)
        QVERIFY2(std::abs(c.tableKelvin.at(k) - c.points.at(k).kelvin) < 1e-3,
                 qPrintable(QString::number(c.tableKelvin.at(k), 'g', 9)));
    QVERIFY(c.largestChange > 0);
    // Beyond the outer points their own factors stand.
    const int hottest = curve.rows.first().temperature > curve.rows.last().temperature ? 0 : 99;
    QCOMPARE(c.rows.at(hottest).resistance,
             float(curve.rows.at(hottest).resistance * c.factors.last()));
}

void FixedPointsTest::refusals_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("expected");
    const PlatinumCoefficients pt100;
    QTest::newRow("range below the standard")
        << platinumTable(pt100, 70, 500).error() << "below the standard's 73.15 K";
    QVector<float> drifting;
    for (int k = 0; k < 10; ++k)
        drifting.append(100.0f + 0.004f * k);
    QTest::newRow("drifting point")
        << pointFromReadings(0, 273.15, drifting, DefaultMaxSpreadPpm, QDateTime()).error()
        << "the readings drift: they spread over 0.036";
    const double ice = platinumResistance(pt100, 273.15);
    QTest::newRow("points against the sensor")
        << correctPlatinum(pt100, 73.15, 500, {pointAt(273.15, ice), pointAt(300, ice - 1)}).error()
        << "would make the table turn back";
    const QVector<TableEntry> rows = platinumTable(pt100, 73.15, 500).value();
    QTest::newRow("point beyond the table")
        << correctTable(rows, {pointAt(4.222, 1)}).error() << "outside the table's range";
    QTest::newRow("four points") << correctTable(rows,
                                                 {pointAt(80, 21), pointAt(90, 25),
                                                  pointAt(100, 29), pointAt(110, 33)})
                                        .error()
                                 << "one to three points, not 4";
    QTest::newRow("two points at one temperature")
        << correctTable(rows, {pointAt(273.15, 100), pointAt(273.15, 100.1)}).error()
        << "two points are at the same temperature";
    PlatinumCoefficients turning;
    turning.b = -1e-5; // its resistance peaks near 195 °C
    QTest::newRow("coefficients that turn back")
        << platinumTable(turning, 273.15, 500).error() << "the resistance turn back near";
    QTest::newRow("below zero kelvin")
        << QString(fixedPointKelvin("-5") ? "taken" : "refused") << "refused";
    const QByteArray taken = "\t273.15\t100.1\t0.001\t10\t2026-12-07T12:00:00.000Z\n";
    QTest::newRow("a point of channel 5")
        << readPoints("1" + taken + "5" + taken).error() << "line 2 is not a point";
    QTest::newRow("a point whose spread is no number")
        << readPoints(QByteArray("1" + taken).replace("\t0.001\t", "\tsmall\t")).error()
        << "line 1 is not a point";
}

void FixedPointsTest::refusals()
{
    QFETCH(QString, refusal);
    QFETCH(QString, expected);
    QVERIFY2(refusal.contains(expected), qPrintable(refusal));
}

QTEST_GUILESS_MAIN(FixedPointsTest)
#include "tst_fixedpoints.moc"
