// The logger window with the main window behind it: when a run starts and stops, what lands in
// the file and when nothing may, what the operator is told when the file will not take it, and
// the chart that shows the run.
#include "app/dialog.h"
#include "logging/chartseries.h"
#include "logging/logfile.h"
#include "tests/support/fault.h"
#include "tests/support/fifo.h"
#include "tests/support/lines.h"
#include "tests/support/modalboxes.h"
#include "tests/support/simunit.h"
#include "windows/logger.h"

#include <QChartView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

// Qt 5 keeps the chart classes in a namespace of their own; Qt 6 does not.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_USE_NAMESPACE
#endif

namespace {

const QRegularExpression rowPattern("^\\d\\d:\\d\\d:\\d\\d(\\t[^\\t\\r\\n]+)*\\r\\n$");

// The lines of the logger's charts by name, each with its points; the charts' units in order.
struct Plotted
{
    QStringList charts;
    QMap<QString, QVector<QPointF>> lines;
};

Plotted plottedBy(const Logger *logger)
{
    Plotted plotted;
    for (const QChartView *view : logger->findChildren<QChartView *>()) {
        const QList<QAbstractSeries *> series = view->chart()->series();
        plotted.charts << view->chart()->axes(Qt::Vertical).value(0)->titleText();
        for (const QAbstractSeries *each : series) {
            auto *line = qobject_cast<const QLineSeries *>(each);
            QVector<QPointF> &points = plotted.lines[line->name()];
            for (int i = 0; i < line->count(); ++i)
                points.append(line->at(i));
        }
    }
    return plotted;
}

// A main window with a logger wired to it as the "LOGGER" button wires it, shown without a modal
// run so that the test body can drive it.
struct Rig
{
    explicit Rig(
        const QString &file, PortLister lister = [] { return QList<PortEntry>(); })
    {
        window.setPortLister(std::move(lister));
        logger = new Logger(window.channelData(), &window);
        find<QLineEdit>("leFileName")->setText(file);
        // GetData is private; a string connection reaches it as the logger's own does.
        QObject::connect(logger, SIGNAL(updateData()), &window, SLOT(GetData()));
        QObject::connect(&window, &Dialog::updatedData, logger, &Logger::dataUpdated);
        logger->show();
    }
    template<typename T = QWidget> T *find(const char *name) const
    {
        return logger->findChild<T *>(QLatin1String(name));
    }
    QPushButton *start() const { return find<QPushButton>("pbStart"); }
    QTimer *timer() const
    {
        return logger->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    }
    int enabledSettings() const
    {
        int n = 0;
        for (const char *name :
             {"pbClose", "leFileName", "sbTimeOut", "cbTimeStamp", "tbFileName", "twEnables"})
            n += find(name)->isEnabled();
        return n;
    }

    Dialog window;
    Logger *logger;
};

} // namespace

class LoggerTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid() && QDir(dir.path()).removeRecursively()); }
    void startAndStopToggleTheRun_data();
    void startAndStopToggleTheRun();
    void tickedCellsChooseTheColumns();
    void rowsOnlyWhileTheRunLasts();
    void emptyFileNameIsRefused();
    void unwritableHeaderKeepsIdle_data();
    void unwritableHeaderKeepsIdle();
    void replacingAFileAsksFirst_data();
    void replacingAFileAsksFirst();
    void failingRowsAreReportedOncePerRun();
    void missingUnitIsToldOncePerRun();
    void readerThatLeftFailsTheRow();
    void halfWrittenRowIsCutBack();
    void reopeningStartsFromTheDefaults();
    // with the simulated unit
    void ticksLogTheReadingsOfTheUnit();
    void anotherUnitOnItsPortEndsTheRun();
    void readInFlightAddsNoRowAfterStopOrClose_data();
    void readInFlightAddsNoRowAfterStopOrClose();
    void failedReadOrWriteAddsNoRowToFileOrChart();
    // the chart alone
    void startClearsTheChartAndFollowsTheEnables();
    void wideRangesGoLogarithmicAndGapsAreNoted();
    void longRunStaysBoundedAndKeepsTheSpike();

private:
    QTemporaryDir dir;
    QString path(const QString &name) const
    {
        QDir().mkpath(dir.path());
        return dir.filePath(name);
    }
};

void LoggerTest::startAndStopToggleTheRun_data()
{
    QTest::addColumn<int>("seconds");
    QTest::newRow("shortest") << 1;
    QTest::newRow("longest") << 9999;
}

void LoggerTest::startAndStopToggleTheRun()
{
    QFETCH(int, seconds);
    Rig rig(path("run.txt"));
    rig.find<QSpinBox>("sbTimeOut")->setValue(seconds);

    rig.start()->click();
    QCOMPARE(rig.enabledSettings(), 0);
    QVERIFY(rig.start()->isEnabled() && rig.timer()->isActive() && !rig.timer()->isSingleShot());
    QCOMPARE(rig.timer()->interval(), seconds * 1000);
    QCOMPARE(linesOf(path("run.txt")).size(), 1);

    rig.start()->click();
    QCOMPARE(rig.enabledSettings(), 6);
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(rig.start()->text(), QStringLiteral("START"));
    QCOMPARE(linesOf(path("run.txt")).size(), 1); // stopping writes nothing
}

// Rows of the table are quantities, columns channels; the voltage row logs the current voltage.
void LoggerTest::tickedCellsChooseTheColumns()
{
    Rig rig(path("columns.txt"));
    auto *cells = rig.find<QTableWidget>("twEnables");
    for (int cell = 1; cell < 11; ++cell) {
        cells->item(cell / 4, cell % 4)->setText(QStringLiteral("x")); // text does not tick it
        cells->item(cell / 4, cell % 4)->setCheckState(Qt::Unchecked);
    }
    ChannelData *records = rig.window.channelData();
    for (int c = 0; c < 4; ++c)
        records[c] = {quint32(7 + c), 1.5f + c, 99.0f, 100.0f + c, 290.0f + c};

    rig.start()->click();
    QTest::ignoreMessage(QtDebugMsg, "update");
    emit rig.window.updatedData();

    const QList<QByteArray> lines = linesOf(path("columns.txt"));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QByteArray(";Time\tVoltage0\tTemperature3\r\n"));
    QVERIFY2(rowPattern.match(QString::fromLatin1(lines[1])).hasMatch(), lines[1].constData());
    QCOMPARE(lines[1].mid(8), QByteArray("\t1.5\t293\r\n"));
}

// Rows belong to a running log: none before START, none after the stop or the close, and a new
// START with the same name starts the file afresh.
void LoggerTest::rowsOnlyWhileTheRunLasts()
{
    const QString file = path("rows.txt");
    Rig rig(file);
    ModalAnswerer answerer;
    answerer.setAnswer([](QWidget *box) {
        qobject_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click(); // replace
    });
    emit rig.window.updatedData();
    QVERIFY(!QFile::exists(file));

    rig.start()->click();
    emit rig.window.updatedData();
    emit rig.window.updatedData();
    QCOMPARE(linesOf(file).size(), 3);
    rig.start()->click();
    emit rig.window.updatedData();
    QCOMPARE(linesOf(file).size(), 3);

    rig.start()->click();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(linesOf(file).size(), 1);
    emit rig.window.updatedData();
    QTest::keyClick(rig.logger, Qt::Key_Escape);
    QVERIFY(!rig.logger->isVisible() && !rig.timer()->isActive());
    emit rig.window.updatedData();
    QCOMPARE(linesOf(file).size(), 2);
    QVERIFY(linesOf(file).last().endsWith("\r\n"));
}

// A run with no file would read the unit for nothing: refused, with the field named.
void LoggerTest::emptyFileNameIsRefused()
{
    Rig rig {QString()};
    ModalAnswerer answerer;
    const QString before = QDir::currentPath();
    QDir::setCurrent(path(QString()));
    rig.start()->click();
    emit rig.window.updatedData();
    QDir::setCurrent(before);

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Warning"));
    QVERIFY(answerer.seen[0].text.contains("\"Logging file name\""));
    QVERIFY(!rig.timer()->isActive() && !rig.start()->isChecked());
    QCOMPARE(rig.enabledSettings(), 6);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void LoggerTest::unwritableHeaderKeepsIdle_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // empty: the system's words, whatever they are
    const QString notRegular = "not a regular file";
    const auto row = [](const char *name, const QString &fileName, const QString &kind,
                        const QString &reason) {
        QTest::newRow(name) << fileName << kind << reason;
    };
    row("missing folder", "no/such/folder/log.txt", "", "");
    row("a directory of that name", "log.txt", "directory", notRegular);
    row("device", "/dev/full", "", notRegular);
    row("named pipe with no reader", "log.txt", "fifo", notRegular);
}

// Refused at once: a named pipe with no reader must not hold START.
void LoggerTest::unwritableHeaderKeepsIdle()
{
    QFETCH(QString, fileName);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString full = fileName.startsWith('/') ? fileName : path(fileName);
    if (kind == "directory")
        QVERIFY(QDir().mkpath(full));
    const LonelyFifo fifo(full, true);
    QCOMPARE(fifo.made, kind == "fifo");
    Rig rig(full);
    ModalAnswerer answerer;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, rig.start(), &QPushButton::click);
    QTRY_COMPARE(answerer.seen.size(), 1);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
    QVERIFY2(answerer.seen[0].text.contains(full + " cannot be written: " + reason),
             qPrintable(answerer.seen[0].text));
    QVERIFY(!rig.start()->isChecked() && !rig.timer()->isActive());
    QCOMPARE(rig.enabledSettings(), 6);
}

void LoggerTest::replacingAFileAsksFirst_data()
{
    QTest::addColumn<bool>("chart"); // saving the chart's picture; else START on the log file
    QTest::addColumn<QString>("question");
    QTest::newRow("START on the log of an earlier run")
        << false << "The log file %1 already holds data. Replace it?";
    QTest::newRow("saving the chart over a picture")
        << true << "The picture %1 already exists. Replace it?";
}

// Writing over a file that holds data asks first; its default answer, No, changes nothing.
void LoggerTest::replacingAFileAsksFirst()
{
    QFETCH(bool, chart);
    QFETCH(QString, question);
    QFile file(path(chart ? "run.png" : "run.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("12:00:00\r\n") == 10);
    file.close();
    Rig rig(path("run.txt"));
    ModalAnswerer answerer;
    answerer.setAnswer(
        [](QWidget *box) { qobject_cast<QMessageBox *>(box)->defaultButton()->click(); });

    rig.find<QPushButton>(chart ? "pbSaveChart" : "pbStart")->click();

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, question.arg(QDir::toNativeSeparators(file.fileName())));
    QVERIFY(!rig.start()->isChecked() && !rig.timer()->isActive());
    QCOMPARE(rig.enabledSettings(), 6);
    QCOMPARE(linesOf(file.fileName()), QList<QByteArray>({"12:00:00\r\n"}));
}

// A file that stops taking rows in the middle of a run: one box for the run, not one per tick,
// sampling goes on, and the file is written again as soon as it can be.
void LoggerTest::failingRowsAreReportedOncePerRun()
{
    const QString file = path("rows.txt");
    Rig rig(file);
    ModalAnswerer answerer; // answers the question about the first run's file
    // No tick during the test: with no unit attached, a tick raises a box of its own.
    rig.find<QSpinBox>("sbTimeOut")->setValue(9999);
    const auto rowFailures = [&answerer] {
        int boxes = 0;
        for (const ModalAnswerer::Seen &box : answerer.seen)
            boxes += box.text.startsWith("A row could not be written to the log file");
        return boxes;
    };
    for (int run = 1; run <= 2; ++run) {
        rig.start()->click();
        QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        for (int tick = 0; tick < 3; ++tick)
            emit rig.window.updatedData();
        QTRY_COMPARE(rowFailures(), run);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(rig.timer()->isActive());

        QVERIFY(QDir().rmdir(file));
        emit rig.window.updatedData();
        QCOMPARE(linesOf(file).size(), 2); // made again, with its header
        rig.start()->click();
    }
    QCOMPARE(rowFailures(), 2);
    QCOMPARE(answerer.mostMessageBoxesAtOnce, 1);
    QVERIFY(answerer.seen.last().text.contains(file));
}

// With no unit, a run at one second tells the operator once; the ticks after go on trying
// quietly, and STOP and close still work.
void LoggerTest::missingUnitIsToldOncePerRun()
{
    Dialog window;
    window.setPortLister([] { return QList<PortEntry>(); });
    const QString log = path("run.txt");
    bool started = false;
    bool closed = false;
    ModalAnswerer answerer;
    answerer.setAnswer([&](QWidget *modal) {
        if (qobject_cast<QMessageBox *>(modal)) {
            ModalAnswerer::pressFirstButton(modal);
            return;
        }
        // The Logger comes back to the front after every box; START again would end the run.
        if (std::exchange(started, true))
            return;
        auto *logger = qobject_cast<Logger *>(modal);
        logger->findChild<QLineEdit *>("leFileName")->setText(log);
        logger->findChild<QPushButton *>("pbStart")->click();
        QTimer::singleShot(3500, logger, [logger, &closed] {
            logger->findChild<QPushButton *>("pbStart")->click();
            logger->close();
            closed = true;
        });
    });

    window.findChild<QPushButton *>("pbLogger")->click();

    QVERIFY(closed);
    int boxes = 0;
    for (const ModalAnswerer::Seen &seen : answerer.seen)
        boxes += seen.title == QLatin1String("Fatal Error");
    QCOMPARE(boxes, 1);
    QCOMPARE(linesOf(log).size(), 1); // the header alone
}

// A row written into a pipe whose reader has left fails like any other row; the tool lives on.
void LoggerTest::readerThatLeftFailsTheRow()
{
    ignoreBrokenPipes(); // as main() does
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    ::close(ends[0]);
    QFile pipe;
    QVERIFY(pipe.open(ends[1], QIODevice::WriteOnly | QIODevice::Unbuffered,
                      QFileDevice::AutoCloseHandle));
    QVERIFY(!writeLogLine(pipe, "12:00:00\t1\r\n"));
}

// A row that the file takes only part of (here the file size limit, as a full disk does) must not
// leave half a line for the next row to run into.
void LoggerTest::halfWrittenRowIsCutBack()
{
    const QString file = path("rows.txt");
    Rig rig(file);
    ModalAnswerer answerer;
    rig.start()->click();
    const QList<QByteArray> header = linesOf(file);

    rlimit before;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = rlim_t(header.value(0).size()) + 5;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    emit rig.window.updatedData();
    const QList<QByteArray> afterFailure = linesOf(file);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(afterFailure, header);
    QTRY_COMPARE(answerer.seen.size(), 1);
    emit rig.window.updatedData();
    const QList<QByteArray> lines = linesOf(file);
    QCOMPARE(lines.size(), 2);
    QVERIFY(rowPattern.match(QString::fromLatin1(lines[1])).hasMatch());
}

// Each opening is a new window: what the operator changed last time, a run included, is gone.
void LoggerTest::reopeningStartsFromTheDefaults()
{
    Dialog window;
    QStringList seen;
    ModalAnswerer answerer;
    answerer.setAnswer([&](QWidget *modal) {
        auto *logger = qobject_cast<Logger *>(modal);
        auto *cells = logger->findChild<QTableWidget *>("twEnables");
        auto *name = logger->findChild<QLineEdit *>("leFileName");
        auto *seconds = logger->findChild<QSpinBox *>("sbTimeOut");
        auto *start = logger->findChild<QPushButton *>("pbStart");
        int ticked = 0;
        for (int cell = 0; cell < 12; ++cell)
            ticked += cells->item(cell / 4, cell % 4)->checkState() == Qt::Checked;
        seen << QStringLiteral("%1 %2 %3 %4")
                    .arg(name->text(), QString::number(seconds->value()), QString::number(ticked),
                         QString::number(start->isChecked()));
        if (seen.size() == 1) {
            name->setText(path("first.txt"));
            seconds->setValue(42);
            cells->item(1, 2)->setCheckState(Qt::Unchecked);
            start->click();
        }
        QTest::keyClick(logger, Qt::Key_Escape);
    });
    auto *button = window.findChild<QPushButton *>("pbLogger");
    button->click();
    button->click();

    QCOMPARE(seen, QStringList({"output.txt 1 12 0", "output.txt 1 12 0"}));
    QVERIFY(window.findChildren<Logger *>().isEmpty());
    QCOMPARE(linesOf(path("first.txt")).value(0).count('\t'), 11);
}

void LoggerTest::ticksLogTheReadingsOfTheUnit()
{
    PtyHost unit;
    QVERIFY(unit.start());
    Rig rig(path("unit.txt"), unitsLister({&unit}));
    QSignalSpy updated(&rig.window, &Dialog::updatedData);
    rig.start()->click();
    QTest::qWait(150);
    QCOMPARE(updated.count(), 0); // the first sample comes one period after START

    rig.timer()->setInterval(50);
    QTRY_VERIFY(updated.count() >= 3);
    rig.start()->click();

    const QList<QByteArray> lines = linesOf(path("unit.txt"));
    QCOMPARE(lines.size(), 1 + updated.count());
    for (const QByteArray &row : lines.mid(1))
        QVERIFY2(rowPattern.match(QString::fromLatin1(row)).hasMatch(), row.constData());
    const ChannelData *last = rig.window.channelData();
    const QList<QByteArray> fields = lines.last().chopped(2).split('\t');
    QCOMPARE(fields.size(), 13);
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(fields[1 + 3 * c], QByteArray::number(last[c].currentVoltage, 'g', 6));
        QCOMPARE(fields[2 + 3 * c], QByteArray::number(last[c].resistance, 'g', 6));
        QCOMPARE(fields[3 + 3 * c], QByteArray::number(last[c].temperature, 'g', 6));
    }
}

// The run's unit is unplugged and another one shows under its port name: the run ends with one
// box, and nothing is asked of the other unit.
void LoggerTest::anotherUnitOnItsPortEndsTheRun()
{
    PtyHost unit;
    PtyHost stranger;
    QVERIFY(unit.start() && stranger.start());
    const QString firstPort = unit.portPath();
    bool unplugged = false;
    Dialog window;
    window.setPortLister([&] {
        if (!unplugged)
            return unitsLister({&unit})();
        QList<PortEntry> listed = unitsLister({&stranger})();
        listed[0].portName = firstPort;
        return listed;
    });
    const QString file = path("unit.txt");
    QStringList boxes;
    ModalAnswerer answerer;
    // The run is driven from inside the Logger's modal run, as the operator would.
    answerer.setAnswer([&](QWidget *modal) {
        auto *logger = qobject_cast<Logger *>(modal);
        logger->findChild<QLineEdit *>("leFileName")->setText(file);
        logger->findChild<QPushButton *>("pbStart")->click();
        logger->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly)->setInterval(50);
        QTRY_VERIFY(linesOf(file).size() >= 3);
        unplugged = true;
        unit.hangUp();
        QTRY_VERIFY(!logger->isLogging());
        for (const QMessageBox *box : logger->findChildren<QMessageBox *>())
            boxes << box->text();
        logger->close();
    });
    window.findChild<QPushButton *>("pbLogger")->click();

    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].contains(firstPort), qPrintable(boxes[0]));
    QVERIFY(stranger.received().isEmpty());
}

void LoggerTest::readInFlightAddsNoRowAfterStopOrClose_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("stopped") << false;
    QTest::newRow("closed") << true;
}

void LoggerTest::readInFlightAddsNoRowAfterStopOrClose()
{
    QFETCH(bool, close);
    PtyHost unit;
    QVERIFY(unit.start());
    unit.setMisbehaviour(fault(Misbehaviour::Late, 16, -1, 100));
    Rig rig(path("inflight.txt"), unitsLister({&unit}));
    rig.start()->click();
    QSignalSpy updated(&rig.window, &Dialog::updatedData);
    // The operator acts while the reading waits; each stage has time to spare on a loaded machine.
    QTimer::singleShot(40, rig.logger, [&] {
        if (close)
            rig.logger->close();
        else
            rig.start()->click();
    });

    emit rig.logger->updateData();

    QCOMPARE(updated.count(), 1);
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(linesOf(path("inflight.txt")).size(), 1);
}

// Every line carries exactly the values of its column in the file, at the row's time: a failed read
// and a failed write add to neither, and the next tick that reads and writes adds its row again.
void LoggerTest::failedReadOrWriteAddsNoRowToFileOrChart()
{
    PtyHost unit;
    QVERIFY(unit.start());
    const QString file = path("chart.txt");
    Rig rig(file, unitsLister({&unit}));
    ModalAnswerer answerer;
    auto *cells = rig.find<QTableWidget>("twEnables");
    cells->item(0, 0)->setCheckState(Qt::Unchecked);
    cells->item(1, 2)->setCheckState(Qt::Unchecked);
    rig.start()->click();

    QTest::ignoreMessage(QtDebugMsg, "Error! Wrong data");
    for (int tick = 0; tick < 6; ++tick) {
        if (tick == 2)
            unit.setMisbehaviour(fault(Misbehaviour::Silent, 12, 1));
        if (tick == 4)
            QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        if (tick == 5)
            QVERIFY(QDir().rmdir(file) && QFile::copy(path("kept.txt"), file));
        emit rig.logger->updateData();
        if (tick == 3)
            QVERIFY(QFile::copy(file, path("kept.txt")));
    }
    QTRY_COMPARE(answerer.seen.size(), 1);

    const QList<QByteArray> lines = linesOf(file);
    QCOMPARE(lines.size(), 1 + 4);
    const QList<QByteArray> header = lines[0].chopped(2).split('\t');
    const Plotted plotted = plottedBy(rig.logger);
    QCOMPARE(plotted.lines.size(), header.size() - 1);
    for (int column = 1; column < header.size(); ++column) {
        const QVector<QPointF> points = plotted.lines.value(QString::fromLatin1(header[column]));
        QCOMPARE(points.size(), lines.size() - 1);
        for (int row = 1; row < lines.size(); ++row) {
            const QList<QByteArray> fields = lines[row].chopped(2).split('\t');
            const QPointF point = points[row - 1];
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(qint64(point.x())).toString("hh:mm:ss"),
                     QString::fromLatin1(fields[0]));
            QCOMPARE(QByteArray::number(point.y(), 'g', 6), fields[column]);
        }
    }
}

// START draws the run that starts from nothing, with the lines its enables ask for; STOP keeps the
// finished run in view, and the button puts it next to the log file.
void LoggerTest::startClearsTheChartAndFollowsTheEnables()
{
    Rig rig(path("run.txt"));
    rig.start()->click();
    emit rig.window.updatedData();
    emit rig.window.updatedData();
    rig.start()->click();
    Plotted plotted = plottedBy(rig.logger);
    QCOMPARE(plotted.charts.size(), 3);
    QCOMPARE(plotted.lines.size(), 12);
    for (const auto &points : qAsConst(plotted.lines))
        QCOMPARE(points.size(), 2);

    rig.find<QPushButton>("pbSaveChart")->click();
    QImage picture(path("run.png"));
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.size(), rig.find("chart")->size() * rig.logger->devicePixelRatioF());

    auto *cells = rig.find<QTableWidget>("twEnables");
    for (int channel = 0; channel < 4; ++channel)
        cells->item(LogResistance, channel)->setCheckState(Qt::Unchecked);
    cells->item(LogTemperature, 1)->setCheckState(Qt::Unchecked);
    QVERIFY(QFile::remove(path("run.txt"))); // no question about replacing the first run
    rig.start()->click();
    plotted = plottedBy(rig.logger);
    QCOMPARE(plotted.charts, QStringList({"V", "K"}));
    QCOMPARE(plotted.lines.keys(),
             QStringList({"Temperature0", "Temperature2", "Temperature3", "Voltage0", "Voltage1",
                          "Voltage2", "Voltage3"}));
    for (const auto &points : qAsConst(plotted.lines))
        QVERIFY(points.isEmpty());
}

// A cool-down from 300 K to 4 K spans two decades and stays linear; an infinity breaks its line,
// is named under the charts and leaves the axis to the readings after it; a channel at the
// float's limit spreads the chart over dozens and turns it logarithmic.
void LoggerTest::wideRangesGoLogarithmicAndGapsAreNoted()
{
    Rig rig(path("wide.txt"));
    rig.start()->click();
    ChannelData *records = rig.window.channelData();
    const auto temperatureAxis = [&rig] {
        const auto views = rig.logger->findChildren<QChartView *>();
        return views.last()->chart()->axes(Qt::Vertical).value(0);
    };
    const float temperatures[] = {300, 4, std::numeric_limits<float>::infinity(), 3.4e38f, 290};
    const bool logarithmic[] = {false, false, false, true, true};
    for (int row = 0; row < 5; ++row) {
        for (int c = 0; c < 4; ++c)
            records[c] = {0, 1, 0, 100, 300};
        records[1].temperature = temperatures[row];
        emit rig.window.updatedData();
        QCOMPARE(temperatureAxis()->type() == QAbstractAxis::AxisTypeLogValue, logarithmic[row]);
    }
    const double top = temperatureAxis()->property("max").toDouble();
    QVERIFY2(std::isfinite(top) && top >= 3.4e38, qPrintable(QString::number(top)));
    auto *note = rig.logger->findChild<QLabel *>("gapNote");
    QVERIFY(note && note->isVisible());
    QVERIFY2(note->text().contains("Temperature1") && !note->text().contains("Temperature0"),
             qPrintable(note->text()));
    const QVector<QPointF> line = plottedBy(rig.logger).lines.value("Temperature1");
    QCOMPARE(line.size(), 4); // both sides of the gap, the gap itself not
}

// A run of days at one reading a second: the chart keeps its bound, and a short spike in the
// middle of it still shows.
void LoggerTest::longRunStaysBoundedAndKeepsTheSpike()
{
    Rig rig(path("long.txt"));
    rig.start()->click();
    ChannelData *records = rig.window.channelData();
    const int rows = 5 * ThinnedSeries::DefaultLimit;
    for (int row = 0; row < rows; ++row) {
        for (int c = 0; c < 4; ++c)
            records[c] = {0, 1.0f + c, 0, 100.0f + c, 300.0f - row * 0.01f};
        if (row == rows / 2)
            records[2].temperature = 900;
        emit rig.window.updatedData();
    }
    QCOMPARE(linesOf(path("long.txt")).size(), 1 + rows);

    const Plotted plotted = plottedBy(rig.logger);
    QCOMPARE(plotted.lines.size(), 12);
    for (const auto &points : qAsConst(plotted.lines))
        QVERIFY(points.size() <= ThinnedSeries::DefaultLimit && !points.isEmpty());
    const QVector<QPointF> spiked = plotted.lines.value("Temperature2");
    QCOMPARE(std::max_element(spiked.begin(), spiked.end(),
                              [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); })
                 ->y(),
             900.0);
}

QTEST_MAIN(LoggerTest)
#include "tst_logger.moc"
