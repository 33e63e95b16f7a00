// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/LogSweep.h"
#include "analysis/ResponseAnalysis.h"

#include <array>
#include <memory>
#include <span>
#include <vector>

// The speed of sound in air at a temperature, m/s.
double SpeedOfSound(double celsius);

// A measured (or read) impulse response: the linear part, and the impulse responses of the 2nd to 5th
// harmonics where a sweep separated them. Sample i of a part stands at time (i - origin) / FrameRate
// of that part: time 0 of the linear part is the excitation's (or the reference's) time 0, so a device
// that delays by d frames peaks at Origin + d; each harmonic's time 0 is where it would stand had it no
// advance, so its response lines up with the linear one. The origin may lie outside the samples.
struct TImpulseResponse
{
    static constexpr int FirstHarmonic = 2, LastHarmonic = 5;
    static constexpr int HarmonicCount = LastHarmonic - FirstHarmonic + 1;

    struct TPart
    {
        std::vector<double> Samples;
        double Origin = 0; // sample index of time 0
    };

    double FrameRate = 48000;
    double StartHz = 0, StopHz = 0; // the band the response holds
    TPart Linear;
    double Peak = 0; // fractional sample index of the linear part's peak
    std::array<TPart, HarmonicCount> Harmonics;

    const TPart& Harmonic(int order) const
    {
        return Harmonics[static_cast<std::size_t>(order - FirstHarmonic)];
    }
    double DelayFrames() const { return Peak - Linear.Origin; }
    double TimeOf(const TPart& part, double index) const { return (index - part.Origin) / FrameRate; }
    // The whole linear part, the peak where it stands.
    TGate WholeGate() const;
    // The linear part from `before` seconds ahead of its time 0 on (silence where that lies before its
    // first sample), as an impulse-response file holds it: time 0 at sample FileTimeZero(before).
    std::vector<double> ForFile(double before = FilePreTime) const;
    std::size_t FileTimeZero(double before = FilePreTime) const;

    // What a file keeps before time 0: the pre-ringing of a device measured against a reference.
    static constexpr double FilePreTime = 0.01; // s
};

// Cuts a deconvolved block (TSweepDeconvolution, time 0 at index 0, long enough for the recording and
// the sweep, so that what leads time 0 does not overlap what follows it) into the response's parts:
// the linear part from half the 2nd harmonic's advance before its peak (at most half a second) on, up
// to `tail` frames after time 0, as far as the recording holds every frequency of the sweep (`tail`:
// frames recorded after the sweep's end); and each harmonic in the zone around its advance, halfway to
// its neighbours'.
TImpulseResponse CutImpulseResponse(std::span<const double> block, const TLogSweep& sweep, std::size_t tail);

// A response from samples alone (a file): time 0 at sample `timeZero` (the file's mark, 0 without one),
// the band from the reciprocal of its duration to 0.45 of the frame rate, no harmonics.
TImpulseResponse ImpulseResponseOf(std::vector<double> samples, double frameRate, double timeZero = 0);

enum class TPhaseKind { Wrapped, Unwrapped, Minimum, Excess };
inline constexpr int PhaseKindCount = 4;

// What is shown and written of a response, on a logarithmic frequency grid over its band: magnitude
// (dB re unity gain), the four phases (degrees; see TResponseAnalysis), group delay (s), and each
// harmonic's level relative to the linear part at the frequency of excitation (dB; over the part of the
// band where the harmonic lies within the band, empty without that harmonic).
struct TResponseCurves
{
    static constexpr int PointsPerOctave = 96;

    std::vector<double> Frequency, MagnitudeDb, GroupDelay;
    std::array<std::vector<double>, PhaseKindCount> Phase;
    std::array<std::vector<double>, TImpulseResponse::HarmonicCount> DistortionFrequency, DistortionDb;
    double LowestValidHz = 0;

    const std::vector<double>& PhaseOf(TPhaseKind kind) const
    {
        return Phase[static_cast<std::size_t>(kind)];
    }
};

// How a response is analysed: its gate, the smoothing (0: none; 1 .. 48 for 1/N octave) and whether
// the phase is referred to the peak (the device's delay taken off) or to time 0. Smoothing averages
// the power for the magnitude and the complex response with the device's delay (its peak) taken off
// for the phase, the delay put back after, so that a delay's linear phase stays exact; the minimum
// phase and the group delay are averaged as they are, and the excess phase is the difference of the
// smoothed phases.
struct TAnalysisChoice
{
    TGate Gate;
    int Smoothing = 0;
    bool PhaseFromPeak = false;
};

// The curves of one response. The constructor sizes the transforms for the response; Compute may be
// called again with other choices, as the user drags the gate.
class TImpulseAnalysis
{
public:
    explicit TImpulseAnalysis(const TImpulseResponse& response);
    ~TImpulseAnalysis();

    void Compute(const TAnalysisChoice& choice, TResponseCurves& curves);

private:
    struct TPartAnalysis; // the transforms and smoothing of one part

    const TImpulseResponse& Response;
    std::unique_ptr<TPartAnalysis> Linear;
    std::vector<std::unique_ptr<TPartAnalysis>> Harmonic; // by order, null where none
};

// A quantity given on the bins of a transform (bin k at k * binHz Hz), linearly interpolated at a
// frequency; the end bins outside.
double ValueAt(std::span<const double> bins, double binHz, double frequency);
