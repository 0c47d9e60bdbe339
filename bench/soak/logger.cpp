// Logging for many minutes against a unit that goes silent, answers late, in pieces or with
// rubbish at random moments, and is unplugged and plugged in again once; the operator takes a
// while to acknowledge each box. Prints the counts and checks the file: every row whole, and
// every reading that completed during the run left exactly one row, carrying its values.
//   soak_logger [--minutes M] [--period-ms P] [--seed S] [--keep FILE]
// Exit status 0 when the file passed every check.
#include "windows/logger.h"
#include "app/dialog.h"
#include "sim/ptyhost.h"
#include "tests/support/modalboxes.h"
#include "tests/support/simunit.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QMap<QString, int> debugLines;

void countDebugLines(QtMsgType, const QMessageLogContext &, const QString &text)
{
    // Port names and the like differ from line to line; count them by their first word.
    const bool known = text == QLatin1String("update") || text.startsWith(QLatin1String("Error!"))
        || text.startsWith(QLatin1String("Device went away"))
        || text.startsWith(QLatin1String("Incomplete reply"));
    ++debugLines[known ? text.section(':', 0, 0) : QStringLiteral("(other)")];
}

// The value fields of a row as the records hold them right after a completed reading.
QByteArray expectedValues(const ChannelData *records)
{
    QByteArray fields;
    for (int c = 0; c < 4; ++c) {
        for (float v : {records[c].currentVoltage, records[c].resistance, records[c].temperature})
            fields += '\t' + QByteArray::number(double(v), 'g', 6);
    }
    return fields;
}

const char *const modeNames[]
    = {"normal",    "silent",     "late", "split", "surplus", "garbage", "garbage of wrong length",
       "line rate", "usb packets"};

// One misbehaviour for the next answer to one request (or to any), chosen at random.
Misbehaviour randomMisbehaviour(QRandomGenerator &random)
{
    static const Misbehaviour::Mode modes[]
        = {Misbehaviour::Silent,   Misbehaviour::Late,      Misbehaviour::Split,
           Misbehaviour::Surplus,  Misbehaviour::Garbage,   Misbehaviour::GarbageWrongLength,
           Misbehaviour::LineRate, Misbehaviour::UsbPackets};
    static const int codes[] = {-1, 0, 4, 8, 12, 16, 30};
    Misbehaviour m;
    m.mode = modes[random.bounded(int(std::size(modes)))];
    m.onlyForCode = codes[random.bounded(int(std::size(codes)))];
    m.times = 1 + random.bounded(3);
    // Late up to 1.2 s: past the measurement limit of 200 ms and past the relay read's 1000 ms.
    m.delayMs = m.mode == Misbehaviour::Late ? random.bounded(1200) : random.bounded(120);
    m.pieces = {1 + random.bounded(8), 1 + random.bounded(8)};
    m.surplusBytes = random.bounded(2) ? 1 + random.bounded(6) : -(1 + random.bounded(6));
    return m;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Only the logger is shown, and a window with a parent does not keep the application alive.
    app.setQuitOnLastWindowClosed(false);

    QCommandLineParser options;
    options.addOption({"minutes", "Length of the run.", "M", "10"});
    options.addOption({"period-ms", "Sampling period.", "P", "1000"});
    options.addOption({"seed", "Seed of the misbehaviours.", "S"});
    options.addOption({"keep", "Write the log here instead of a temporary file.", "FILE"});
    options.addHelpOption();
    options.process(app);
    const qint64 runMs = qint64(options.value("minutes").toDouble() * 60000);
    const int periodMs = qMax(1, options.value("period-ms").toInt());
    const quint32 seed = options.isSet("seed") ? options.value("seed").toUInt()
                                               : QRandomGenerator::system()->generate();
    QRandomGenerator random(seed);

    QTemporaryDir dir;
    const QString fileName
        = options.isSet("keep") ? options.value("keep") : dir.filePath(QStringLiteral("soak.txt"));

    qInstallMessageHandler(countDebugLines);
    PtyHost unit;
    if (!unit.start()) {
        std::fprintf(stderr, "the simulated unit did not start\n");
        return 2;
    }
    Dialog window;
    window.setPortLister(unitsLister({&unit}));
    // The operator acknowledges each "no unit" box after a few seconds.
    ModalAnswerer operatorAtTheDesk;
    operatorAtTheDesk.setDelay(2500);

    auto *logger = new Logger(window.channelData(), &window);
    int ticks = 0, ticksDuringARead = 0, depth = 0;
    QObject::connect(logger, &Logger::updateData, logger, [&] {
        ++ticks;
        ticksDuringARead += depth > 0;
        ++depth;
    });
    QObject::connect(logger, SIGNAL(updateData()), &window, SLOT(GetData()));
    QObject::connect(logger, &Logger::updateData, logger, [&] { --depth; });
    QObject::connect(&window, &Dialog::updatedData, logger, &Logger::dataUpdated);
    bool running = false;
    QList<QByteArray> completed; // the values of each reading completed while logging ran
    QObject::connect(&window, &Dialog::updatedData, logger, [&] {
        if (running)
            completed.append(expectedValues(window.channelData()));
    });

    logger->findChild<QLineEdit *>("leFileName")->setText(fileName);
    auto *start = logger->findChild<QPushButton *>("pbStart");
    logger->show();
    start->click();
    running = start->isChecked();
    logger->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly)->setInterval(periodMs);

    // Misbehaviours at random moments, about one every three periods.
    int injected[std::size(modeNames)] = {};
    QTimer chaos;
    chaos.setSingleShot(true);
    QObject::connect(&chaos, &QTimer::timeout, [&] {
        const Misbehaviour m = randomMisbehaviour(random);
        unit.setMisbehaviour(m);
        ++injected[m.mode];
        chaos.start(random.bounded(periodMs * 6));
    });
    chaos.start(periodMs);

    // Unplugged at 40 % of the run for a twentieth of it (at least five periods).
    const qint64 unplugAt = runMs * 2 / 5;
    const qint64 replugAt = unplugAt + qMax<qint64>(runMs / 20, 5 * periodMs);
    bool replugged = false;
    QTimer::singleShot(int(unplugAt), &window, [&] { unit.hangUp(); });
    QTimer::singleShot(int(replugAt), &window, [&] { replugged = unit.replug(); });

    // The run ends between readings: stopping inside one would leave that reading unlogged by
    // design, which is not what is being counted here.
    QElapsedTimer clock;
    clock.start();
    QTimer end;
    QObject::connect(&end, &QTimer::timeout, [&] {
        if (depth > 0 || clock.elapsed() < runMs)
            return;
        end.stop();
        start->click();
        running = false;
        app.quit();
    });
    end.start(10);
    app.exec();
    const qint64 ranMs = clock.elapsed();
    qInstallMessageHandler(nullptr);

    // The file: a header, then one whole row per completed reading, in order, with its values.
    QFile file(fileName);
    file.open(QIODevice::ReadOnly);
    const QByteArray text = file.readAll();
    const QList<QByteArray> lines = text.split('\n');
    const QRegularExpression rowPattern(
        "^\\d\\d:\\d\\d:\\d\\d(\\t-?(\\d+(\\.\\d+)?(e[-+]\\d\\d+)?|nan|inf)){12}\\r$");
    int rows = 0, wholeRows = 0, matchingRows = 0;
    for (int i = 1; i < lines.size() - 1; ++i) {
        ++rows;
        wholeRows += rowPattern.match(QString::fromLatin1(lines[i])).hasMatch();
        matchingRows
            += i - 1 < completed.size() && lines[i].mid(8, lines[i].size() - 9) == completed[i - 1];
    }
    const bool headerOk = lines.value(0).startsWith(";Time\tVoltage0\t")
        && lines.value(0).endsWith("Temperature3\r");
    const bool endsWhole = text.endsWith("\r\n") && lines.last().isEmpty();

    const int failedReadings = debugLines.value(QStringLiteral("Error! Wrong data"));
    std::printf("run            %.1f min, period %d ms, seed %u\n", ranMs / 60000.0, periodMs,
                seed);
    std::printf("ticks          %d (%lld periods; %lld passed while a reading or a box held the "
                "tool)\n",
                ticks, static_cast<long long>(ranMs / periodMs),
                static_cast<long long>(qMax<qint64>(0, ranMs / periodMs - ticks)));
    std::printf("dropped ticks  %d (arrived while a reading ran)\n", ticksDuringARead);
    std::printf("readings       %d completed, %d wrong replies, %d \"no unit\" boxes, %d device "
                "losses\n",
                int(completed.size()), failedReadings, int(operatorAtTheDesk.seen.size()),
                debugLines.value(QStringLiteral("Device went away")));
    std::printf("misbehaviours ");
    for (int m = 1; m < int(std::size(modeNames)); ++m)
        std::printf(" %s %d%s", modeNames[m], injected[m],
                    m + 1 < int(std::size(modeNames)) ? "," : "\n");
    std::printf("unplugged      at %.0f s, plugged in again at %.0f s%s\n", unplugAt / 1000.0,
                replugAt / 1000.0, replugged ? "" : " (replug FAILED)");
    std::printf("rows           %d, whole %d, carrying their reading's values %d\n", rows,
                wholeRows, matchingRows);
    const bool ok = headerOk && endsWhole && replugged && rows == completed.size()
        && wholeRows == rows && matchingRows == rows && completed.size() > 0;
    std::printf("verdict        %s\n",
                ok ? "every completed reading left exactly one whole row" : "FAILED");
    return ok ? 0 : 1;
}
