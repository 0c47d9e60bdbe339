// A calibration file read back line by line, and the words for values that cannot go out; a whole
// unit's file, and the store that keeps such files as backups.
#include "calibration/backupstore.h"
#include "calibration/calibrationcheck.h"
#include "calibration/calibrationfile.h"

#include <QtTest>

class CalibrationFileTest : public QObject
{
    Q_OBJECT

private slots:
    void everyLineIsARowOrSaysWhy_data();
    void everyLineIsARowOrSaysWhy();
    void unitFileWantsEveryGain();
    void backupsKeepTheNewest();
};

void CalibrationFileTest::everyLineIsARowOrSaysWhy_data()
{
    QTest::addColumn<QByteArray>("line59"); // row 57 of a whole table of a falling sensor
    QTest::addColumn<QString>("problem"); // the file's, or else its values'
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
    QTest::newRow("close, yet back") << QByteArray("154.99999\t244")
                                     << "row 57, Resistance (Ohm), goes back (154.999985 after "
                                        "155)";
    QTest::newRow("zero kelvin") << QByteArray("156\t0")
                                 << "row 57, Temperature (K), is not above zero (0)";
    QTest::newRow("repeated") << QByteArray("155\t244")
                              << "row 57, Resistance (Ohm), repeats the row above (155)";
}

void CalibrationFileTest::everyLineIsARowOrSaysWhy()
{
    QFETCH(QByteArray, line59);
    QFETCH(QString, problem);
    Calibration calibration {1.5f, {}};
    for (int row = 0; row < 100; ++row)
        calibration.rows.append({100.0f + row, 300.0f - row});
    QList<QByteArray> lines = calibrationFileText(calibration).split('\n');
    lines[58] = line59 + '\r';
    const CalibrationFile file = readCalibrationFile(lines.join('\n'));
    QCOMPARE(file.problem.isEmpty() ? checkCalibration({*file.gain, file.rows}).problem
                                    : file.problem,
             problem);
}

// A whole unit's file reads back as written; a section that lost its gain line is named.
void CalibrationFileTest::unitFileWantsEveryGain()
{
    Calibration calibration {1.5f, {}};
    for (int row = 0; row < 100; ++row)
        calibration.rows.append({100.0f + row, 300.0f - row});
    QByteArray text = unitCalibrationText({QDateTime::currentDateTime(), "ttyACM0", "Q1", "test"},
                                          QVector<Calibration>(4, calibration));
    QCOMPARE(readUnitCalibrationFile(text).channels.size(), 4);
    text.replace("# Channel3\r\nGain\t1.5\r\n", "# Channel3\r\n");
    const UnitCalibrationFile file = readUnitCalibrationFile(text);
    QCOMPARE(file.problem, QStringLiteral("in Channel3's section, it has no gain line"));
    QVERIFY(file.channels.isEmpty());
}

// Every backup is kept, two within one second too, until the newest Kept remain; a unit is backed
// up once a run.
void CalibrationFileTest::backupsKeepTheNewest()
{
    QTemporaryDir dir;
    BackupStore store(dir.path());
    const UnitIdentity unit {QStringLiteral("ttyACM0"), QStringLiteral("Q1")};
    const QDateTime first(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
    for (int n = 0; n <= BackupStore::Kept; ++n) // two a second
        QVERIFY(store.write(unit, "x", first.addSecs(n / 2)));
    QVERIFY(!store.isDue(unit));
    const QStringList kept = QDir(dir.path()).entryList(QDir::Files);
    QCOMPARE(int(kept.size()), BackupStore::Kept);
    QCOMPARE(int(kept.filter(QStringLiteral("12-00-00_")).size()), 1); // the oldest went
}

QTEST_GUILESS_MAIN(CalibrationFileTest)
#include "tst_calibrationfile.moc"
