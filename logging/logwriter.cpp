#include "logging/logwriter.h"

#include "logging/logfile.h"
#include "logging/logtext.h"

using logtext::shown;
using logtext::tr;

LogWriter::LogWriter(const LogRunSettings &settings, Say say)
    : settings(settings)
    , say(std::move(say))
    , header(logHeader(settings.enables))
{ }

QString LogWriter::fileFor(const QDateTime &time) const
{
    return settings.daily ? dailyLogFileName(settings.fileName, time.date()) : settings.fileName;
}

bool LogWriter::start(const QDateTime &now)
{
    return startFile(fileFor(now));
}

bool LogWriter::startFile(const QString &fileName)
{
    currentFile = fileName;
    const LogFileContent content = logFileContent(fileName, header, settings.timeStyle);
    if (content != LogFileContent::Nothing
        && settings.earlier != LogRunSettings::Earlier::Overwrite) {
        if (settings.earlier == LogRunSettings::Earlier::Refuse) {
            say(tr("The log file %1 already holds data; give --overwrite to replace it or "
                   "--append to go on below it.")
                    .arg(shown(fileName)));
            return false;
        }
        if (content == LogFileContent::Other) {
            say((settings.offersOverwrite
                     ? tr("The log file %1 holds other columns than this run's; its rows cannot go "
                          "on below them. Give --overwrite to replace it, or --enable its "
                          "columns.")
                     : tr("The log file %1 holds other columns than this run's; its rows cannot go "
                          "on below them. Move it away, or --enable its columns."))
                    .arg(shown(fileName)));
            return false;
        }
        if (content == LogFileContent::OtherTimeStyle) {
            say(tr("The log file %1 tells the time of its rows the other way (%2); this run's rows "
                   "cannot go on below them. Give --overwrite to replace it, or --time %3.")
                    .arg(shown(fileName),
                         settings.timeStyle == LogTimeStyle::Iso ? tr("as times of day")
                                                                 : tr("with dates"),
                         settings.timeStyle == LogTimeStyle::Iso ? QStringLiteral("clock")
                                                                 : QStringLiteral("iso")));
            return false;
        }
        // Appending: the file's own header stands, and a last row cut short gets its line end
        // so the first new row does not glue onto it.
        const Result<void> ended = endCutLastRow(fileName);
        if (!ended) {
            say(tr("The log file %1 cannot be written: %2.").arg(shown(fileName), ended.error()));
            return false;
        }
        return true;
    }
    const Result<void> written = writeLogLine(fileName, header, LogLineMode::Truncate);
    if (!written) {
        say(tr("The log file %1 cannot be written: %2.").arg(shown(fileName), written.error()));
        return false;
    }
    return true;
}

bool LogWriter::write(const QDateTime &time, const ChannelData *records)
{
    // One time for both the row and its day's file, so a row at midnight lands in the file of
    // the date it carries.
    const QString fileName = fileFor(time);
    if (fileName != currentFile && !startFile(fileName))
        refusedFile = fileName;
    if (fileName == refusedFile) {
        well = false;
        return false;
    }
    const QByteArray row = logRow(logTimeText(time, settings.timeStyle, settings.milliseconds),
                                  records, settings.enables);
    const QString stamp = QString::fromLatin1(logTimeText(time, LogTimeStyle::Iso));
    bool madeAgain = false;
    const Result<void> written = appendLogRow(fileName, header, row, &madeAgain);
    if (!written) {
        well = false;
        if (rowsLost++ == 0)
            say(tr("%1: a row could not be written to the log file %2: %3. Logging goes on and "
                   "tries again at every sample.")
                    .arg(stamp, shown(fileName), written.error()));
        return false;
    }
    if (madeAgain)
        say(tr("%1: the log file %2 was gone or emptied; it was made again, with the run's "
               "header.")
                .arg(stamp, shown(fileName)));
    if (rowsLost > 0) {
        say(tr("%1: rows are written to the log file %2 again; %3 lost meanwhile.")
                .arg(stamp, shown(fileName),
                     rowsLost == 1 ? tr("1 row was") : tr("%1 rows were").arg(rowsLost)));
        rowsLost = 0;
    }
    ++rowCount;
    return true;
}
