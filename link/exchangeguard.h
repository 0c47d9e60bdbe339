#pragma once

// Keeps the unit's exchanges one at a time. Replies carry no tag, so two operations whose
// requests interleave on the port would take each other's replies. The operator's clicks wait
// until an exchange is over, but the waits still process timers and show boxes, so a logger tick
// can arrive in the middle of one: it is dropped, and the next tick samples again.
class ExchangeGuard
{
public:
    // The right to talk to the unit, held for the scope of one operation. Converts to false when
    // another exchange is running; the request is then dropped.
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
        { }
        ExchangeGuard *guard;
    };

    [[nodiscard]] Turn begin();
    bool busy() const { return running; }

private:
    bool running = false;
};
