// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Clock.h"

#include <chrono>

std::int64_t TSystemClock::Counter() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {
TSystemClock SystemClock;
IClock* CurrentClock = &SystemClock;
} // namespace

IClock& ProgramClock()
{
    return *CurrentClock;
}

void SetProgramClock(IClock* clock)
{
    CurrentClock = clock ? clock : &SystemClock;
}
