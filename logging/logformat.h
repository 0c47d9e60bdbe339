#pragma once

// The text of the log file: the header line that opens a run and the row of one sample.
// Pure: bytes in, bytes out; the file and the clock belong to the caller.
#include "values/channeldata.h"
#include "values/unitshape.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <functional>

// The three quantities a channel can contribute to the log, in the order of its columns.
enum LogQuantity { LogVoltage = 0, LogResistance = 1, LogTemperature = 2 };
constexpr int LogQuantityCount = 3;

// Which cells are ticked: enabled[channel][quantity].
using LogEnables = std::array<std::array<bool, LogQuantityCount>, ChannelCount>;

// Every cell ticked, as a new logger window starts.
LogEnables allLogEnables();

// ";Time", then for each ticked cell a TAB and its column name ("Voltage0", "Temperature3"), CR LF.
QByteArray logHeader(const LogEnables &enabled);

// How a row tells its time: the time of day alone, as logs always had it, or the local date and
// time with the offset from UTC, which stays unambiguous across midnight and clock changes.
enum class LogTimeStyle { Clock, Iso };

// A row's first field: "21:14:22", or "2026-12-07T21:14:22+01:00" (with ".250" after the seconds
// when `milliseconds`). The date, time and offset are those `time` carries.
QByteArray logTimeText(const QDateTime &time, LogTimeStyle style, bool milliseconds = false);

// A row: the time text (logTimeText), then for each ticked cell a TAB and its value, CR LF. The
// values come from the four records of one reading; the voltage column carries currentVoltage.
QByteArray logRow(const QByteArray &timeText, const ChannelData *records,
                  const LogEnables &enabled);

// Where a run's rows get their time from; the wall clock unless a test fakes one.
using LogClock = std::function<QDateTime()>;
LogClock systemLogClock();

// The file of one local day of a daily log: "run.txt" on 7 December 2026 gives
// "run-2026-12-07.txt"; a name without an extension gets the date at its end.
QString dailyLogFileName(const QString &baseName, const QDate &day);

// True when a file beginning with `fileStart` opens with exactly this header line, so rows of a
// new run can go on below it in the same columns.
bool startsWithLogHeader(const QByteArray &fileStart, const QByteArray &header);

// The name of a cell's column: the quantity's word and the channel's digit ("Temperature3").
QString logColumnName(int channel, int quantity);

// What a cell's column carries of a channel's record.
float logValue(const ChannelData &record, int quantity);
