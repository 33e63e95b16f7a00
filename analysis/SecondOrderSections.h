// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

// Both channels of one frame in the two lanes of a vector register, left in lane 0: one pass over a
// stream filters the two channels at once.
using TStereo = double __attribute__((vector_size(16)));

// One second-order section, y = (B0 + B1 z^-1 + B2 z^-2) / (1 + A1 z^-1 + A2 z^-2) x.
struct TSecondOrderSection
{
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
};

// A section's memory in the transposed direct form II, for both channels.
struct TSecondOrderState
{
    TStereo S1{}, S2{};
};

inline TStereo Step(const TSecondOrderSection& c, TSecondOrderState& s, TStereo x)
{
    const TStereo y = c.B0 * x + s.S1;
    s.S1 = c.B1 * x - c.A1 * y + s.S2;
    s.S2 = c.B2 * x - c.A2 * y;
    return y;
}

// After digital silence a recursive filter's memory decays towards subnormal numbers, which the
// processor handles a hundred times slower; far below one step of a 16-bit sample they are silence.
void FlushTiny(std::span<TSecondOrderState> states);

// The magnitude of a cascade's response at `frequency` (Hz) for a stream of `frameRate` frames/s.
double Gain(std::span<const TSecondOrderSection> cascade, double frequency, double frameRate);

// How long a cascade at `frameRate` frames/s takes until what it was started with (its response to a
// signal that begins at full size while its memory is at rest) has decayed by `decayDb`: from its
// slowest pole, seconds.
double SettleSeconds(std::span<const TSecondOrderSection> cascade, double frameRate, double decayDb);
