// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/FrequencyWeighting.h"

#include <cstdint>

// The time weighting as two coefficients per sample. The squared, frequency-weighted sample s feeds
// an exponential average e += Rise (s - e), Rise = 1 - exp(-1 / (frame rate x time constant)); the
// reading is d = max(e, Hold d), a peak detector whose held value falls by Hold per sample. Hold 0
// leaves the exponential average itself: F (125 ms), S (1 s) and the custom times. The impulse
// weighting is a 35 ms average followed by a detector that falls 2.9 dB/s.
struct TTimeWeighting
{
    static constexpr double ImpulseTime = 0.035;   // s
    static constexpr double ImpulseFallRate = 2.9; // dB/s
    double Rise = 1, Hold = 0;

    // A time constant that is no positive number, or a frame rate of none, follows every sample.
    static TTimeWeighting Exponential(double seconds, int frameRate);
    static TTimeWeighting Impulse(int frameRate);
    bool operator==(const TTimeWeighting&) const = default;
};

// The per-sample work of the meter on both channels at once: the frequency weighting, the peak path
// and the time weighting, with the state that runs on from one call to the next. Values are in
// squared sample units of the weighted signal; lane 0 is the left channel, lane 1 the right one.
class TMeterFilters
{
public:
    using TStereo = double __attribute__((vector_size(16)));

    // What one pass over consecutive frames gives.
    struct TPass
    {
        TStereo Squares{};    // sum of the squared weighted samples
        TStereo PeakSquare{}; // largest squared sample of the peak path: C-weighted for A and C
        TStereo MaxTimeWeighted{}, MinTimeWeighted{};  // extremes of the time-weighted value in the pass
        double MinL = 0, MaxL = 0, MinR = 0, MaxR = 0; // the raw samples' extremes
    };

    // The weightings of the frames to come. A new frequency weighting or frame rate designs the
    // sections anew and starts them from rest; the time weighting carries on from where it is.
    void Configure(TFrequencyWeighting weighting, int frameRate, const TTimeWeighting& time);
    // One pass over stereo float frames (at least one), full scale 1.0, taken in FullScaleUnits. No
    // allocation.
    TPass Run(const float* samples, int frames);
    // What a pass would give, leaving the state as it is.
    TPass Preview(const float* samples, int frames) const;

    TStereo TimeWeighted() const { return Reading; } // after the last frame
    // The time weighting starts anew: the average is the plain mean of the samples since, until a
    // time constant's worth of them has come, and the exponential average from there on. A steady
    // signal reads its own level at once, whatever the time constant. It ends a start from rest.
    void RestartTimeWeighting();

    // A start on a signal that is already running, as a meter switched on long before would read it.
    // The sections start from rest and their answer to the signal's sudden first sample dies away for
    // SettlingTime (a 20 Hz tone's start-up through A is far louder than its weighted level); the
    // time weighting then runs exponentially over the next PrimingTime with the mean square of that
    // stretch (weighted by a Hann window, so that a low tone's ripple does not bias it) standing for
    // the signal before, and runs on from there, so a burst after the start is weighted as at any
    // later time. Passes before it ends are no readings.
    void StartFromRest();
    static constexpr double SettlingTime = 0.1; // s
    static constexpr double PrimingTime = 0.15; // s
    static int StartFrames(int frameRate);      // SettlingTime and PrimingTime in frames
    // Frames of the start still to come (0 once the meter reads).
    int FramesToStart() const { return SettleLeft + PrimeLeft; }

    struct TSectionState
    {
        TStereo S1{}, S2{};
    };

private:
    // How the time weighting takes the squares of a pass.
    enum class TMode : std::uint8_t { Exponential, Restarted, Settling, Priming };
    TPass RunPhase(TMode mode, const float* buffer, int frames);
    template <TMode Mode> TPass RunWeighted(const float* buffer, int frames);
    template <TFrequencyWeighting Weighting, TMode Mode> TPass RunWith(const float* buffer, int frames);
    void FlushTinyStates();

    TWeightingDesign Design;
    TFrequencyWeighting DesignedWeighting = TFrequencyWeighting::Z;
    int DesignedRate = 0;
    TTimeWeighting Time;
    TSectionState LowCut, HighCut, MidCut;
    TStereo Average{}, Reading{}; // e and d of the time weighting
    bool Priming = false;
    double PrimingSamples = 0;                          // since the restart
    int SettleLeft = 0, PrimeLeft = 0, PrimeLength = 0; // frames of the start
    TStereo PrimeSum{};                                 // Hann-weighted squares of the priming
    double PrimeWeight = 0;
};
