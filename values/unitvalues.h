#pragma once

// What the unit's operations take and give back, as plain values: a page, a file or a command
// holds them without knowing the unit, its port or any QObject.
#include "values/calibration.h"
#include "values/channeldata.h"
#include "values/unitshape.h"

#include <QString>
#include <QVector>

#include <array>
#include <optional>
#include <utility>

struct RelayStates
{
    bool relay1 = false;
    bool relay2 = false;
};

// One whole live reading: the five quantities of the four channels, in channel order, exactly the
// bits the unit sent, and the relay states.
struct LiveReading
{
    std::array<ChannelData, ChannelCount> channels {};
    std::optional<RelayStates> relays; // absent when the unit did not answer the relay read
};

// Why an operation of the unit did not succeed, as a clause for the operator: "the unit did not
// answer in full", "rows 51–100 were not sent".
struct UnitFailure
{
    QString reason;
};

// What an operation of the unit brought: its value when it succeeded, otherwise why not. A failed
// operation hands back nothing of what it may have half received.
template<typename T> class UnitResult
{
public:
    UnitResult(T value)
        : result(std::move(value))
    { }
    UnitResult(const UnitFailure &failure)
        : reason(failure.reason)
    { }

    bool ok() const { return result.has_value(); }
    explicit operator bool() const { return ok(); }
    // Only when ok().
    const T &value() const { return *result; }
    const T &operator*() const { return *result; }
    const T *operator->() const { return &*result; }
    // Empty when ok().
    QString error() const { return reason; }

private:
    std::optional<T> result;
    QString reason;
};

// An operation that brings nothing back but whether it was done.
template<> class UnitResult<void>
{
public:
    UnitResult() = default;
    UnitResult(const UnitFailure &failure)
        : reason(failure.reason)
        , failed(true)
    { }

    bool ok() const { return !failed; }
    explicit operator bool() const { return ok(); }
    QString error() const { return reason; }

private:
    QString reason;
    bool failed = false;
};
