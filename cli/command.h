#pragma once

// One command of quadmeter-cli, and what the commands share: talking to the operator, opening the
// unit, the reading loop and reading option values. A new command is a Command of its own in a
// file of its own, and one row in the table of cli/commandline.cpp.
#include "calibration/calibrationsend.h"
#include "link/portlister.h"
#include "logging/logformat.h"
#include "logging/logwriter.h"
#include "values/unitvalues.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QCommandLineParser;
class QElapsedTimer;
class Unit;

enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2, ExitInterrupted = 130 };

// The options every command takes, before its name or after it.
struct CommonOptions
{
    QString port; // empty: find the unit by its USB identifiers
    bool verbose = false;
    PortLister lister; // where the unit is looked for; empty: the system's serial ports
};

class Command
{
public:
    // A positional argument: how the usage line writes it, and what it is.
    struct Argument
    {
        QString syntax;
        QString description;
    };

    virtual ~Command() = default;

    QString name;
    QString summary; // its line in the tool's usage
    QString description; // its --help below the usage line: what it does, what can go wrong
    QList<QCommandLineOption> options; // its own, besides --port, --verbose and --help
    QList<Argument> arguments; // exactly these, in this order
    bool takesPort = true; // false for a command that opens no unit
    bool runsUntilStopped = false; // Ctrl-C and SIGTERM end it after the reading under way
    // Ctrl-C and SIGTERM never cut what goes to the unit in two: the command lets the transfer
    // under way and its read-back finish, starts nothing more, and says what the unit holds.
    bool finishesTransfers = false;

    // Takes the command's own options and its arguments off the parsed command line. False with
    // `error` set when they make no sense.
    virtual bool take(const QCommandLineParser &parser, const QStringList &values, QString *error)
        = 0;
    // Does the work; the exit status.
    virtual int run(const CommonOptions &common) = 0;
};

// A command that works on one unit. Its run() judges first what can be judged without the unit
// (beforeOpening), then opens the port named with --port or else the one attached unit, saying
// why when it cannot, and hands the open unit to runOn().
class UnitCommand : public Command
{
public:
    int run(const CommonOptions &common) final;

protected:
    // What the command judges before the unit's port is opened (its files, its folders); false
    // after saying why: the unit is then not opened and the exit status is ExitFailure.
    virtual bool beforeOpening() { return true; }
    // The work on the open unit; `portName` as the unit was opened by. The exit status.
    virtual int runOn(Unit &unit, const QString &portName) = 0;
};

// Talking to the operator: messages to stderr after the program's name, results to stdout as they
// come. print() is false when the bytes did not all go out.
QString cliText(const char *text);
void say(const QString &message);
bool print(const QByteArray &bytes);
// print(), and when the bytes did not all go out (a full disk, a reader that left), says so:
// "<what> cannot be written: <why>".
bool printResult(const QByteArray &bytes, const QString &what);
QString shown(const QString &path);
QString channelTitle(int channel);

// Asks a running read or log to end after the reading under way, or a command that finishes its
// transfers to start no more: the SIGINT and SIGTERM handlers set it, the commands poll it.
void requestStop();
// Whether a stop was asked for: for commands that run until stopped without the reading loop.
bool stopIsRequested();
// The one line an interrupted command ends with, and its exit status: "interrupted: Channel4 was
// sent and verified; nothing was stored".
int interrupted(const QString &whatTheUnitHolds);

// --no-backup, for the commands that send calibration.
QCommandLineOption noBackupOption();
// How a command that sends calibration decides, each said on stderr: rows out of order go only
// with --force, and a failed backup stops it (--no-backup sends without one, unasked).
class CommandChoices : public SendChoices
{
public:
    // `orderAdvice` follows the problem when rows out of order are refused without --force.
    CommandChoices(bool force, QString orderAdvice);
    void refuse(int channel, const QString &problem) override;
    bool sendOutOfOrder(int channel, const QString &problem) override;
    bool sendWithoutBackup(const QString &why) override;
    void backedUp(const QString &path) override;

private:
    bool force;
    QString orderAdvice;
};
// Before a command first sends calibration to the unit, the calibration it holds now is kept in
// the backups folder and the file's path said on stderr. False after saying why when it could not
// be read whole or written: then nothing may be sent.
bool keepBackup(Unit &unit);
// Waits until `interval` seconds after `started`, or until a stop is asked for.
void waitUntilNext(const QElapsedTimer &started, double interval);

// Takes readings until `count` (0: until stopped), `every` seconds from one reading's start to the
// next's, handing each whole one to `take`. False when any reading failed or `take` said so.
bool readingLoop(Unit &unit, int count, double every,
                 const std::function<bool(const LiveReading &)> &take);

// Option values as the commands read them; false when the text is no such value.
bool readCount(const QString &text, int &count); // a whole number above 0
bool readSeconds(const QString &text, double &seconds); // 0 up to a week
bool readChannel(const QString &text, int &channel); // "1"-"4" into 0-3
// --time clock|iso, for the commands that write rows.
QCommandLineOption timeStyleOption();
bool readTimeStyle(const QString &text, LogTimeStyle &style);
// "Voltage0,Temperature3" into the ticked cells; false with the unknown name in `problem`.
bool parseLogEnables(const QString &text, LogEnables &enables, QString &problem);
// --enable and --daily, for the commands that write log files.
QCommandLineOption logEnableOption();
QCommandLineOption logDailyOption();
// --enable, --daily and --time into a run's settings; false with `error` set.
bool takeLogOptions(const QCommandLineParser &parser, LogRunSettings &settings, QString *error);
