#pragma once

// What anything that can fail brings back: its value when it succeeded, otherwise why not, as a
// clause for the operator ("the unit did not answer in full", "rows 51–100 were not sent").
// Callers read `if (!result) say(result.error())`. A failure hands back nothing of what may have
// been half done.
#include <QString>

#include <optional>
#include <utility>

// Why something did not succeed.
struct Failure
{
    QString reason;
};

template<typename T> class Result
{
public:
    Result(T value)
        : result(std::move(value))
    { }
    Result(const Failure &failure)
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

// What brings nothing back but whether it was done.
template<> class Result<void>
{
public:
    Result() = default;
    Result(const Failure &failure)
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
