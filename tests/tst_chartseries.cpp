// A chart line over runs of any length: exact while it fits, bounded after, and never losing the
// highest or lowest reading of any stretch.
#include "logging/chartseries.h"

#include <QtTest>

#include <algorithm>

class ChartSeriesTest : public QObject
{
    Q_OBJECT

private slots:
    void thinningKeepsTheExtremes_data();
    void thinningKeepsTheExtremes();
    void timeLabelsNeverRepeat_data();
    void timeLabelsNeverRepeat();
};

void ChartSeriesTest::thinningKeepsTheExtremes_data()
{
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("spikeAt");
    QTest::newRow("fits exactly") << 1000 << 500;
    QTest::newRow("one more than fits") << 1001 << 1000;
    QTest::newRow("a day at one a second, early spike") << 86400 << 3;
    QTest::newRow("a day at one a second, spike in the last reading") << 86400 << 86399;
}

void ChartSeriesTest::thinningKeepsTheExtremes()
{
    QFETCH(int, readings);
    QFETCH(int, spikeAt);
    ThinnedSeries line(1000);
    QVector<QPointF> all;
    for (int i = 0; i < readings; ++i) {
        // A slow drift with a little noise; one spike up, and one down right after it.
        double y = 300 - i * 0.001 + (i % 7) * 0.01;
        if (i == spikeAt)
            y = 400;
        if (i == (spikeAt + 1) % readings)
            y = 200;
        all.append(QPointF(i, y));
        line.append(all.last());
    }

    const QVector<QPointF> &shown = line.points();
    QVERIFY(shown.size() <= line.limit());
    if (readings <= line.limit()) {
        QCOMPARE(shown, all);
        return;
    }
    QVERIFY(shown.size() >= line.limit() / 2); // thinned, not emptied
    QVERIFY(std::is_sorted(shown.begin(), shown.end(),
                           [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
    QVERIFY(shown.contains(all[spikeAt]));
    QVERIFY(shown.contains(all[(spikeAt + 1) % readings]));

    line.clear();
    line.append(QPointF(5, 1));
    QCOMPARE(line.points(), QVector<QPointF>({QPointF(5, 1)}));
}

void ChartSeriesTest::timeLabelsNeverRepeat_data()
{
    QTest::addColumn<qint64>("spanMs");
    QTest::newRow("first second") << qint64(1000);
    QTest::newRow("a second and a half") << qint64(1500);
    QTest::newRow("three seconds") << qint64(3000);
    QTest::newRow("an hour") << qint64(3600000);
    QTest::newRow("two days") << qint64(2 * 86400000LL);
    QTest::newRow("four days and a bit") << qint64(4 * 86400000LL + 7);
}

// The labels the axis draws: evenly spaced from the start of the run to the end of its range.
void ChartSeriesTest::timeLabelsNeverRepeat()
{
    QFETCH(qint64, spanMs);
    const TimeAxisLabels labels = timeAxisLabels(spanMs, 5);
    const QDateTime start(QDate(2026, 12, 7), QTime(21, 22, 52, 900));
    QStringList texts;
    for (int tick = 0; tick < labels.ticks; ++tick)
        texts << start.addMSecs(qint64(spanMs * double(tick) / (labels.ticks - 1)))
                     .toString(labels.format);
    QVERIFY(labels.ticks >= 2);
    QCOMPARE(texts.removeDuplicates(), 0);
}

QTEST_GUILESS_MAIN(ChartSeriesTest)
#include "tst_chartseries.moc"
