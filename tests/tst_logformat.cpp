// The bytes of the log file: which columns a pattern of ticked cells gives, and how a reading
// looks in a row, checked against the C library's own %g.
#include "logging/logfile.h"
#include "logging/logformat.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <limits>

using Cells = QList<QPair<int, int>>; // (channel, quantity) pairs that are ticked
Q_DECLARE_METATYPE(LogEnables)
Q_DECLARE_METATYPE(LogFileContent)

namespace {

LogEnables ticked(const Cells &cells)
{
    LogEnables enabled {};
    for (const auto &cell : cells)
        enabled[cell.first][cell.second] = true;
    return enabled;
}

// A row's time as the Logger writes it by default: the time of day alone.
QByteArray clockText(const QTime &time)
{
    return logTimeText(QDateTime(QDate(2026, 12, 7), time), LogTimeStyle::Clock);
}

} // namespace

class LogFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void headerAndRowFollowTheTickedCells_data();
    void headerAndRowFollowTheTickedCells();
    void rowTimeIsTwentyFourHourWithLeadingZeros_data();
    void rowTimeIsTwentyFourHourWithLeadingZeros();
    void valuesAreWrittenAsTheCLibraryDoes_data();
    void valuesAreWrittenAsTheCLibraryDoes();
    void isoTimeCarriesItsOffset_data();
    void isoTimeCarriesItsOffset();
    void earlierFileIsToldApart_data();
    void earlierFileIsToldApart();
    void dailyNameKeepsTheExtension_data();
    void dailyNameKeepsTheExtension();
};

void LogFormatTest::headerAndRowFollowTheTickedCells_data()
{
    QTest::addColumn<LogEnables>("cells");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("row");
    QTest::newRow("none") << ticked({}) << QByteArray(";Time\r\n") << QByteArray("14:03:07\r\n");
    QTest::newRow("all")
        << allLogEnables()
        << QByteArray(";Time\tVoltage0\tResistance0\tTemperature0\tVoltage1\tResistance1\t"
                      "Temperature1\tVoltage2\tResistance2\tTemperature2\tVoltage3\tResistance3\t"
                      "Temperature3\r\n")
        << QByteArray("14:03:07\t1.25\t100.5\t293.15\t2.25\t101.5\t294.15\t3.25\t102.5\t295.15\t"
                      "4.25\t103.5\t296.15\r\n");
    QTest::newRow("first voltage, last temperature")
        << ticked({{0, LogVoltage}, {3, LogTemperature}})
        << QByteArray(";Time\tVoltage0\tTemperature3\r\n")
        << QByteArray("14:03:07\t1.25\t296.15\r\n");
    // Ticked out of order: the columns still go channel by channel, voltage first.
    QTest::newRow("scattered") << ticked({{2, LogTemperature}, {1, LogResistance}, {2, LogVoltage}})
                               << QByteArray(";Time\tResistance1\tVoltage2\tTemperature2\r\n")
                               << QByteArray("14:03:07\t101.5\t3.25\t295.15\r\n");
}

void LogFormatTest::headerAndRowFollowTheTickedCells()
{
    QFETCH(LogEnables, cells);
    QFETCH(QByteArray, row);
    // Four records whose every field differs, so a row that takes the wrong field or channel shows.
    ChannelData records[4];
    for (int c = 0; c < 4; ++c) {
        records[c].adcData = 1000 + c;
        records[c].currentVoltage = 1.25f + c;
        records[c].acVoltage = 9.5f + c;
        records[c].resistance = 100.5f + c;
        records[c].temperature = 293.15f + c;
    }
    QTEST(logHeader(cells), "header");
    QCOMPARE(logRow(clockText(QTime(14, 3, 7)), records, cells), row);
}

void LogFormatTest::rowTimeIsTwentyFourHourWithLeadingZeros_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("midnight") << QTime(0, 0, 0) << QByteArray("00:00:00");
    QTest::newRow("morning") << QTime(9, 5, 3) << QByteArray("09:05:03");
    QTest::newRow("afternoon") << QTime(13, 0, 59) << QByteArray("13:00:59");
    QTest::newRow("fraction dropped") << QTime(23, 59, 59, 999) << QByteArray("23:59:59");
}

void LogFormatTest::rowTimeIsTwentyFourHourWithLeadingZeros()
{
    QFETCH(QTime, time);
    QFETCH(QByteArray, text);
    ChannelData records[4];
    QCOMPARE(logRow(clockText(time), records, ticked({})), text + "\r\n");
}

void LogFormatTest::valuesAreWrittenAsTheCLibraryDoes_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("20.5") << 20.5f << QByteArray("20.5");
    QTest::newRow("300") << 300.0f << QByteArray("300");
    QTest::newRow("rounded to six digits") << 123.456789f << QByteArray("123.457");
    QTest::newRow("small, still fixed") << 0.000123456789f << QByteArray("0.000123457");
    QTest::newRow("below 1e-4") << 0.00001f << QByteArray("1e-05");
    QTest::newRow("five million") << 5e6f << QByteArray("5e+06");
    QTest::newRow("zero") << 0.0f << QByteArray("0");
    QTest::newRow("negative") << -4.75f << QByteArray("-4.75");
    QTest::newRow("largest fixed") << 999999.0f << QByteArray("999999");
    QTest::newRow("rounds up into exponent") << 999999.6f << QByteArray("1e+06");
    QTest::newRow("exactly 1e-4") << 0.0001f << QByteArray("0.0001");
    QTest::newRow("float widened, not its decimal") << 0.1f << QByteArray("0.1");
    QTest::newRow("largest float")
        << std::numeric_limits<float>::max() << QByteArray("3.40282e+38");
    QTest::newRow("subnormal") << std::numeric_limits<float>::denorm_min()
                               << QByteArray("1.4013e-45");
    QTest::newRow("negative exponent form") << -1234567.0f << QByteArray("-1.23457e+06");
    QTest::newRow("thousands, not grouped") << 1234.5f << QByteArray("1234.5");
}

// Under the operator's locale too: its decimal comma, grouping and digits never reach the file.
void LogFormatTest::valuesAreWrittenAsTheCLibraryDoes()
{
    QFETCH(float, value);
    QFETCH(QByteArray, text);
    char printed[64];
    std::snprintf(printed, sizeof printed, "%.6g", double(value));
    QCOMPARE(QByteArray(printed), text); // the expectation itself is what %.6g gives
    ChannelData records[4];
    records[0].currentVoltage = value;
    const QLocale before;
    QList<QByteArray> rows;
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::Arabic, QLocale::Egypt)}) {
        QLocale::setDefault(locale);
        rows << logRow(clockText(QTime(14, 3, 7)), records, ticked({{0, LogVoltage}}));
    }
    QLocale::setDefault(before);
    for (const QByteArray &row : rows)
        QCOMPARE(row, "14:03:07\t" + text + "\r\n");
}

void LogFormatTest::isoTimeCarriesItsOffset_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<bool>("milliseconds");
    QTest::addColumn<QByteArray>("text");
    const QDate day(2026, 12, 7);
    const QTime time(21, 14, 22, 250);
    QTest::newRow("an hour east") << QDateTime(day, time, Qt::OffsetFromUTC, 3600) << false
                                  << QByteArray("2026-12-07T21:14:22+01:00");
    QTest::newRow("half hours west, with ms")
        << QDateTime(day, time, Qt::OffsetFromUTC, -(5 * 3600 + 30 * 60)) << true
        << QByteArray("2026-12-07T21:14:22.250-05:30");
    QTest::newRow("at UTC") << QDateTime(day, time, Qt::UTC) << false
                            << QByteArray("2026-12-07T21:14:22+00:00");
}

// The offset goes with the time as ISO 8601 writes it, east and west alike.
void LogFormatTest::isoTimeCarriesItsOffset()
{
    QFETCH(QDateTime, time);
    QFETCH(bool, milliseconds);
    QFETCH(QByteArray, text);
    QCOMPARE(logTimeText(time, LogTimeStyle::Iso, milliseconds), text);
    QCOMPARE(logTimeText(time, LogTimeStyle::Clock, milliseconds), text.mid(11, 8));
}

void LogFormatTest::earlierFileIsToldApart_data()
{
    QTest::addColumn<QByteArray>("held"); // "-" for no file at all
    QTest::addColumn<LogFileContent>("content");
    QTest::newRow("no file") << QByteArray("-") << LogFileContent::Nothing;
    QTest::newRow("empty file") << QByteArray() << LogFileContent::Nothing;
    QTest::newRow("this run's header")
        << QByteArray(";Time\tCh1_T\r\n12:00:00\t4\r\n") << LogFileContent::SameHeader;
    QTest::newRow("another header") << QByteArray(";Time\tCh2_T\r\n") << LogFileContent::Other;
    QTest::newRow("rows with dates")
        << QByteArray(";Time\tCh1_T\r\n2026-12-07T12:00:00+01:00\t4\r\n")
        << LogFileContent::OtherTimeStyle;
}

// Whether START asks before it replaces a file, and whether the run may go on below its rows.
void LogFormatTest::earlierFileIsToldApart()
{
    QFETCH(QByteArray, held);
    QFETCH(LogFileContent, content);
    QTemporaryDir dir;
    const QString name = dir.filePath("run.txt");
    QFile file(name);
    QVERIFY(held == "-" || (file.open(QIODevice::WriteOnly) && file.write(held) == held.size()));
    file.close();
    QCOMPARE(logFileContent(name, ";Time\tCh1_T\r\n", LogTimeStyle::Clock), content);
}

void LogFormatTest::dailyNameKeepsTheExtension_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("daily");
    QTest::newRow("extension") << "logs/run.txt"
                               << "logs/run-2026-12-07.txt";
    QTest::newRow("hidden, no extension") << "logs/.run"
                                          << "logs/.run-2026-12-07";
    QTest::newRow("a dot in the folder only") << "logs.d/run"
                                              << "logs.d/run-2026-12-07";
}

void LogFormatTest::dailyNameKeepsTheExtension()
{
    QFETCH(QString, base);
    QTEST(dailyLogFileName(base, QDate(2026, 12, 7)), "daily");
}

QTEST_GUILESS_MAIN(LogFormatTest)
#include "tst_logformat.moc"
