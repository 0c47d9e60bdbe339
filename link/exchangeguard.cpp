#include "link/exchangeguard.h"

ExchangeGuard::Turn::Turn(Turn &&other) noexcept
    : guard(other.guard)
{
    other.guard = nullptr;
}

ExchangeGuard::Turn::~Turn()
{
    if (guard)
        guard->end();
}

ExchangeGuard::Turn ExchangeGuard::begin(Origin origin, std::function<void()> retry)
{
    if (!running) {
        running = true;
        return Turn(this);
    }
    if (origin == Operator)
        waiting.append(std::move(retry));
    return Turn(nullptr);
}

void ExchangeGuard::end()
{
    running = false;
    // Requests that arrived meanwhile run in the order they came; each takes its own turn.
    while (!running && !waiting.isEmpty())
        waiting.takeFirst()();
}
