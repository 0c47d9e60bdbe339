// A table as a curve: when its resistances need a logarithmic scale, the first row out of order,
// and how far the rows stray from the curve file they came from.
#include "calibration/tableshape.h"

#include <QtTest>

namespace {

// 100 rows of a sensor whose temperature falls from 300 K as its resistance rises from `low`
// by a constant factor, one row at a time, to `high`.
QVector<TableEntry> table(double low, double high)
{
    QVector<TableEntry> rows;
    for (int row = 0; row < 100; ++row)
        rows.append({float(low * std::pow(high / low, row / 99.0)), float(300.0 - 2.5 * row)});
    return rows;
}

} // namespace

class TableShapeTest : public QObject
{
    Q_OBJECT

private slots:
    void shape_data();
    void shape();
    void deviationFromTheCurve();
};

void TableShapeTest::shape_data()
{
    QTest::addColumn<double>("high"); // the last row's resistance; the first row's is 10
    QTest::addColumn<int>("row"); // the row changed, -1 none
    QTest::addColumn<float>("resistance"); // its new values
    QTest::addColumn<float>("temperature");
    QTest::addColumn<bool>("logarithmic");
    QTest::addColumn<int>("outOfOrder"); // -1 none
    QTest::newRow("two decades") << 1000.0 << -1 << 0.f << 0.f << false << -1;
    QTest::newRow("more than two decades") << 1001.0 << -1 << 0.f << 0.f << true << -1;
    QTest::newRow("a temperature that goes back") << 100.0 << 56 << 50.f << 300.f << false << 56;
    QTest::newRow("a resistance that goes back") << 100.0 << 80 << 11.f << 100.f << false << 80;
    QTest::newRow("a repeated row") << 100.0 << 1 << 10.f << 300.f << false << 1;
    QTest::newRow("a zero resistance") << 1e5 << 0 << 0.f << 300.5f << false << -1;
    QTest::newRow("an empty cell is passed over")
        << 1e5 << 40 << std::numeric_limits<float>::quiet_NaN() << 1.f << true << -1;
}

void TableShapeTest::shape()
{
    QFETCH(double, high);
    QFETCH(int, row);
    QFETCH(float, resistance);
    QFETCH(float, temperature);
    QVector<TableEntry> rows = table(10, high);
    if (row >= 0)
        rows[row] = {resistance, temperature};
    QTEST(needsLogResistanceAxis(rows), "logarithmic");
    QTEST(firstRowOutOfOrder(rows).value_or(-1), "outOfOrder");
}

// Measured against straight lines between rows, on a table that runs one way and on one that
// does not; points beyond the table's ends do not count.
void TableShapeTest::deviationFromTheCurve()
{
    const QVector<TableEntry> rows {{100, 300}, {200, 250}, {400, 200}};
    const QVector<CurvePoint> curve {{50, 400}, {150, 276}, {300, 224.5}, {400, 200}, {900, 1}};
    std::optional<CurveDeviation> deviation = largestDeviation(rows, curve);
    QVERIFY(deviation);
    QCOMPARE(deviation->kelvin, 1.0);
    QCOMPARE(deviation->resistance, 150.0);

    const QVector<TableEntry> back {{100, 300}, {400, 200}, {200, 250}};
    deviation = largestDeviation(back, {{300, 240}});
    QVERIFY(deviation);
    QCOMPARE(deviation->kelvin, 20.0 / 3);
    QVERIFY(!largestDeviation(rows, {{1000, 1}}));
}

QTEST_GUILESS_MAIN(TableShapeTest)
#include "tst_tableshape.moc"
