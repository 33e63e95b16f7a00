// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTime>
#include <cstdint>

// The high-resolution counter and the time of day, in one place so that tests can drive time.
class IClock
{
public:
    virtual ~IClock() = default;
    virtual std::int64_t Counter() const = 0;          // ticks of a steady counter
    virtual std::int64_t CounterFrequency() const = 0; // ticks per second
    virtual QTime TimeOfDay() const = 0;
};

// The real clock: std::chrono::steady_clock in nanoseconds and the local time of day.
class TSystemClock final : public IClock
{
public:
    std::int64_t Counter() const override;
    std::int64_t CounterFrequency() const override { return 1'000'000'000; }
    QTime TimeOfDay() const override { return QTime::currentTime(); }
};

// The clock every part of the program reads; tests may replace it (pass nullptr to restore).
IClock& ProgramClock();
void SetProgramClock(IClock* clock);
