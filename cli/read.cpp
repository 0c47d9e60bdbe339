// quadmeter-cli read: live readings as a table, TSV or JSON.
#include "cli/command.h"
#include "cli/format.h"
#include "unit/unit.h"

#include <QCommandLineParser>

#include <memory>

namespace {

enum class ReadFormat { Table, Tsv, Json };

class ReadCommand : public UnitCommand
{
public:
    ReadCommand()
    {
        name = QStringLiteral("read");
        summary = cliText("live readings of the four channels and the relay states");
        description = cliText(
            "Live readings of the four channels and the relay states, until N readings were\n"
            "taken or Ctrl-C/SIGTERM ends it (the reading under way completes first).\n"
            "A reading the unit does not answer in full prints a message to stderr and\n"
            "nothing to stdout, and the next reading is tried. Exit status 1 when any\n"
            "reading failed.");
        options = {countOption, everyOption, formatOption, timeOption};
        runsUntilStopped = true;
    }

    bool take(const QCommandLineParser &parser, const QStringList &, QString *error) override
    {
        if (parser.isSet(countOption) && !readCount(parser.value(countOption), count)) {
            *error = cliText("--count takes a whole number above 0");
            return false;
        }
        if (parser.isSet(everyOption) && !readSeconds(parser.value(everyOption), every)) {
            *error = cliText("--every takes seconds, 0 or more");
            return false;
        }
        if (parser.isSet(timeOption) && !readTimeStyle(parser.value(timeOption), timeStyle)) {
            *error = cliText("--time is clock or iso");
            return false;
        }
        if (parser.isSet(formatOption)) {
            const QString name = parser.value(formatOption);
            if (name == QLatin1String("table")) {
                format = ReadFormat::Table;
            } else if (name == QLatin1String("tsv")) {
                format = ReadFormat::Tsv;
            } else if (name == QLatin1String("json")) {
                format = ReadFormat::Json;
            } else {
                *error = cliText("--format is table, tsv or json");
                return false;
            }
        }
        return true;
    }

private:
    int runOn(Unit &unit, const QString &) override
    {
        if (format == ReadFormat::Tsv && !printResult(readingTsvHeader(), cliText("the readings")))
            return ExitFailure;
        bool first = true;
        const bool allWell = readingLoop(unit, count, every, [&](const LiveReading &reading) {
            const QByteArray text = readingText(reading, first);
            first = false;
            if (printResult(text, cliText("the readings")))
                return true;
            // Nobody takes the readings any more: stop after the reading that could not go out.
            requestStop();
            return false;
        });
        return allWell ? ExitSuccess : ExitFailure;
    }

    QByteArray readingText(const LiveReading &reading, bool first) const
    {
        const ChannelData *records = reading.channels.data();
        switch (format) {
        case ReadFormat::Table:
            return first ? readingTable(records, reading.relays)
                         : '\n' + readingTable(records, reading.relays);
        case ReadFormat::Tsv:
            return readingTsvRow(logTimeText(QDateTime::currentDateTime(), timeStyle, every < 1),
                                 records, reading.relays);
        case ReadFormat::Json:
            return readingJson(QDateTime::currentDateTime(), records, reading.relays);
        }
        return QByteArray();
    }

    const QCommandLineOption countOption {
        QStringLiteral("count"), cliText("take N readings, then stop (default: until stopped)"),
        QStringLiteral("N")};
    const QCommandLineOption everyOption {
        QStringLiteral("every"), cliText("from the start of one reading to the next (default 1)"),
        QStringLiteral("SECONDS")};
    const QCommandLineOption formatOption {
        QStringLiteral("format"),
        cliText("table: the five quantities of the four channels as the tool's data table shows "
                "them, a blank line between readings; tsv: the log file's header and rows with "
                "every column, then Relay1 and Relay2 (1 on, 0 off, empty when the unit did not "
                "say); json: one object per reading per line, every value exactly as the unit "
                "sent it"),
        QStringLiteral("FORMAT")};
    const QCommandLineOption timeOption {timeStyleOption()};

    int count = 0; // 0: until stopped
    double every = 1;
    ReadFormat format = ReadFormat::Table;
    LogTimeStyle timeStyle = LogTimeStyle::Clock; // tsv; JSON always carries date and offset
};

} // namespace

std::unique_ptr<Command> makeReadCommand()
{
    return std::make_unique<ReadCommand>();
}
