#include "link/exchangeguard.h"

ExchangeGuard::Turn::Turn(Turn &&other) noexcept
    : guard(other.guard)
{
    other.guard = nullptr;
}

ExchangeGuard::Turn::~Turn()
{
    if (guard)
        guard->running = false;
}

ExchangeGuard::Turn ExchangeGuard::begin()
{
    if (running)
        return Turn(nullptr);
    running = true;
    return Turn(this);
}
