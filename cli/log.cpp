// quadmeter-cli log: the logging window's file.
#include "cli/command.h"
#include "logging/logfile.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QTime>

#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

bool stderrIsTerminal()
{
#ifdef Q_OS_UNIX
    return ::isatty(STDERR_FILENO);
#else
    return false;
#endif
}

class LogCommand : public Command
{
public:
    LogCommand()
    {
        name = QStringLiteral("log");
        summary = cliText("write the log file of the logging window");
        description = cliText(
            "Writes the logging window's file: a header line, then one row per reading,\n"
            "until N readings were taken or Ctrl-C/SIGTERM ends it with the file complete.\n"
            "A short progress line goes to stderr when it is a terminal. Only a regular\n"
            "file (or a new name) is written. A reading the unit does not answer in full\n"
            "writes no row; a row that cannot be written is reported once and later rows\n"
            "are tried. Exit status 1 when any reading or row failed.");
        options = {everyOption, enableOption, countOption, overwriteOption};
        arguments = {{QStringLiteral("FILE"), cliText("the log file")}};
        runsUntilStopped = true;
    }

    bool take(const QCommandLineParser &parser, const QStringList &values, QString *error) override
    {
        if (parser.isSet(countOption) && !readCount(parser.value(countOption), count)) {
            *error = cliText("--count takes a whole number above 0");
            return false;
        }
        if (parser.isSet(everyOption) && !readSeconds(parser.value(everyOption), every)) {
            *error = cliText("--every takes seconds, 0 or more");
            return false;
        }
        fileName = values.at(0);
        if (fileName.isEmpty()) {
            *error = cliText("log needs a file name");
            return false;
        }
        overwrite = parser.isSet(overwriteOption);
        return !parser.isSet(enableOption)
            || parseLogEnables(parser.value(enableOption), enables, *error);
    }

    int run(const CommonOptions &common) override
    {
        if (!overwrite && logFileHoldsData(fileName)) {
            say(cliText("The log file %1 already holds data; give --overwrite to replace it.")
                    .arg(shown(fileName)));
            return ExitFailure;
        }
        Unit unit;
        if (!openUnit(unit, common))
            return ExitFailure;
        const QString error = writeLogLine(fileName, logHeader(enables), LogLineMode::Truncate);
        if (!error.isNull()) {
            say(cliText("The log file %1 cannot be written: %2.").arg(shown(fileName), error));
            return ExitFailure;
        }

        const bool progress = stderrIsTerminal();
        int rows = 0;
        bool rowFailureReported = false;
        const bool allWell = readingLoop(unit, count, every, [&](const LiveReading &reading) {
            const QByteArray row = logRow(QTime::currentTime(), reading.channels.data(), enables);
            const QString error = writeLogLine(fileName, row, LogLineMode::Append);
            if (!error.isNull()) {
                if (!rowFailureReported) {
                    say(cliText("A row could not be written to the log file %1: %2. Logging "
                                "goes on and tries again at every sample.")
                            .arg(shown(fileName), error));
                    rowFailureReported = true;
                }
                return false;
            }
            ++rows;
            if (progress) {
                std::fprintf(stderr, "\r%s",
                             qPrintable(cliText("%1 rows in %2").arg(rows).arg(shown(fileName))));
                std::fflush(stderr);
            }
            return true;
        });
        if (progress && rows > 0)
            std::fputs("\n", stderr);
        return allWell ? ExitSuccess : ExitFailure;
    }

private:
    const QCommandLineOption everyOption {
        QStringLiteral("every"), cliText("from the start of one reading to the next (default 1)"),
        QStringLiteral("SECONDS")};
    const QCommandLineOption enableOption {
        QStringLiteral("enable"),
        cliText("the columns to log, comma-separated: Voltage0-3, Resistance0-3, Temperature0-3 "
                "(default: all twelve)"),
        QStringLiteral("COLUMNS")};
    const QCommandLineOption countOption {
        QStringLiteral("count"), cliText("take N readings, then stop (default: until stopped)"),
        QStringLiteral("N")};
    const QCommandLineOption overwriteOption {QStringLiteral("overwrite"),
                                              cliText("replace a file that already holds data")};

    QString fileName;
    int count = 0; // 0: until stopped
    double every = 1;
    LogEnables enables = allLogEnables();
    bool overwrite = false;
};

} // namespace

std::unique_ptr<Command> makeLogCommand()
{
    return std::make_unique<LogCommand>();
}
