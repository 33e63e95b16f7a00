// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/LogSweep.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double FadeInOctaves = 1.0 / 6, FadeOutOctaves = 1.0 / 24;
constexpr double ShortestFade = 16; // frames

double HalfHann(double position, double length) // 0 at position 0, 1 at position `length`
{
    return 0.5 - 0.5 * std::cos(std::numbers::pi * std::clamp(position / length, 0.0, 1.0));
}

} // namespace

TLogSweep::TLogSweep(const TLogSweepRequest& asked) : Asked(asked)
{
    Rate = std::max(asked.FrameRate, 1.0);
    const double rate = Rate;
    Stop = std::clamp(asked.StopHz, 2.0, 0.5 * rate);
    Start = std::clamp(asked.StartHz, 1.0, Stop / 1.01);
    const double logRatio = std::log(Stop / Start);
    const double seconds = std::max(asked.NominalLength, 2) / rate;
    // f1 L whole: the harmonics stay in phase with the sweep they are advanced copies of.
    L = std::max(1.0, std::round(Start * seconds / logRatio)) / Start;
    Peak = std::pow(10.0, asked.LevelDb / 20.0);
    const auto length = static_cast<std::size_t>(std::max(2.0, std::round(L * logRatio * rate)));
    Signal.resize(length);
    const double fadeIn = std::max(ShortestFade, L * std::log(2.0) * FadeInOctaves * rate);
    const double fadeOut = std::max(ShortestFade, L * std::log(2.0) * FadeOutOctaves * rate);
    for (std::size_t n = 0; n < length; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double phase = 2 * std::numbers::pi * Start * L * std::expm1(t / L);
        const double fade =
            HalfHann(static_cast<double>(n), fadeIn) * HalfHann(static_cast<double>(length - 1 - n), fadeOut);
        Signal[n] = Peak * fade * std::sin(phase);
    }
}

double TLogSweep::HarmonicAdvance(int k) const
{
    return L * std::log(static_cast<double>(std::max(k, 1))) * Rate;
}

double TLogSweep::FadeInEndHz() const
{
    return Start * std::exp2(FadeInOctaves);
}

double TLogSweep::FrequencyAt(double frame) const
{
    return Start * std::exp(frame / Rate / L);
}
