#pragma once

// Keeps the unit's exchanges one at a time. Replies carry no tag, so two operations whose
// requests interleave on the port would take each other's replies; the waits process events
// (measurement stages, message boxes, the port chooser), so a click or a logger tick can arrive
// in the middle of an exchange.
#include <QVector>

#include <functional>

class ExchangeGuard
{
public:
    enum Origin {
        Operator, // a click: never lost, runs right after the running exchange
        Timer,    // a logger tick: dropped while an exchange runs; the next tick samples again
    };

    // The right to talk to the unit, held for the scope of one operation. Converts to false when
    // another exchange is running; the request has then been queued or dropped.
    class Turn
    {
    public:
        Turn(Turn &&other) noexcept;
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        Turn &operator=(Turn &&) = delete;
        ~Turn();
        explicit operator bool() const { return guard != nullptr; }

    private:
        friend class ExchangeGuard;
        explicit Turn(ExchangeGuard *owner)
            : guard(owner)
        {}
        ExchangeGuard *guard;
    };

    // `retry` repeats the request; it is kept for an operator's request that has to wait.
    [[nodiscard]] Turn begin(Origin origin, std::function<void()> retry);
    bool busy() const { return running; }

private:
    void end();

    bool running = false;
    QVector<std::function<void()>> waiting;
};
