// A calibration file read back line by line, and the words for values that cannot go out; a whole
// unit's file, and the store that keeps such files as backups.
#include "calibration/backupstore.h"
#include "calibration/calibrationcheck.h"
#include "calibration/calibrationfile.h"
#include "files/regularfile.h"
#include "files/wholefile.h"
#include "tests/support/floatbits.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

Calibration fallingSensor()
{
    Calibration calibration {1.5f, {}};
    for (int row = 0; row < 100; ++row)
        calibration.rows.append({100.0f + row, 300.0f - row});
    return calibration;
}

} // namespace

class CalibrationFileTest : public QObject
{
    Q_OBJECT

private slots:
    void everyLineIsARowOrSaysWhy_data();
    void everyLineIsARowOrSaysWhy();
    void unitFileReadsBackOrSaysWhy_data();
    void unitFileReadsBackOrSaysWhy();
    void textOfAnotherEncodingIsNamed_data();
    void textOfAnotherEncodingIsNamed();
    void everyFloatReadsBack_data();
    void everyFloatReadsBack();
    void backupsKeepTheNewest();
    void fileIsWholeOrAsItWas_data();
    void fileIsWholeOrAsItWas();
    void appendingGoesOnBelowAnotherWriter();
};

void CalibrationFileTest::everyLineIsARowOrSaysWhy_data()
{
    // A whole table of a falling sensor, row k (from 1) 99 + k ohms at 301 - k kelvin, on line
    // k + 2 below the gain line and the header; `line` replaced by `text`.
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem"); // the file's, or else its values'
    const auto row = [](const char *name, int line, const char *text, const char *problem) {
        QTest::newRow(name) << line << QByteArray(text) << QString(problem);
    };
    row("a word", 59, "oops\t123", "line 59 (\"oops 123\") is not a row of two numbers");
    row("beyond a float", 59, "1e39\t300",
        "line 59 (\"1e39 300\") holds a number beyond the range of the unit's values");
    row("decimal comma", 59, "1,5\t300",
        "line 59 (\"1,5 300\") has a decimal comma in \"1,5\"; the file's numbers are written with "
        "a point");
    row("a second header", 59, "Resistance (Ohm)\tTemperature (K)",
        "line 59 (\"Resistance (Ohm) Temperature (K)\") is not a row of two numbers");
    row("gain and more", 1, "Gain\t1.5\t7", "line 1 (\"Gain 1.5 7\") is not \"Gain\" and a number");
    row("close, yet back", 59, "154.99999\t244",
        "row 57, Resistance (Ohm), goes back (154.999985 after 155)");
    row("the last row back", 102, "197\t201",
        "row 100, Resistance (Ohm), goes back (197 after 198)");
    row("zero kelvin", 59, "156\t0", "row 57, Temperature (K), is not above zero (0)");
    row("infinite", 59, "inf\t244", "row 57, Resistance (Ohm), is not a finite number (inf)");
    row("repeated", 59, "155\t244", "row 57, Resistance (Ohm), repeats the row above (155)");
}

void CalibrationFileTest::everyLineIsARowOrSaysWhy()
{
    QFETCH(int, line);
    QFETCH(QByteArray, text);
    QList<QByteArray> lines = calibrationFileText(fallingSensor()).split('\n');
    lines[line - 1] = text + '\r';
    const Result<CalibrationFile> file = readCalibrationFile(lines.join('\n'));
    const Calibration read = file ? Calibration {*file->gain, file->rows} : Calibration();
    const Result<void> values = checkValues(read);
    QTEST(!file ? file.error() : (values ? checkOrder(read).error() : values.error()), "problem");
}

void CalibrationFileTest::textOfAnotherEncodingIsNamed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem"); // how it starts
    const QByteArray text = calibrationFileText(fallingSensor());
    QByteArray wide;
    for (const char c : text)
        wide += QByteArray(1, c) + '\0';
    QTest::newRow("UTF-16 without a mark") << wide << "it is written as UTF-16";
    QTest::newRow("Latin-1") << QByteArray(text).replace("(K)", "(\xB0K)")
                             << "it is not UTF-8 text";
}

// A file saved in another encoding is refused by its encoding, not by one of its lines.
void CalibrationFileTest::textOfAnotherEncodingIsNamed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const QString read = readCalibrationFile(bytes).error();
    QVERIFY2(read.startsWith(problem), qPrintable(read));
}

void CalibrationFileTest::everyFloatReadsBack_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("the largest float") << std::numeric_limits<float>::max();
    QTest::newRow("the smallest subnormal") << std::numeric_limits<float>::denorm_min();
    QTest::newRow("the smallest normal") << std::numeric_limits<float>::min();
}

// What the tool writes with nine digits it reads back to the same bits, at the ends of the range.
void CalibrationFileTest::everyFloatReadsBack()
{
    QFETCH(float, value);
    Calibration calibration {value, QVector<TableEntry>(100, {value, value})};
    const Result<CalibrationFile> file = readCalibrationFile(calibrationFileText(calibration));
    QCOMPARE(file.error(), QString());
    QCOMPARE(bitsOf(*file->gain), bitsOf(value));
    QCOMPARE(bitsOf(file->rows.at(99).temperature), bitsOf(value));
}

void CalibrationFileTest::unitFileReadsBackOrSaysWhy_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("problem");
    const auto row = [](const char *name, const char *from, const char *to, const char *problem) {
        QTest::newRow(name) << QByteArray(from) << QByteArray(to) << QString(problem);
    };
    row("as written", "", "", "");
    row("a blank line before Channel1", "# Channel1", "\r\n# Channel1", "");
    row("text before Channel1", "# Channel1", "oops\r\n# Channel1",
        "line 6 (\"oops\") is not a comment (\"#\") before \"# Channel1\"");
    row("a gain line lost", "# Channel3\r\nGain\t1.5\r\n", "# Channel3\r\n",
        "in Channel3's section, it has no gain line");
    row("a section misnamed", "# Channel4", "# Channel 4", "it holds no section \"# Channel4\"");
    row("a row after the end line", "# end: 4 channels\r\n", "# end: 4 channels\r\n1\t2\r\n",
        "line 419 (\"1 2\") is not allowed after the end line \"# end: 4 channels\"");
}

// A whole unit's file reads back as written; what is not one is named.
void CalibrationFileTest::unitFileReadsBackOrSaysWhy()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QByteArray text = unitCalibrationText({QDateTime::currentDateTime(), "ttyACM0", "Q1", "test"},
                                          QVector<Calibration>(4, fallingSensor()));
    text.replace(from, to);
    const Result<UnitCalibrationFile> file = readUnitCalibrationFile(text);
    QTEST(file.error(), "problem");
    QCOMPARE(int(file ? file->channels.size() : 0), file.error().isEmpty() ? 4 : 0);
}

// Every backup is kept, two within one second too, until the newest Kept of the unit remain; the
// older backup of another unit stays; a unit is backed up once a run.
void CalibrationFileTest::backupsKeepTheNewest()
{
    QTemporaryDir dir;
    const QDateTime first(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
    const UnitIdentity other {QStringLiteral("ttyACM1"), QStringLiteral("Q12")};
    QVERIFY(BackupStore(dir.path()).write(other, "x", first.addSecs(-3600)));
    BackupStore store(dir.path());
    const UnitIdentity unit {QStringLiteral("ttyACM0"), QStringLiteral("Q1")};
    for (int n = 0; n <= BackupStore::Kept; ++n) // two a second
        QVERIFY(store.write(unit, "x", first.addSecs(n / 2)));
    QVERIFY(!store.isDue(unit));
    const QStringList kept = QDir(dir.path()).entryList(QDir::Files);
    QCOMPARE(int(kept.size()), BackupStore::Kept + 1);
    QCOMPARE(int(kept.filter(QStringLiteral("12-00-00_")).size()), 1); // the oldest went
    QCOMPARE(int(kept.filter(QStringLiteral("_Q12.txt")).size()), 1);
}

void CalibrationFileTest::fileIsWholeOrAsItWas_data()
{
    QTest::addColumn<bool>("pipe"); // a named pipe at the name, else an earlier file
    QTest::addColumn<QString>("reason"); // what the reason says, at least
    QTest::newRow("over a named pipe") << true << "not a regular file";
    QTest::newRow("beyond the largest file allowed") << false << "File too large";
}

// A file is written whole or refused with the system's reason, and what stood at its name stays.
void CalibrationFileTest::fileIsWholeOrAsItWas()
{
    QFETCH(bool, pipe);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.txt"));
    if (pipe)
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    else
        QVERIFY(writeWholeFile(path, "earlier\n"));
    // No file beyond 4 KiB, refused as a full disk refuses, not with a signal.
    rlimit limit {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &limit) == 0);
    const rlimit before = limit;
    limit.rlim_cur = 4096;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
    const Result<void> written = writeWholeFile(path, QByteArray(8192, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    QFETCH(QString, reason);
    QVERIFY(!written);
    QVERIFY2(!written.error().isEmpty() && written.error().contains(reason),
             qPrintable(written.error()));
    QFile file(path);
    QCOMPARE(QFileInfo(path).isFile(), !pipe);
    QVERIFY(pipe || (file.open(QIODevice::ReadOnly) && file.readAll() == "earlier\n"));
}

// A file opened to append takes each write at its end, after what another writer put there since.
void CalibrationFileTest::appendingGoesOnBelowAnotherWriter()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QVERIFY(writeWholeFile(path, "1\n"));
    QFile ours;
    QFile other(path);
    QVERIFY(openRegularFile(ours, path, QIODevice::WriteOnly | QIODevice::Append));
    QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Append) && other.write("2\n") == 2);
    other.close();
    QVERIFY(ours.write("3\n") == 2 && ours.flush());
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("1\n2\n3\n"));
}

QTEST_GUILESS_MAIN(CalibrationFileTest)
#include "tst_calibrationfile.moc"
