// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <vector>

// What a sweep is asked to be; TLogSweep says what it became.
struct TLogSweepRequest
{
    double StartHz = 20, StopHz = 20000;
    int NominalLength = 1 << 17; // frames
    double FrameRate = 48000;    // frames/s
    double LevelDb = -6;         // peak, dB re full scale

    bool operator==(const TLogSweepRequest&) const = default;
};

// The synchronized exponential sweep
//   x(n) = A sin(2 pi f1 L (e^(t / L) - 1)),   t = n / frame rate,   n = 0 .. Length() - 1,
// whose rate constant L (s) is rounded so that f1 L is a whole number. Then the k-th harmonic that a
// nonlinear device makes of it, sin(k phase(t)), is the sweep itself advanced by L ln k and in phase,
// so a deconvolution puts the k-th harmonic's impulse response HarmonicAdvance(k) frames before the
// linear one. The length follows from L and the two frequencies, as near the nominal length as that
// rounding allows. Half-Hann fades take the first sixth of an octave and the last twenty-fourth.
// Samples are in full-scale units (1 = 0 dBFS); A = 10^(LevelDb / 20).
class TLogSweep
{
public:
    explicit TLogSweep(const TLogSweepRequest& asked);

    const TLogSweepRequest& Request() const { return Asked; }
    double FrameRate() const { return Rate; }
    std::span<const double> Samples() const { return Signal; }
    std::size_t Length() const { return Signal.size(); }
    double Amplitude() const { return Peak; }
    double RateConstant() const { return L; } // s
    // The band it sweeps: the asked one, kept above 1 Hz and below half the frame rate.
    double StartHz() const { return Start; }
    double StopHz() const { return Stop; }
    // Where the fade-in ends and the sweep has its full level.
    double FadeInEndHz() const;
    // Frames by which the k-th harmonic's response leads the linear one (k >= 1).
    double HarmonicAdvance(int k) const;
    // The instantaneous frequency at a frame, Hz.
    double FrequencyAt(double frame) const;

private:
    TLogSweepRequest Asked;
    double Rate = 1, Start = 1, Stop = 2, L = 1, Peak = 1;
    std::vector<double> Signal;
};
