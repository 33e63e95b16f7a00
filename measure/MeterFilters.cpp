// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/MeterFilters.h"

#include "measure/MeasurementState.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using TStereo = TMeterFilters::TStereo;

// Transposed direct form II.
inline TStereo Step(const TWeightingSection& c, TMeterFilters::TSectionState& s, TStereo x)
{
    const TStereo y = c.B0 * x + s.S1;
    s.S1 = c.B1 * x - c.A1 * y + s.S2;
    s.S2 = c.B2 * x - c.A2 * y;
    return y;
}

// One instruction each where the processor has them (no NaN ever reaches them).
inline TStereo Larger(TStereo a, TStereo b)
{
#if defined(__SSE2__)
    return _mm_max_pd(a, b);
#else
    return a > b ? a : b;
#endif
}

inline TStereo Smaller(TStereo a, TStereo b)
{
#if defined(__SSE2__)
    return _mm_min_pd(a, b);
#else
    return a < b ? a : b;
#endif
}

} // namespace

TTimeWeighting TTimeWeighting::Exponential(double seconds, int frameRate)
{
    if (!(seconds > 0) || frameRate <= 0)
        return {};
    return {-std::expm1(-1 / (seconds * frameRate)), 0};
}

TTimeWeighting TTimeWeighting::Impulse(int frameRate)
{
    if (frameRate <= 0)
        return {};
    return {Exponential(ImpulseTime, frameRate).Rise, std::pow(10.0, -ImpulseFallRate / 10 / frameRate)};
}

void TMeterFilters::Configure(TFrequencyWeighting weighting, int frameRate, const TTimeWeighting& time)
{
    Time = time;
    if (weighting == DesignedWeighting && frameRate == DesignedRate)
        return;
    if (weighting != TFrequencyWeighting::Z)
        Design = DesignWeighting(frameRate);
    DesignedWeighting = weighting;
    DesignedRate = frameRate;
    LowCut = HighCut = MidCut = {};
}

TMeterFilters::TPass TMeterFilters::Run(const float* buffer, int frames)
{
    // The start's phases end within a pass: each part runs in its own mode.
    TPass pass;
    for (int done = 0; done < frames;) {
        TMode mode = Priming ? TMode::Restarted : TMode::Exponential;
        int n = frames - done;
        if (SettleLeft > 0) {
            mode = TMode::Settling;
            n = std::min(n, SettleLeft);
        } else if (PrimeLeft > 0) {
            mode = TMode::Priming;
            n = std::min(n, PrimeLeft);
        }
        const TPass part = RunPhase(mode, buffer + 2 * static_cast<std::ptrdiff_t>(done), n);
        if (done == 0) {
            pass = part;
        } else {
            pass.Squares += part.Squares;
            pass.PeakSquare = Larger(pass.PeakSquare, part.PeakSquare);
            pass.MaxTimeWeighted = Larger(pass.MaxTimeWeighted, part.MaxTimeWeighted);
            pass.MinTimeWeighted = Smaller(pass.MinTimeWeighted, part.MinTimeWeighted);
            pass.MinL = std::min(pass.MinL, part.MinL);
            pass.MaxL = std::max(pass.MaxL, part.MaxL);
            pass.MinR = std::min(pass.MinR, part.MinR);
            pass.MaxR = std::max(pass.MaxR, part.MaxR);
        }
        done += n;
        if (mode == TMode::Settling) {
            SettleLeft -= n;
        } else if (mode == TMode::Priming) {
            PrimeLeft -= n;
            if (PrimeLeft == 0) {
                // The time weighting starts where a long-running one would be: the priming window's
                // own exponential share, and its mean square standing for everything before it, so
                // that a fast time weighting starts on its ripple rather than on the mean.
                const TStereo mean = PrimeWeight > 0 ? PrimeSum / PrimeWeight : TStereo{};
                Average = Reading = Average + std::pow(1 - Time.Rise, PrimeLength) * mean;
                Priming = false;
            }
        }
    }
    FlushTinyStates();
    return pass;
}

TMeterFilters::TPass TMeterFilters::RunPhase(TMode mode, const float* buffer, int frames)
{
    switch (mode) {
    case TMode::Exponential:
        return RunWeighted<TMode::Exponential>(buffer, frames);
    case TMode::Restarted:
        return RunWeighted<TMode::Restarted>(buffer, frames);
    case TMode::Settling:
        return RunWeighted<TMode::Settling>(buffer, frames);
    case TMode::Priming:
        return RunWeighted<TMode::Priming>(buffer, frames);
    }
    return {};
}

TMeterFilters::TPass TMeterFilters::Preview(const float* buffer, int frames) const
{
    TMeterFilters copy = *this;
    return copy.Run(buffer, frames);
}

void TMeterFilters::RestartTimeWeighting()
{
    Average = Reading = TStereo{};
    Priming = true;
    PrimingSamples = 0;
    SettleLeft = PrimeLeft = 0; // a start cut short by a stop ends here
}

int TMeterFilters::StartFrames(int frameRate)
{
    return static_cast<int>(std::lround((SettlingTime + PrimingTime) * std::max(frameRate, 0)));
}

void TMeterFilters::StartFromRest()
{
    LowCut = HighCut = MidCut = {};
    Average = Reading = PrimeSum = TStereo{};
    PrimeWeight = 0;
    Priming = false;
    const int rate = std::max(DesignedRate, 0);
    SettleLeft = static_cast<int>(std::lround(SettlingTime * rate));
    PrimeLength = PrimeLeft = StartFrames(rate) - SettleLeft;
}

template <TMeterFilters::TMode Mode>
TMeterFilters::TPass TMeterFilters::RunWeighted(const float* buffer, int frames)
{
    switch (DesignedWeighting) {
    case TFrequencyWeighting::A:
        return RunWith<TFrequencyWeighting::A, Mode>(buffer, frames);
    case TFrequencyWeighting::C:
        return RunWith<TFrequencyWeighting::C, Mode>(buffer, frames);
    case TFrequencyWeighting::Z:
        break;
    }
    return RunWith<TFrequencyWeighting::Z, Mode>(buffer, frames);
}

// Z passes the samples as they are, C is LowCut then HighCut, A adds MidCut; the peak path is the
// output of HighCut (C-weighted) for A and C alike.
template <TFrequencyWeighting Weighting, TMeterFilters::TMode Mode>
TMeterFilters::TPass TMeterFilters::RunWith(const float* buffer, int frames)
{
    const TStereo units = TStereo{} + FullScaleUnits;
    TStereo lowest = TStereo{double(buffer[0]), double(buffer[1])} * units, highestSample = lowest;
    // Locals rather than members keep the states in registers through the loop.
    TSectionState low = LowCut, high = HighCut, mid = MidCut;
    const TStereo rise = TStereo{} + Time.Rise, keep = 1 - rise, hold = TStereo{} + Time.Hold;
    TStereo average = Average, reading = Reading;
    double primingSamples = PrimingSamples;
    TStereo primeSum = PrimeSum;
    double primeWeight = PrimeWeight;
    const int primed = PrimeLength - PrimeLeft; // priming frames before this pass
    // Every time-weighted value is at least 0: the extremes are those of this pass's own samples.
    TStereo squares{}, peak{}, highest{}, lowestReading = TStereo{} + HUGE_VAL;
    for (int i = 0; i < frames; ++i) {
        TStereo c = TStereo{double(buffer[2 * i]), double(buffer[2 * i + 1])} * units;
        lowest = Smaller(lowest, c);
        highestSample = Larger(highestSample, c);
        if constexpr (Weighting != TFrequencyWeighting::Z)
            c = Step(Design.HighCut, high, Step(Design.LowCut, low, c));
        peak = Larger(peak, c * c);
        TStereo w = c;
        if constexpr (Weighting == TFrequencyWeighting::A)
            w = Step(Design.MidCut, mid, c);
        const TStereo square = w * w;
        squares += square;
        if constexpr (Mode == TMode::Settling) {
            continue; // nothing is averaged while the sections settle
        } else if constexpr (Mode == TMode::Priming) {
            const double weight =
                0.5 - 0.5 * std::cos(2 * std::numbers::pi * (primed + i + 0.5) / PrimeLength);
            primeSum += weight * square;
            primeWeight += weight;
            average = keep * average + rise * square; // the window's own share of the average
            continue;
        } else if constexpr (Mode == TMode::Restarted) {
            // While the average starts anew, the detector follows it: the first samples' spread is
            // no peak.
            primingSamples += 1;
            const double share = std::max(1 / primingSamples, Time.Rise);
            average += share * (square - average);
            reading = average;
        } else {
            average = keep * average + rise * square;
            reading = Larger(average, hold * reading);
        }
        highest = Larger(highest, reading);
        lowestReading = Smaller(lowestReading, reading);
    }
    LowCut = low;
    HighCut = high;
    MidCut = mid;
    Average = average;
    Reading = reading;
    PrimingSamples = primingSamples;
    PrimeSum = primeSum;
    PrimeWeight = primeWeight;
    if constexpr (Mode == TMode::Restarted)
        Priming = primingSamples * Time.Rise < 1;
    if constexpr (Mode == TMode::Settling || Mode == TMode::Priming)
        highest = lowestReading = TStereo{}; // no reading yet
    return {squares, peak, highest, lowestReading, lowest[0], highestSample[0], lowest[1], highestSample[1]};
}

void TMeterFilters::FlushTinyStates()
{
    // After digital silence the states decay towards subnormal numbers, which the processor handles
    // a hundred times slower. Far below the noise of any card (10^-20 of a 16-bit step) they are
    // silence anyway.
    constexpr double Tiny = 1e-20;
    for (TSectionState* section : {&LowCut, &HighCut, &MidCut})
        for (TStereo* state : {&section->S1, &section->S2})
            for (int lane = 0; lane < 2; ++lane)
                if (std::abs((*state)[lane]) < Tiny)
                    (*state)[lane] = 0;
    for (TStereo* state : {&Average, &Reading})
        for (int lane = 0; lane < 2; ++lane)
            if ((*state)[lane] < Tiny)
                (*state)[lane] = 0;
}
