// Reading curve files and resampling them into a channel's 100 rows, from bytes alone.
#include "calibration/curvefile.h"
#include "tests/support/floatbits.h"
#include "text/numbers.h"

#include <QBuffer>
#include <QFile>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

QByteArray curveData(const QString &name)
{
    QFile file(QStringLiteral(QUADMETER_TEST_DATA "/curves/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test curve %s", qPrintable(name));
    return file.readAll();
}

QString describe(const QVector<CurvePoint> &points)
{
    QStringList parts;
    for (const CurvePoint &p : points)
        parts << QString::number(p.resistance, 'g', 10) + '/'
                + QString::number(p.temperature, 'g', 10);
    return parts.join(' ');
}

// Where a row's temperature falls between two neighbouring points of a monotonic curve, its
// resistance must lie on the straight line between them (to single precision).
QString offTheCurve(QVector<CurvePoint> points, const QVector<TableEntry> &rows)
{
    std::sort(points.begin(), points.end(),
              [](const CurvePoint &a, const CurvePoint &b) { return a.resistance < b.resistance; });
    for (int row = 0; row < rows.size(); ++row) {
        const double t = rows[row].temperature;
        const double slack = 1e-6 * t;
        int k = 0;
        while (k + 2 < points.size()
               && !(qMin(points[k].temperature, points[k + 1].temperature) - slack <= t
                    && t <= qMax(points[k].temperature, points[k + 1].temperature) + slack))
            ++k;
        const CurvePoint &a = points[k];
        const CurvePoint &b = points[k + 1];
        const double expected = a.resistance
            + (t - a.temperature) * (b.resistance - a.resistance) / (b.temperature - a.temperature);
        if (std::fabs(rows[row].resistance - expected) > 1e-5 * std::fabs(expected))
            return QStringLiteral("row %1: %2 ohms at %3 K, the curve has %4 ohms there")
                .arg(QString::number(row), formatReal(rows[row].resistance), formatReal(t),
                     formatReal(expected));
    }
    return QString();
}

// A device that breaks down after handing out the first bytes of its content, as a file on a
// failing disk or a vanished network share does.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(const QByteArray &content, qint64 goodBytes)
        : content(content)
        , goodBytes(goodBytes)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    bool atEnd() const override { return false; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, goodBytes - position);
        if (n <= 0)
            return -1;
        std::memcpy(data, content.constData() + position, size_t(n));
        position += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray content;
    qint64 goodBytes;
    qint64 position = 0;
};

const QVector<CurvePoint> examplePoints = {{100, 300}, {200, 250}, {400, 200}};

} // namespace

class CurveFileTest : public QObject
{
    Q_OBJECT

private slots:
    void readsPointsOrRefuses_data();
    void readsPointsOrRefuses();
    void readFailureIsNotAShortCurve();
    void exampleCurve();
    void pointOrderDoesNotMatter_data();
    void pointOrderDoesNotMatter();
    void realCurvesGiveTheirRowsToTheBit_data();
    void realCurvesGiveTheirRowsToTheBit();
    void rowsLieOnTheCurveOrAreRefused_data();
    void rowsLieOnTheCurveOrAreRefused();
};

void CurveFileTest::readsPointsOrRefuses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("outcome"); // the points read, or the refusal in words
    const auto row = [](const char *name, const QByteArray &bytes, const QString &outcome) {
        QTest::newRow(name) << bytes << outcome;
    };

    const QString example = "100/300 200/250 400/200";
    row("tab", "100\t300\n200\t250\n400\t200\n", example);
    row("one blank", "100 300\n200 250\n400 200\n", example);
    row("blank runs", "100   300\n200  250\n400     200\n", example);
    row("leading and trailing blanks", "  100 300  \n 200 250\n 400 200 \n", example);
    row("leading tab makes an empty field", "100\t300\n\t150\t275\n200\t250\n400\t200\n", example);
    row("blanks around tab fields", "100 \t 300\n200\t250\n400\t200\n", example);
    row("CR LF", "100\t300\r\n200\t250\r\n400\t200\r\n", example);
    row("no line end at the end", "100 300\n200 250\n400 200", example);
    row("third field ignored", "100 300 7\n200\t250\tx\n400 200 1 2 3\n", example);
    row("exponents", "1e2 3.0e2\n2E2 +250\n400.000 2e+2\n", example);
    row("words, lone number, empty line",
        "resistance temperature\n42\n\n100 300\nohms kelvin\n200 250\n   \n400 200\n", example);
    row("one field a word", "100 300\nabc 250\n200 def\n400 200\n", "100/300 400/200");
    row("not finite", "100 300\nnan 250\n200 inf\n-inf 1\n1e999 5\n400 200\n", "100/300 400/200");
    row("empty tab field", "100\t300\n200\t\t250\n400\t200\n", "100/300 400/200");
    row("decimal comma", "100 300\n200,5 250\n400 200\n", "100/300 400/200");
    row("text after a NUL byte",
        QByteArray("100 300\n200 250", 15) + QByteArray(1, '\0') + "99 99\n400 200\n", example);

    // Lines of exactly the longest length are points; one byte more and they are not, and
    // no piece of a longer line comes back as a point of its own.
    const QByteArray longest = "100 300" + QByteArray(1023 - 7, ' ');
    const QByteArray tooLong = "100 300" + QByteArray(1026 - 7, ' ') + "777 777";
    row("longest line", longest + "\n200 250\n400 200\n", example);
    row("longest line CR LF", longest + "\r\n200 250\r\n400 200\r\n", example);
    row("one byte too long",
        "100 300\n" + QByteArray("600 100") + QByteArray(1024 - 7, ' ') + "\n200 250\n400 200\n",
        example);
    row("too long line", "5 5\n" + tooLong + "\n200 250\n400 200\n", "5/5 200/250 400/200");
    row("too long last line", "200 250\n400 200\n" + tooLong, "200/250 400/200");
    row("eight megabytes without a line end",
        "200 250\n" + QByteArray("1 2 ").repeated(2 << 20) + "\n400 200\n", "200/250 400/200");

    row("header words without a data format",
        "Sensor Model: X\nNumber of Breakpoints: 3\n\nNo. Units Temperature\n100 300\n200 250\n400 "
        "200\n",
        example);

    row("340 ohms",
        "Data Format: 3 (Ohms/Kelvin)\nNumber of Breakpoints: 3\nNo.   Units      Temperature "
        "(K)\n1 100 300\n2 200 250\n3 400 200\n",
        example);
    row("340 log ohms, key case and spacing",
        "NUMBER OF BREAKPOINTS:\t2\ndata   format:\t4\t(Log "
        "Ohms/Kelvin)\n1\t2\t300\r\n2\t3\t200\r\n",
        "100/300 1000/200");
    row("340 log ohms, log kelvin", "Data Format: 5\nNumber of Breakpoints: 2\n1 2 2\n2 3 1\n",
        "100/100 1000/10");
    row("340 without a breakpoint count", "Data Format: 3\n1 100 300\n2 200 250\n",
        "100/300 200/250");

    // Curves refused, and why.
    const QString tooFew = "it holds fewer than two resistance/temperature points";
    row("empty", QByteArray(), tooFew);
    row("one point", "100 300\n", tooFew);
    row("only words", "Temperature curve\nohms kelvin\n", tooFew);

    QByteArray binary;
    quint32 seed = 12345;
    for (int k = 0; k < 200000; ++k) {
        seed = seed * 1103515245u + 12345u;
        binary.append(char(seed >> 24));
    }
    row("binary", binary, tooFew);

    row("340 diode", curveData("diode-volts.340"),
        "it is a diode voltage curve (Data Format 2), which cannot fill a resistance table");
    row("340 millivolts", "Data Format: 1\n1 100 300\n2 200 250\n",
        "it is a diode voltage curve (Data Format 1), which cannot fill a resistance table");
    row("340 unknown format", "Data Format: 7\n1 100 300\n2 200 250\n",
        "its Data Format 7 is not one of the resistance formats 3, 4 and 5");
    row("340 format not a number", "Data Format: ohms\n1 100 300\n2 200 250\n",
        "its Data Format is not a number");
    row("340 breakpoints not a number",
        "Data Format: 3\nNumber of Breakpoints: many\n1 100 300\n2 200 250\n",
        "its Number of Breakpoints is not a number");

    const QByteArray real = curveData("X186275.340");
    row("340 truncated", real.left(real.indexOf("\n100 ") + 1),
        "it holds 99 data lines but declares 147 breakpoints");
    row("340 damaged data line",
        QByteArray(real).replace("  5  1.84816       308.000", "  5  1.84816       3O8.000"),
        "it holds 146 data lines but declares 147 breakpoints");
    row("340 surplus data line", real + "148  4.5   1.0\n",
        "it holds 148 data lines but declares 147 breakpoints");
    row("340 units out of range", "Data Format: 4\n1 2 300\n2 400 200\n",
        "some of its breakpoints lie out of range");
    row("340 one breakpoint", "Data Format: 3\nNumber of Breakpoints: 1\n1 100 300\n", tooFew);
}

void CurveFileTest::readsPointsOrRefuses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, outcome);
    const Result<QVector<CurvePoint>> read = readCurve(bytes);
    const bool refused = outcome.at(0).isLetter();
    QCOMPARE(read.error(), refused ? outcome : QString());
    QCOMPARE(describe(read ? *read : QVector<CurvePoint>()), refused ? QString() : outcome);
}

// A curve that breaks off because the disk failed is not taken for a shorter curve.
void CurveFileTest::readFailureIsNotAShortCurve()
{
    const QByteArray bytes = "100 300\n200 250\n400 200\n150 280\n";
    FailingDevice device(bytes, 24);
    const Result<QVector<CurvePoint>> read = readCurve(device);
    QCOMPARE(read.error(), QStringLiteral("it could not be read to its end"));
    QVERIFY(!read);
}

void CurveFileTest::exampleCurve()
{
    const Result<CurveTable> resampled = resampleCurve(examplePoints);
    QCOMPARE(resampled.error(), QString());
    const CurveTable &table = *resampled;
    QCOMPARE(table.turnsBack, QString());
    QCOMPARE(table.rows.size(), 100);

    const auto shown = [&](int row) {
        return formatReal(table.rows[row].resistance) + '/'
            + formatReal(table.rows[row].temperature);
    };
    QCOMPARE(shown(0), QStringLiteral("100/300"));
    QCOMPARE(shown(1), QStringLiteral("102.452/298.774"));
    QCOMPARE(shown(99), QStringLiteral("400/200"));
    QCOMPARE(table.rows[0].resistance, 100.0f);
    QCOMPARE(table.rows[0].temperature, 300.0f);

    const double ratio = std::pow(300.0 / 200.0, 1.0 / 99);
    for (int row = 1; row < 100; ++row) {
        const double step = double(table.rows[row - 1].temperature) / table.rows[row].temperature;
        QVERIFY2(std::fabs(step - ratio) < 1e-6, qPrintable(QString::number(row)));
    }
    const QString off = offTheCurve(examplePoints, table.rows);
    QVERIFY2(off.isEmpty(), qPrintable(off));
}

void CurveFileTest::pointOrderDoesNotMatter_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("falling resistance") << QByteArray("400 200\n200 250\n100 300\n");
    QTest::newRow("middle first") << QByteArray("200 250\n400 200\n100 300\n");
    QTest::newRow("ends first") << QByteArray("100 300\n400 200\n200 250\n");
}

void CurveFileTest::pointOrderDoesNotMatter()
{
    QFETCH(QByteArray, bytes);
    const CurveTable expected = *resampleCurve(examplePoints);
    const Result<QVector<CurvePoint>> read = readCurve(bytes);
    QVERIFY2(read, qPrintable(read.error()));
    const Result<CurveTable> resampled = resampleCurve(*read);
    QVERIFY2(resampled, qPrintable(resampled.error()));
    const CurveTable &table = *resampled;
    QCOMPARE(table.rows.size(), 100);
    for (int row = 0; row < 100; ++row) {
        QCOMPARE(bitsOf(table.rows[row].resistance), bitsOf(expected.rows[row].resistance));
        QCOMPARE(bitsOf(table.rows[row].temperature), bitsOf(expected.rows[row].temperature));
    }
}

void CurveFileTest::realCurvesGiveTheirRowsToTheBit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::newRow("X186275 blanks LF") << "X186275"
                                       << "66.4232/330.039"
                                       << "26443/1.048";
    QTest::newRow("X05932 tabs CR LF") << "X05932"
                                       << "63.5707/298"
                                       << "77344.6/1.58";
}

// The rows were computed independently from the curves (tests/data/curves/expected_rows.py).
void CurveFileTest::realCurvesGiveTheirRowsToTheBit()
{
    QFETCH(QString, name);
    QFETCH(QString, first);
    QFETCH(QString, last);
    const Result<QVector<CurvePoint>> read = readCurve(curveData(name + ".340"));
    QCOMPARE(read.error(), QString());
    const Result<CurveTable> resampled = resampleCurve(*read);
    QCOMPARE(resampled.error(), QString());
    const CurveTable &table = *resampled;
    // X05932's one step against the order is named, and its rows are still there to take.
    QCOMPARE(!table.turnsBack.isEmpty(), name == "X05932");
    QCOMPARE(table.rows.size(), 100);
    QCOMPARE(formatReal(table.rows[0].resistance) + '/' + formatReal(table.rows[0].temperature),
             first);
    QCOMPARE(formatReal(table.rows[99].resistance) + '/' + formatReal(table.rows[99].temperature),
             last);

    const QList<QByteArray> lines = curveData(name + ".rows").trimmed().split('\n');
    QCOMPARE(lines.size(), 100);
    for (int row = 0; row < 100; ++row) {
        const QList<QByteArray> fields = lines[row].split('\t');
        QCOMPARE(bitsOf(table.rows[row].resistance), bitsOf(fields[1].toFloat()));
        QCOMPARE(bitsOf(table.rows[row].temperature), bitsOf(fields[2].toFloat()));
    }
}

void CurveFileTest::rowsLieOnTheCurveOrAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal"); // empty: the rows are made and lie on the curve
    const auto row = [](const char *name, const QByteArray &bytes, const QString &refusal) {
        QTest::newRow(name) << bytes << refusal;
    };
    row("falling, real", curveData("X186275.340"), QString());
    row("rising platinum", curveData("platinum-rising.340"), QString());
    row("rising platinum, the example we install", curveData("../../../dist/curves/PT-100.340"),
        QString());
    row("rising, two points", "100 20\n300 400\n", QString());
    row("rising, plain file", "10 20\n20 40\n40 60\n80 100\n160 200\n320 400\n", QString());

    const QString notAbove0
        = "its temperatures at the lowest and highest resistance are not both above 0 K";
    const QString notFinite = "it gives table rows that are not finite numbers, as where two "
                              "neighbouring points share a temperature";
    row("0 K at the high end", "100 300\n200 250\n400 0\n", notAbove0);
    row("0 K at the low end", "100 0\n200 250\n400 200\n", notAbove0);
    row("below 0 K", "100 -5\n400 200\n", notAbove0);
    row("flat curve", "100 300\n400 300\n", notFinite);
    row("flat start", "100 300\n150 300\n400 200\n", notFinite);
    row("beyond single precision", "1e300 300\n2e300 200\n", notFinite);
}

// Rows are interpolated between the points that enclose them, whichever way the curve runs; a
// curve that cannot give usable rows gives none.
void CurveFileTest::rowsLieOnTheCurveOrAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    const Result<QVector<CurvePoint>> read = readCurve(bytes);
    QCOMPARE(read.error(), QString());
    const Result<CurveTable> table = resampleCurve(*read);
    QCOMPARE(table ? table->turnsBack : table.error(), refusal);
    QCOMPARE(table ? table->rows.size() : 0, refusal.isEmpty() ? 100 : 0);
    const QString off = offTheCurve(*read, table ? table->rows : QVector<TableEntry>());
    QVERIFY2(off.isEmpty(), qPrintable(off));
}

QTEST_GUILESS_MAIN(CurveFileTest)
#include "tst_curvefile.moc"
