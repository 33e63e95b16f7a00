// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SecondOrderSections.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void FlushTiny(std::span<TSecondOrderState> states)
{
    constexpr double Tiny = 1e-20;
    for (TSecondOrderState& state : states)
        for (TStereo* memory : {&state.S1, &state.S2})
            for (int lane = 0; lane < 2; ++lane)
                if (std::abs((*memory)[lane]) < Tiny)
                    (*memory)[lane] = 0;
}

double Gain(std::span<const TSecondOrderSection> cascade, double frequency, double frameRate)
{
    const double w = 2 * std::numbers::pi * frequency / frameRate;
    const double c1 = std::cos(w), s1 = std::sin(w), c2 = std::cos(2 * w), s2 = std::sin(2 * w);
    double square = 1;
    for (const TSecondOrderSection& b : cascade) {
        const double nr = b.B0 + b.B1 * c1 + b.B2 * c2, ni = b.B1 * s1 + b.B2 * s2;
        const double dr = 1 + b.A1 * c1 + b.A2 * c2, di = b.A1 * s1 + b.A2 * s2;
        square *= (nr * nr + ni * ni) / (dr * dr + di * di);
    }
    return std::sqrt(square);
}

double SettleSeconds(std::span<const TSecondOrderSection> cascade, double frameRate, double decayDb)
{
    // The poles are the roots of z^2 + A1 z + A2: a conjugate pair of radius sqrt(A2), or two real ones.
    double slowest = 0;
    for (const TSecondOrderSection& b : cascade) {
        const double discriminant = b.A1 * b.A1 - 4 * b.A2;
        const double radius =
            discriminant < 0 ? std::sqrt(b.A2) : (std::abs(b.A1) + std::sqrt(discriminant)) / 2;
        slowest = std::max(slowest, radius);
    }
    if (slowest <= 0)
        return 0;
    const double dbPerFrame = -20 * std::log10(std::min(slowest, 1 - 1e-15));
    return decayDb / dbPerFrame / frameRate;
}
