// The logger window with the main window behind it: when a run starts and stops, what lands in
// the file and when nothing may, and what the operator is told when the file will not take it.
#include "app/dialog.h"
#include "logging/logger.h"
#include "sim/ptyhost.h"
#include "tests/support/modalboxes.h"
#include "tests/support/simunit.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QRegularExpression rowPattern("^\\d\\d:\\d\\d:\\d\\d(\\t[^\\t\\r\\n]+)*\\r\\n$");

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Lines of a log file, each with its CR LF; the last one is whole when the file ends in CR LF.
QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines;
    int from = 0;
    for (int end; (end = text.indexOf("\r\n", from)) >= 0; from = end + 2)
        lines.append(text.mid(from, end + 2 - from));
    if (from < text.size())
        lines.append(text.mid(from));
    return lines;
}

// A main window with a logger opened on it and wired as the "LOGGER" button wires it, but shown
// without a modal run, so the test body can drive it.
struct Rig
{
    explicit Rig(PortLister lister = [] { return QList<PortEntry>(); })
    {
        window.setPortLister(std::move(lister));
        logger = new Logger(&window);
        // GetData is the window's private slot; a string connection reaches it as the button's
        // does.
        QObject::connect(logger, SIGNAL(updateData()), &window, SLOT(GetData()));
        QObject::connect(&window, &Dialog::updatedData, logger, &Logger::dataUpdated);
        logger->show();
    }
    template<typename T> T *find(const char *name) const
    {
        return logger->findChild<T *>(QLatin1String(name));
    }
    QPushButton *start() const { return find<QPushButton>("pbStart"); }
    QTimer *timer() const
    {
        return logger->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    }
    QTableWidget *cells() const { return find<QTableWidget>("twEnables"); }
    void useFile(const QString &name) { find<QLineEdit>("leFileName")->setText(name); }
    QList<QWidget *> settings() const
    {
        return {find<QWidget>("pbClose"), find<QWidget>("leFileName"), find<QWidget>("sbTimeOut"),
                find<QWidget>("tbFileName"), find<QWidget>("twEnables")};
    }
    bool settingsEnabled() const
    {
        const auto all = settings();
        return std::all_of(all.begin(), all.end(), [](QWidget *w) { return w->isEnabled(); });
    }
    bool settingsDisabled() const
    {
        const auto all = settings();
        return std::none_of(all.begin(), all.end(), [](QWidget *w) { return w->isEnabled(); });
    }

    Dialog window;
    Logger *logger;
};

} // namespace

class LoggerTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startAndStopToggleTheRun_data();
    void startAndStopToggleTheRun();
    void tickedCellsChooseTheColumns_data();
    void tickedCellsChooseTheColumns();
    void rowsOnlyWhileTheRunLasts();
    void emptyFileNameReadsButWritesNothing();
    void unwritableHeaderKeepsIdle_data();
    void unwritableHeaderKeepsIdle();
    void failingRowsAreReportedOncePerRun();
    void halfWrittenRowIsCutBack();
    void chooserSetsOrKeepsTheName_data();
    void chooserSetsOrKeepsTheName();
    void reopeningStartsFromTheDefaults();

    // with the simulated unit
    void ticksLogTheReadingsOfTheUnit();
    void failedReadAddsNoRow();
    void slowUnitKeepsReadsApartAndRowsWhole();
    void readInFlightAddsNoRowAfterStopOrClose_data();
    void readInFlightAddsNoRowAfterStopOrClose();

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void LoggerTest::init()
{
    QVERIFY(dir.isValid());
    for (const QString &name : QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries))
        QVERIFY(QFileInfo(path(name)).isDir() ? QDir(path(name)).removeRecursively()
                                              : QFile::remove(path(name)));
}

void LoggerTest::startAndStopToggleTheRun_data()
{
    QTest::addColumn<int>("seconds");
    QTest::newRow("shortest") << 1;
    QTest::newRow("a minute") << 60;
    QTest::newRow("longest") << 9999;
}

void LoggerTest::startAndStopToggleTheRun()
{
    QFETCH(int, seconds);
    Rig rig;
    rig.useFile(path("run.txt"));
    rig.find<QSpinBox>("sbTimeOut")->setValue(seconds);

    rig.start()->click();
    QVERIFY(rig.settingsDisabled());
    QVERIFY(rig.start()->isEnabled() && rig.start()->isChecked());
    QVERIFY(rig.timer()->isActive() && !rig.timer()->isSingleShot());
    QCOMPARE(rig.timer()->interval(), seconds * 1000);
    QCOMPARE(rig.start()->text(), QStringLiteral("START"));
    const QByteArray header = contents(path("run.txt"));
    QVERIFY(header.startsWith(";Time\tVoltage0\t"));

    rig.start()->click();
    QVERIFY(rig.settingsEnabled());
    QVERIFY(!rig.start()->isChecked() && !rig.timer()->isActive());
    QCOMPARE(rig.start()->text(), QStringLiteral("START"));
    QCOMPARE(contents(path("run.txt")), header);
}

void LoggerTest::tickedCellsChooseTheColumns_data()
{
    QTest::addColumn<QList<int>>("unticked"); // cell numbers row * 4 + column
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("values");
    QList<int> allButTwo;
    for (int cell = 0; cell < 12; ++cell)
        if (cell != 0 && cell != 11)
            allButTwo.append(cell);
    QTest::newRow("none unticked")
        << QList<int>()
        << QByteArray(";Time\tVoltage0\tResistance0\tTemperature0\tVoltage1\tResistance1\t"
                      "Temperature1\tVoltage2\tResistance2\tTemperature2\tVoltage3\tResistance3\t"
                      "Temperature3\r\n")
        << QByteArray("\t1.5\t100\t290\t2.5\t101\t291\t3.5\t102\t292\t4.5\t103\t293");
    QTest::newRow("only first voltage and last temperature")
        << allButTwo << QByteArray(";Time\tVoltage0\tTemperature3\r\n") << QByteArray("\t1.5\t293");
    QTest::newRow("a column and a row off")
        << QList<int> {1, 5, 9, 8, 10, 11}
        << QByteArray(
               ";Time\tVoltage0\tResistance0\tVoltage2\tResistance2\tVoltage3\tResistance3\r\n")
        << QByteArray("\t1.5\t100\t3.5\t102\t4.5\t103");
    QList<int> all;
    for (int cell = 0; cell < 12; ++cell)
        all.append(cell);
    QTest::newRow("all unticked") << all << QByteArray(";Time\r\n") << QByteArray();
}

void LoggerTest::tickedCellsChooseTheColumns()
{
    QFETCH(QList<int>, unticked);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, values);
    Rig rig;
    rig.useFile(path("columns.txt"));
    for (int cell : unticked) {
        // Text typed into a cell does not tick it.
        rig.cells()->item(cell / 4, cell % 4)->setText(QStringLiteral("x"));
        rig.cells()->item(cell / 4, cell % 4)->setCheckState(Qt::Unchecked);
    }
    ChannelData *records = rig.window.channelData();
    for (int c = 0; c < 4; ++c)
        records[c] = {quint32(7 + c), 1.5f + c, 99.0f, 100.0f + c, 290.0f + c};

    rig.start()->click();
    QTest::ignoreMessage(QtDebugMsg, "update");
    emit rig.window.updatedData();

    const QList<QByteArray> lines = linesOf(contents(path("columns.txt")));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], header);
    QVERIFY2(rowPattern.match(QString::fromLatin1(lines[1])).hasMatch(), lines[1].constData());
    QCOMPARE(lines[1].mid(8), values + "\r\n");
}

// Rows belong to a running log: none before START, none after the stop or the close, and a new
// START with the same name starts the file afresh.
void LoggerTest::rowsOnlyWhileTheRunLasts()
{
    Rig rig;
    rig.useFile(path("rows.txt"));
    emit rig.window.updatedData();
    QVERIFY(!QFile::exists(path("rows.txt")));

    rig.start()->click();
    emit rig.window.updatedData();
    emit rig.window.updatedData();
    QCOMPARE(linesOf(contents(path("rows.txt"))).size(), 3);
    rig.start()->click();
    emit rig.window.updatedData();
    QCOMPARE(linesOf(contents(path("rows.txt"))).size(), 3);

    rig.start()->click();
    QCOMPARE(linesOf(contents(path("rows.txt"))).size(), 1);
    emit rig.window.updatedData();
    QTest::keyClick(rig.logger, Qt::Key_Escape);
    QVERIFY(!rig.logger->isVisible() && !rig.timer()->isActive());
    emit rig.window.updatedData();
    QCOMPARE(linesOf(contents(path("rows.txt"))).size(), 2);
    QVERIFY(contents(path("rows.txt")).endsWith("\r\n"));
}

void LoggerTest::emptyFileNameReadsButWritesNothing()
{
    Rig rig;
    rig.useFile(QString());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    rig.start()->click();
    emit rig.window.updatedData();
    const bool running = rig.timer()->isActive();
    QDir::setCurrent(before);

    QVERIFY(running);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void LoggerTest::unwritableHeaderKeepsIdle_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("prepare"); // "dir": a directory of that name; "ro": no permission
    QTest::newRow("missing folder") << "no/such/folder/log.txt"
                                    << "";
    QTest::newRow("a directory of that name") << "log.txt"
                                              << "dir";
    QTest::newRow("no permission") << "locked/log.txt"
                                   << "ro";
    QTest::newRow("disk full") << "/dev/full"
                               << "";
}

void LoggerTest::unwritableHeaderKeepsIdle()
{
    QFETCH(QString, fileName);
    QFETCH(QString, prepare);
    if (prepare == "ro" && geteuid() == 0)
        QSKIP("permissions do not bind the super-user");
    const QString full = fileName.startsWith('/') ? fileName : path(fileName);
    if (prepare == "dir")
        QVERIFY(QDir().mkpath(full));
    if (prepare == "ro") {
        QVERIFY(QDir().mkpath(path("locked")));
        QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner);
    }
    Rig rig;
    rig.useFile(full);
    ModalAnswerer answerer;
    QTimer::singleShot(0, rig.start(), &QPushButton::click);
    QTRY_COMPARE(answerer.seen.size(), 1);
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
    QVERIFY2(answerer.seen[0].text.contains(full), qPrintable(answerer.seen[0].text));
    QVERIFY(!rig.start()->isChecked() && !rig.timer()->isActive());
    QVERIFY(rig.settingsEnabled());
}

// A file that stops taking rows in the middle of a run: one box for the run, not one per tick,
// sampling goes on, and the file is written again as soon as it can be.
void LoggerTest::failingRowsAreReportedOncePerRun()
{
    Rig rig;
    ModalAnswerer answerer;
    const QString file = path("rows.txt");
    rig.useFile(file);
    for (int run = 1; run <= 2; ++run) {
        rig.start()->click();
        QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        for (int tick = 0; tick < 3; ++tick)
            emit rig.window.updatedData();
        QTRY_COMPARE(answerer.seen.size(), run);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(rig.timer()->isActive());

        QVERIFY(QDir().rmdir(file));
        emit rig.window.updatedData();
        QCOMPARE(linesOf(contents(file)).size(), 1); // written again, with no header
        rig.start()->click();
    }
    QCOMPARE(answerer.mostMessageBoxesAtOnce, 1);
    QVERIFY(answerer.seen[0].text.contains(file));
}

// A row that the file takes only part of (here the file size limit, as a full disk does) must not
// leave half a line for the next row to run into.
void LoggerTest::halfWrittenRowIsCutBack()
{
    Rig rig;
    ModalAnswerer answerer;
    const QString file = path("rows.txt");
    rig.useFile(file);
    rig.start()->click();
    const QByteArray header = contents(file);

    rlimit before;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = rlim_t(header.size() + 5);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    emit rig.window.updatedData();
    const QByteArray afterFailure = contents(file);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(afterFailure, header);
    QTRY_COMPARE(answerer.seen.size(), 1);
    emit rig.window.updatedData();
    const QList<QByteArray> lines = linesOf(contents(file));
    QCOMPARE(lines.size(), 2);
    QVERIFY(rowPattern.match(QString::fromLatin1(lines[1])).hasMatch());
}

void LoggerTest::chooserSetsOrKeepsTheName_data()
{
    QTest::addColumn<bool>("choose");
    QTest::newRow("cancelled") << false;
    QTest::newRow("chosen") << true;
}

void LoggerTest::chooserSetsOrKeepsTheName()
{
    QFETCH(bool, choose);
    Rig rig;
    const QString chosen = path("chosen.txt");
    ModalAnswerer answerer;
    answerer.setAnswer([&](QWidget *modal) {
        auto *chooser = qobject_cast<QFileDialog *>(modal);
        if (chooser && choose) {
            // Typed, as the operator would: selectFile() races the chooser's folder listing.
            chooser->findChild<QLineEdit *>("fileNameEdit")->setText(chosen);
            QMetaObject::invokeMethod(chooser, "accept");
        } else if (chooser) {
            chooser->reject();
        }
    });
    QTest::ignoreMessage(QtDebugMsg, "File name");
    rig.find<QToolButton>("tbFileName")->click();

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Logging file..."));
    QCOMPARE(rig.find<QLineEdit>("leFileName")->text(), choose ? chosen : "output.txt");
}

// Each opening is a new window: what the operator changed last time, a run included, is gone.
void LoggerTest::reopeningStartsFromTheDefaults()
{
    Dialog window;
    window.setPortLister([] { return QList<PortEntry>(); });
    int openings = 0;
    QStringList seen;
    ModalAnswerer answerer;
    answerer.setAnswer([&](QWidget *modal) {
        auto *logger = qobject_cast<Logger *>(modal);
        if (!logger)
            return ModalAnswerer::pressFirstButton(modal);
        auto *cells = logger->findChild<QTableWidget *>("twEnables");
        int ticked = 0;
        for (int cell = 0; cell < 12; ++cell)
            ticked += cells->item(cell / 4, cell % 4)->checkState() == Qt::Checked;
        auto *start = logger->findChild<QPushButton *>("pbStart");
        seen << QStringLiteral("%1 %2 %3 %4")
                    .arg(logger->findChild<QLineEdit *>("leFileName")->text())
                    .arg(logger->findChild<QSpinBox *>("sbTimeOut")->value())
                    .arg(ticked)
                    .arg(start->isChecked());
        if (++openings == 1) {
            logger->findChild<QLineEdit *>("leFileName")->setText(path("first.txt"));
            logger->findChild<QSpinBox *>("sbTimeOut")->setValue(42);
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
    QCOMPARE(contents(path("first.txt")).count('\t'), 11);
}

void LoggerTest::ticksLogTheReadingsOfTheUnit()
{
    PtyHost unit;
    QVERIFY(unit.start());
    Rig rig(unitsLister({&unit}));
    rig.useFile(path("unit.txt"));
    QSignalSpy updated(&rig.window, &Dialog::updatedData);
    rig.start()->click();
    QTest::qWait(150);
    QCOMPARE(updated.count(), 0); // the first sample comes one period after START

    rig.timer()->setInterval(50);
    QTRY_VERIFY(updated.count() >= 3);
    rig.start()->click();

    const QList<QByteArray> lines = linesOf(contents(path("unit.txt")));
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

void LoggerTest::failedReadAddsNoRow()
{
    PtyHost unit;
    QVERIFY(unit.start());
    Rig rig(unitsLister({&unit}));
    rig.useFile(path("gap.txt"));
    rig.start()->click();
    Misbehaviour silent;
    silent.mode = Misbehaviour::Silent;
    silent.onlyForCode = 12;
    silent.times = 1;
    unit.setMisbehaviour(silent);

    QTest::ignoreMessage(QtDebugMsg, "Error! Wrong data");
    emit rig.logger->updateData();
    QCOMPARE(linesOf(contents(path("gap.txt"))).size(), 1);
    emit rig.logger->updateData();
    QCOMPARE(linesOf(contents(path("gap.txt"))).size(), 2);
}

// Ticks far quicker than the unit answers: every read that completes adds exactly one whole row,
// and reads never overlap on the wire.
void LoggerTest::slowUnitKeepsReadsApartAndRowsWhole()
{
    PtyHost unit;
    QVERIFY(unit.start());
    Misbehaviour late;
    late.mode = Misbehaviour::Late;
    late.delayMs = 80;
    late.onlyForCode = 0;
    unit.setMisbehaviour(late);
    Rig rig(unitsLister({&unit}));
    rig.useFile(path("slow.txt"));
    QSignalSpy updated(&rig.window, &Dialog::updatedData);
    rig.start()->click();
    rig.timer()->setInterval(10);
    QTest::qWait(600);
    rig.start()->click();

    QVERIFY(updated.count() >= 2);
    const QList<QByteArray> lines = linesOf(contents(path("slow.txt")));
    QCOMPARE(lines.size(), 1 + updated.count());
    for (const QByteArray &row : lines.mid(1))
        QVERIFY(rowPattern.match(QString::fromLatin1(row)).hasMatch());
    const QByteArray cycle = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f101112131e1f");
    QCOMPARE(unit.received(), cycle.repeated(updated.count()));
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
    Misbehaviour late;
    late.mode = Misbehaviour::Late;
    late.delayMs = 150;
    late.onlyForCode = 16;
    unit.setMisbehaviour(late);
    Rig rig(unitsLister({&unit}));
    rig.useFile(path("inflight.txt"));
    rig.start()->click();
    QSignalSpy updated(&rig.window, &Dialog::updatedData);
    // The operator acts while the read waits for its last measurement.
    QTimer::singleShot(60, rig.logger, [&] {
        if (close)
            rig.logger->close();
        else
            rig.start()->click();
    });

    emit rig.logger->updateData();

    QCOMPARE(updated.count(), 1);
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(linesOf(contents(path("inflight.txt"))).size(), 1);
}

QTEST_MAIN(LoggerTest)
#include "tst_logger.moc"
