// "LoadFromFile" on a calibration page: a curve file fills the page's 100 rows, a file that
// cannot fill them leaves the table as it was and says why, and the unit is never involved.
#include "app/dialog.h"
#include "calibration/calibrationfile.h"
#include "calibration/tablesource.h"
#include "link/protocol.h"
#include "sim/ptyhost.h"
#include "tests/support/cutfiles.h"
#include "tests/support/fifo.h"
#include "tests/support/modalboxes.h"
#include "tests/support/simunit.h"
#include "text/numbers.h"
#include "windows/calibrationchart.h"
#include "windows/calibrationwidget.h"

#include <QAbstractButton>
#include <QChartView>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QXYSeries>
#include <QtTest>

#include <optional>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_USE_NAMESPACE
#endif

namespace {

const QString curves = QStringLiteral(QUADMETER_TEST_DATA "/curves/");

QByteArray curveData(const QString &name)
{
    QFile file(curves + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test curve %s", qPrintable(name));
    return file.readAll();
}

// A window whose pages are easy to reach, and which counts every look for an attached unit.
struct Window
{
    explicit Window(const PortLister &lister = [] { return QList<PortEntry>(); })
    {
        w.setPortLister([this, lister] {
            ++unitLookups;
            return lister();
        });
        auto *tabs = w.findChild<QTabWidget *>("tabWidget");
        for (int i = 1; i <= 4; ++i)
            pages.append(qobject_cast<calibrationWidget *>(tabs->widget(i)));
        // Something to lose: every page starts with its own recognisable table and gain.
        for (int channel = 0; channel < 4; ++channel) {
            pages[channel]->setGain(1.5f + channel);
            for (int row = 0; row < 100; ++row)
                pages[channel]->setTableRow(row, 1000.0f * (channel + 1) + row, 400.0f - row);
        }
    }

    void load(int channel, const QString &path)
    {
        pages[channel]->findChild<QLineEdit *>("leFileName")->setText(path);
        pages[channel]->findChild<QPushButton *>("pbLoadFromFile")->click();
    }

    QString untouched(int channel)
    {
        calibrationWidget *page = pages[channel];
        if (page->gain() != 1.5f + channel)
            return QStringLiteral("gain of channel %1 changed").arg(channel);
        for (int row = 0; row < 100; ++row) {
            const TempTableRow r = page->tableRow(row);
            if (r.resistance != 1000.0f * (channel + 1) + row || r.temperature != 400.0f - row)
                return QStringLiteral("channel %1 row %2 changed")
                    .arg(QString::number(channel), QString::number(row));
        }
        return QString();
    }

    Dialog w;
    QList<calibrationWidget *> pages;
    int unitLookups = 0;
};

} // namespace

class LoadTempTableTest : public QObject
{
    Q_OBJECT

private slots:
    void curveFillsTheWholeTable();
    void refusedFileLeavesTableAndSaysWhy_data();
    void refusedFileLeavesTableAndSaysWhy();
    void noFileLeavesTableSilently_data();
    void noFileLeavesTableSilently();
    void attachedUnitHearsNothing();
    void savedCalibrationLoadsExactly_data();
    void savedCalibrationLoadsExactly();
    void cutCalibrationLeavesThePage_data();
    void cutCalibrationLeavesThePage();
};

// X186275 on Channel1: each row shows the curve's row as six significant digits; no other page,
// and not the gain, is touched; no box, and no look for a unit.
void LoadTempTableTest::curveFillsTheWholeTable()
{
    const QString name = "X186275";
    const int channel = 0;
    ModalAnswerer answerer;
    Window window;

    window.load(channel, curves + name + ".340");

    const QList<QByteArray> expected = curveData(name + ".rows").trimmed().split('\n');
    QCOMPARE(expected.size(), 100);
    for (int row = 0; row < 100; ++row) {
        const QList<QByteArray> fields = expected[row].split('\t');
        const TempTableRow shown = window.pages[channel]->tableRow(row);
        QCOMPARE(shown.resistance, fields[1].toFloat());
        QCOMPARE(shown.temperature, fields[2].toFloat());
    }
    QCOMPARE(window.pages[channel]->gain(), 1.5f + channel);
    // The chart shows the file's own points beside the rows and how far the rows stray from them.
    auto *chart = window.pages[channel]->findChild<CalibrationChart *>();
    const QList<QAbstractSeries *> drawn = chart->findChild<QChartView *>()->chart()->series();
    QCOMPARE(qobject_cast<QXYSeries *>(drawn.at(1))->count(),
             int(curveTableFromFile(curves + name + ".340")->points.size()));
    QCOMPARE(qobject_cast<QXYSeries *>(drawn.at(0))->count(), 100);
    QVERIFY2(chart->note().startsWith("Largest difference from the file: "),
             qPrintable(chart->note()));
    for (int other = 0; other < 4; ++other) {
        if (other != channel)
            QCOMPARE(window.untouched(other), QString());
    }
    QTest::qWait(50);
    QVERIFY(answerer.seen.isEmpty());
    QCOMPARE(window.unitLookups, 0);
}

void LoadTempTableTest::refusedFileLeavesTableAndSaysWhy_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    // The file: "fifo", "sparse:size", a path, or empty for a file of these bytes.
    QTest::addColumn<QString>("kind");

    const QString tooFew = "it holds fewer than two resistance/temperature points";
    const auto row = [](const char *name, const QByteArray &bytes, const QString &reason,
                        const QString &kind) {
        QTest::newRow(name) << bytes << reason << kind;
    };
    row("diode curve", curveData("diode-volts.340"),
        "it is a diode voltage curve (Data Format 2), which cannot fill a resistance table", "");
    const QByteArray real = curveData("X186275.340");
    row("truncated curve", real.left(real.indexOf("\n 51 ") + 1),
        "it holds 50 data lines but declares 147 breakpoints", "");
    row("empty file", {}, tooFew, "");

    QByteArray binary(64 * 1024, '\0');
    for (int k = 0; k < binary.size(); ++k)
        binary[k] = char((k * 7919) ^ (k >> 3));
    row("binary file", binary, tooFew, "");
    row("flat curve", "100 300\n400 300\n",
        "it gives table rows that are not finite numbers, as where two neighbouring points share a "
        "temperature",
        "");
    row("X05932, a real curve with a step against the order", curveData("X05932.340"),
        "its line 83 breaks the order of its temperatures: 10.7996567 K at 2427.90539 ohms comes "
        "after 9.72008512 K at 2384.59839 ohms (line 79). Load it anyway?",
        "");
    // Refused before a byte is read, and without a wait.
    const QString notRegular = "not a regular file";
    row("named pipe with no writer", {}, notRegular, "fifo");
    row("directory", {}, notRegular, curves);
    row("device", {}, notRegular, "/dev/zero");
    row("over 16 MiB", {}, "it is larger than 16 MiB, far more than any curve", "sparse:16777217");
    row("16 MiB, still read", {}, tooFew, "sparse:16777216");
}

void LoadTempTableTest::refusedFileLeavesTableAndSaysWhy()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = kind.startsWith('/') ? kind : dir.filePath("sensor.340");
    std::optional<LonelyFifo> fifo;
    if (kind == "fifo") {
        QVERIFY(fifo.emplace(path, false).made);
    } else if (!kind.startsWith('/')) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(bytes) == bytes.size());
        if (kind.startsWith("sparse:")) // a file of that size whose bytes cost no disk
            QVERIFY(file.resize(kind.mid(7).toLongLong()));
    }

    ModalAnswerer answerer; // a box that asks is given its default answer, No
    answerer.setAnswer([](QWidget *modal) {
        auto *asking = qobject_cast<QMessageBox *>(modal);
        (asking->defaultButton() ? asking->defaultButton() : asking->buttons().first())->click();
    });
    Window window;
    QElapsedTimer clock;
    clock.start();
    window.load(1, path);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(answerer.seen.size(), 1);
    const ModalAnswerer::Seen &box = answerer.seen.first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("LoadFromFile"));
    const QString refused = reason.endsWith('?') ? "The curve file \"%1\": %2"
                                                 : "The curve file \"%1\" was not loaded: %2.";
    QCOMPARE(box.text, refused.arg(QDir::toNativeSeparators(path), reason));
    QVERIFY(box.hasParent);
    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(window.untouched(channel), QString());
    QCOMPARE(window.unitLookups, 0);
}

void LoadTempTableTest::noFileLeavesTableSilently_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("empty path") << QString();
    QTest::newRow("missing file") << curves + "no-such-curve.340";
}

void LoadTempTableTest::noFileLeavesTableSilently()
{
    QFETCH(QString, path);
    ModalAnswerer answerer;
    Window window;
    window.load(2, path);
    QTest::qWait(50);
    QVERIFY(answerer.seen.isEmpty());
    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(window.untouched(channel), QString());
    QCOMPARE(window.unitLookups, 0);
}

// With a unit attached, loading still neither opens the port nor sends a byte: the new table
// goes to the unit only when the operator presses "Set Data".
void LoadTempTableTest::attachedUnitHearsNothing()
{
    PtyHost host;
    QVERIFY(host.start());
    ModalAnswerer answerer;
    Window window(unitsLister({&host}));

    window.load(0, curves + "platinum-rising.340");
    QCOMPARE(formatReal(window.pages[0]->tableRow(0).resistance), QStringLiteral("2.29"));
    QCOMPARE(formatReal(window.pages[0]->tableRow(0).temperature), QStringLiteral("20"));

    QTest::qWait(200);
    QCOMPARE(host.received(), QByteArray());
    QCOMPARE(window.unitLookups, 0);
    QVERIFY(answerer.seen.isEmpty());
}

void LoadTempTableTest::savedCalibrationLoadsExactly_data()
{
    QTest::addColumn<bool>("wholeUnit");
    QTest::addColumn<QByteArray>("mark"); // what an editor put first
    QTest::newRow("get-cal file") << false << QByteArray();
    QTest::newRow("backup, the page's own section") << true << QByteArray();
    QTest::newRow("backup saved with a byte-order mark") << true << QByteArray("\xEF\xBB\xBF");
}

// A saved calibration fills the page with the very floats it holds, not resampled as a curve.
void LoadTempTableTest::savedCalibrationLoadsExactly()
{
    QFETCH(bool, wholeUnit);
    QFETCH(QByteArray, mark);
    QVector<Calibration> channels;
    for (int channel = 0; channel < 4; ++channel) {
        Calibration calibration {1.0f / (3 + channel), {}};
        for (int row = 0; row < 100; ++row)
            calibration.rows.append({std::nextafter(100.0f + row / 7.0f, 1e9f) * (channel + 1),
                                     300.0f / (1 + row / 99.0f)});
        channels.append(calibration);
    }
    QTemporaryDir dir;
    QFile file(dir.filePath("saved.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        mark + (wholeUnit ? unitCalibrationText({}, channels) : calibrationFileText(channels[2])));
    file.close();
    ModalAnswerer answerer;
    Window window;

    window.load(2, file.fileName());

    QVERIFY(answerer.seen.isEmpty());
    QCOMPARE(protocol::floatBits(window.pages[2]->gain()), protocol::floatBits(channels[2].gain));
    for (int row = 0; row < 100; ++row) {
        const TempTableRow shown = window.pages[2]->tableRow(row);
        QCOMPARE(protocol::floatBits(shown.resistance),
                 protocol::floatBits(channels[2].rows[row].resistance));
        QCOMPARE(protocol::floatBits(shown.temperature),
                 protocol::floatBits(channels[2].rows[row].temperature));
    }
}

void LoadTempTableTest::cutCalibrationLeavesThePage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QVector<Calibration> channels = savedChannels();
    const QByteArray backup = unitCalibrationText({}, channels);
    const QByteArray table = calibrationFileText(channels.at(1));
    for (const int cut : cutPositions(backup))
        QTest::addRow("backup cut at %d", cut) << backup.left(cut);
    for (const int cut : cutPositions(table))
        QTest::addRow("get-cal file cut at %d", cut) << table.left(cut);
}

// A saved calibration cut short anywhere is refused, never taken for what it was nor resampled.
void LoadTempTableTest::cutCalibrationLeavesThePage()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QFile file(dir.filePath("saved.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    ModalAnswerer answerer;
    Window window;
    window.load(1, file.fileName());
    QCOMPARE(answerer.seen.size(), 1);
    const QString refused = QStringLiteral("The calibration file \"%1\" was not loaded: ")
                                .arg(QDir::toNativeSeparators(file.fileName()));
    QVERIFY2(answerer.seen.first().text.startsWith(refused),
             qPrintable(answerer.seen.first().text));
    for (int channel = 0; channel < 4; ++channel)
        QCOMPARE(window.untouched(channel), QString());
}

QTEST_MAIN(LoadTempTableTest)
#include "tst_loadtemptable.moc"
