// quadmeter-cli log: the logging window's file.
#include "cli/command.h"
#include "logging/logfile.h"
#include "logging/logrun.h"
#include "unit/unit.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

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

// Where a folder really is: through its links, when it exists.
QString realFolder(const QString &path)
{
    const QFileInfo folder(path);
    return folder.exists() ? folder.canonicalFilePath()
                           : QDir::cleanPath(folder.absoluteFilePath());
}

// Under its service the log may write only in the folders systemd made for it and names in
// STATE_DIRECTORY; the rest of the system is read-only there, and a file elsewhere would fail
// again at every restart. A service of the lab's own may leave other folders writable, and those
// are taken. Empty when the file may be written, else the service's folders.
QString foldersTheServiceMayNotLeave(const QString &fileName)
{
    const QString folders = qEnvironmentVariable("STATE_DIRECTORY");
    if (folders.isEmpty())
        return {};
    const QString folder = realFolder(QFileInfo(fileName).absolutePath()) + QLatin1Char('/');
    const QStringList allowed = folders.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &root : allowed) {
        if (folder.startsWith(realFolder(root) + QLatin1Char('/')))
            return {};
    }
#ifdef Q_OS_UNIX
    if (::access(QFile::encodeName(QFileInfo(fileName).absolutePath()).constData(), W_OK) == 0)
        return {};
#endif
    return allowed.join(QLatin1String(", "));
}

class LogCommand : public UnitCommand
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
            "are tried; a file that disappears is made again with its header. When the\n"
            "unit goes away the log writes no rows and waits for that same unit (by its\n"
            "USB serial number, on any port), saying so on stderr with the time; another\n"
            "unit is never logged. Exit status 1 when any reading or row failed.");
        options = {everyOption,  enableOption, countOption, overwriteOption,
                   appendOption, dailyOption,  timeOption};
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
        settings.fileName = values.at(0);
        if (settings.fileName.isEmpty()) {
            *error = cliText("log needs a file name");
            return false;
        }
        const QString confined = foldersTheServiceMayNotLeave(settings.fileName);
        if (!confined.isEmpty()) {
            *error = cliText("the log file %1 lies outside %2, the only folder this service may "
                             "write to; give a name inside it")
                         .arg(shown(settings.fileName), confined);
            return false;
        }
        if (parser.isSet(overwriteOption) && parser.isSet(appendOption)) {
            *error = cliText("--overwrite and --append exclude each other");
            return false;
        }
        if (parser.isSet(overwriteOption))
            settings.earlier = LogRunSettings::Earlier::Overwrite;
        if (parser.isSet(appendOption))
            settings.earlier = LogRunSettings::Earlier::Append;
        settings.milliseconds = every < 1;
        return takeLogOptions(parser, settings, error);
    }

private:
    bool beforeOpening() override
    {
        if (!settings.daily && settings.earlier == LogRunSettings::Earlier::Refuse
            && logFileHoldsData(settings.fileName)) {
            say(cliText("The log file %1 already holds data; give --overwrite to replace it or "
                        "--append to go on below it.")
                    .arg(shown(settings.fileName)));
            return false;
        }
        return true;
    }

    int runOn(Unit &unit, const QString &opened) override
    {
        LogRun run(unit, identityOf(systemPorts(), opened), settings, say);
        if (!run.start())
            return ExitFailure;

        const bool progress = stderrIsTerminal();
        int taken = 0;
        while (!stopIsRequested() && (count == 0 || taken < count)) {
            QElapsedTimer started;
            started.start();
            const LogRun::Sample sample = run.sample();
            taken += sample != LogRun::Sample::Away;
            if (progress && sample == LogRun::Sample::Row) {
                std::fprintf(
                    stderr, "\r%s",
                    qPrintable(
                        cliText("%1 rows in %2").arg(run.rows()).arg(shown(settings.fileName))));
                std::fflush(stderr);
            }
            if (count == 0 || taken < count)
                waitUntilNext(started, every);
        }
        if (progress && run.rows() > 0)
            std::fputs("\n", stderr);
        return run.allWell() ? ExitSuccess : ExitFailure;
    }

    const QCommandLineOption everyOption {
        QStringLiteral("every"), cliText("from the start of one reading to the next (default 1)"),
        QStringLiteral("SECONDS")};
    const QCommandLineOption enableOption {logEnableOption()};
    const QCommandLineOption countOption {
        QStringLiteral("count"), cliText("take N readings, then stop (default: until stopped)"),
        QStringLiteral("N")};
    const QCommandLineOption overwriteOption {QStringLiteral("overwrite"),
                                              cliText("replace a file that already holds data")};
    const QCommandLineOption appendOption {
        QStringLiteral("append"),
        cliText("go on below the rows of a file that already holds data, when its header is "
                "this run's")};
    const QCommandLineOption dailyOption {logDailyOption()};
    const QCommandLineOption timeOption {timeStyleOption()};

    int count = 0; // 0: until stopped
    double every = 1;
    LogRunSettings settings;
};

} // namespace

std::unique_ptr<Command> makeLogCommand()
{
    return std::make_unique<LogCommand>();
}
