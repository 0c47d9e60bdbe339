// The main window as the operator first meets it, and its ways out.
#include "app/dialog.h"
#include "tests/support/modalboxes.h"
#include "windows/calibrationwidget.h"
#include "windows/logger.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void firstViewIsTheDataPageOfZerosAndAPagePerChannel();
    void pageButtonsEmitTheirOwnPage_data();
    void pageButtonsEmitTheirOwnPage();
    void waysOutEndTheEventLoop_data();
    void waysOutEndTheEventLoop();
    void windowsOpenShowingTheirTables_data();
    void windowsOpenShowingTheirTables();
    void choosersStartAtTheirFile_data();
    void choosersStartAtTheirFile();
};

// As the operator first meets it: on the Data page, a table of zeros that mouse and keys can
// neither change nor select, a page for each channel, both relays off, and no box.
void MainWindowTest::firstViewIsTheDataPageOfZerosAndAPagePerChannel()
{
    ModalAnswerer answerer;
    Dialog w;
    w.setPortLister([] { return QList<PortEntry>(); });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(50);

    auto *tabs = w.findChild<QTabWidget *>("tabWidget");
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->count(), 5);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Data"));
    for (int i = 1; i <= 4; ++i) {
        QCOMPARE(tabs->tabText(i), QStringLiteral("Channel%1").arg(i));
        auto *page = qobject_cast<calibrationWidget *>(tabs->widget(i));
        QVERIFY(page);
        QCOMPARE(page->channel(), i - 1);
    }
    auto *table = w.findChild<QTableWidget *>("twData");
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(table->columnCount(), 4);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 4; ++c)
            QCOMPARE(table->item(r, c)->text(), QStringLiteral("0"));
    QVERIFY(!w.findChild<QCheckBox *>("cbRelay1")->isChecked());
    QVERIFY(!w.findChild<QCheckBox *>("cbRelay2")->isChecked());
    QVERIFY(answerer.seen.isEmpty());

    const QRect cell = table->visualItemRect(table->item(1, 1));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClicks(table->viewport(), "42");
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("0"));
    QVERIFY(table->selectedItems().isEmpty());
    QVERIFY(!table->isPersistentEditorOpen(table->item(1, 1)));
}

void MainWindowTest::pageButtonsEmitTheirOwnPage_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("signal");
    QTest::newRow("Get Data") << "pbGetData" << SIGNAL(getEepromData(QWidget *));
    QTest::newRow("Set Data") << "pbSetData" << SIGNAL(setEepromData(QWidget *));
    QTest::newRow("Write EEPROM") << "pbWriteEeprom" << SIGNAL(writeEeprom(QWidget *));
    QTest::newRow("LoadFromFile") << "pbLoadFromFile" << SIGNAL(loadTempTable(QWidget *));
}

// Every page's button announces that page and no other: the window acts on the channel of the
// tab in which the button was pressed.
void MainWindowTest::pageButtonsEmitTheirOwnPage()
{
    QFETCH(QString, button);
    QFETCH(QString, signal);
    Dialog w;
    w.setPortLister([] { return QList<PortEntry>(); });
    auto *tabs = w.findChild<QTabWidget *>("tabWidget");

    QList<QSignalSpy *> spies;
    for (int i = 1; i <= 4; ++i)
        spies.append(new QSignalSpy(tabs->widget(i), signal.toLatin1().constData()));

    ModalAnswerer answerer; // in case a slot wants a unit that is not there
    qobject_cast<calibrationWidget *>(tabs->widget(3))->makeForm();
    tabs->widget(3)->findChild<QPushButton *>(button)->click();

    for (int i = 0; i < 4; ++i)
        QCOMPARE(spies[i]->count(), i == 2 ? 1 : 0);
    QCOMPARE(spies[2]->first().at(0).value<QWidget *>(), tabs->widget(3));
    qDeleteAll(spies);
}

void MainWindowTest::waysOutEndTheEventLoop_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("Close button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("window closed") << 2;
}

void MainWindowTest::waysOutEndTheEventLoop()
{
    QFETCH(int, way);
    Dialog w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The application's own loop, as main() runs it: the last window closing must end it.
    QTimer::singleShot(0, &w, [&] {
        if (way == 0)
            w.findChild<QPushButton *>("pushButton")->click();
        else if (way == 1)
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            w.close();
    });
    QTimer guard; // ends the loop of a window that stays
    connect(&guard, &QTimer::timeout, qApp, [] { qApp->exit(1); });
    guard.start(5000);
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!w.isVisible());
}

void MainWindowTest::windowsOpenShowingTheirTables_data()
{
    QTest::addColumn<int>("page"); // of the main window; -1: the Logger
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QSize>("least");
    QTest::newRow("data table") << 0 << "twData" << 5 << QSize(565, 301);
    QTest::newRow("calibration table") << 1 << "twTempTable" << 10 << QSize(565, 301);
    QTest::newRow("calibration table behind the first")
        << 3 << "twTempTable" << 10 << QSize(565, 301);
    QTest::newRow("logger's enables") << -1 << "twEnables" << 3 << QSize(504, 224);
}

// At its first size and the font it runs with, a window shows every column of its table with no
// sideways scrolling, and at least the given number of rows whole.
void MainWindowTest::windowsOpenShowingTheirTables()
{
    QFETCH(int, page);
    QFETCH(QString, table);
    QFETCH(int, rows);
    QFETCH(QSize, least);
    Dialog main;
    main.findChild<QTabWidget *>("tabWidget")->setCurrentIndex(qMax(page, 0));
    Logger log(main.channelData(), &main);
    QWidget *window = page < 0 ? static_cast<QWidget *>(&log) : &main;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QCOMPARE(window->size().expandedTo(least), window->size());
    // The table on the page shown: the calibration pages behind it each hold one of that name.
    QWidget *shown = page < 0 ? window : main.findChild<QTabWidget *>("tabWidget")->currentWidget();
    auto *view = shown->findChild<QTableWidget *>(table);
    const int column = view->columnCount() - 1;
    QVERIFY(!view->horizontalScrollBar()->isVisibleTo(view));
    QVERIFY(view->columnViewportPosition(column) + view->columnWidth(column)
            <= view->viewport()->width());
    QVERIFY(view->rowViewportPosition(rows - 1) + view->rowHeight(rows - 1)
            <= view->viewport()->height());
    QCOMPARE(view->verticalScrollBar()->isVisibleTo(view), rows < view->rowCount());
}

void MainWindowTest::choosersStartAtTheirFile_data()
{
    QTest::addColumn<bool>("logger");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("filters"); // empty: not checked
    QTest::newRow("curve") << false << "tbLoadTable"
                           << QStringList {"Curves and calibrations (*.340 *.txt *.dat *.tsv)",
                                           "Curve files (*.340 *.txt *.dat)",
                                           "Calibration files and backups (*.tsv *.txt)",
                                           "All files (*)"};
    QTest::newRow("log") << true << "tbFileName" << QStringList {};
}

void MainWindowTest::choosersStartAtTheirFile()
{
    QFETCH(bool, logger);
    QFETCH(QString, button);
    QFETCH(QStringList, filters);
    QTemporaryDir folder;
    Dialog main;
    Logger log(main.channelData(), &main);
    QWidget *window = logger ? static_cast<QWidget *>(&log)
                             : main.findChild<QTabWidget *>("tabWidget")->widget(1);
    window->findChild<QLineEdit *>("leFileName")->setText(folder.filePath("file.340"));
    QString shownFolder;
    QStringList shownFilters;
    ModalAnswerer answerer;
    answerer.setAnswer([&](QWidget *modal) {
        if (auto *chooser = qobject_cast<QFileDialog *>(modal)) {
            shownFolder = chooser->directory().canonicalPath();
            shownFilters = chooser->nameFilters();
        }
        qobject_cast<QDialog *>(modal)->reject();
    });
    window->findChild<QToolButton *>(button)->click();

    QCOMPARE(shownFolder, QDir(folder.path()).canonicalPath());
    if (!filters.isEmpty())
        QCOMPARE(shownFilters, filters);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
