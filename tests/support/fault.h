#pragma once

// A misbehaviour of the simulated unit in one line, for the cases most tests need: one way of
// answering badly, for answers to one request code (-1: every answer), a number of times (-1: for
// ever), with its delay. Pieces and surplus bytes are set on the result where a test needs them.
#include "sim/ptyhost.h"

inline Misbehaviour fault(Misbehaviour::Mode mode, int onlyForCode = -1, int times = -1,
                          int delayMs = 0)
{
    Misbehaviour m;
    m.mode = mode;
    m.onlyForCode = onlyForCode;
    m.times = times;
    m.delayMs = delayMs;
    return m;
}
