// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/RealFft.h"

#include <complex>
#include <span>
#include <vector>

enum class TGateShape { Tukey, HalfHann };

// An angle in degrees brought within (-180, 180].
double WrapDegrees(double degrees);

// The part of an impulse response that is analysed: a left window rising from Start to Peak and a
// right window falling from Peak to End, times in seconds on the impulse's own time axis. A Tukey side
// is flat but for a half-Hann taper over its outer TukeyTaper; a half-Hann side tapers all the way.
struct TGate
{
    static constexpr double TukeyTaper = 0.1;
    double Start = 0, Peak = 0, End = 0; // s
    TGateShape Shape = TGateShape::Tukey;

    double Weight(double time) const; // 0 .. 1
    // The lowest frequency whose period the right window holds, Hz.
    double LowestValidHz() const;
};

// The frequency response of a gated impulse response, on the bins k = 0 .. Size()/2 of a transform of
// Size() frames (k * BinHz() Hz).
//
// Conventions: the impulse's sample i stands at time (i - origin) / frame rate. The phase is that of
// H(f) = sum over the gated samples of h(t) e^(-2 pi i f (t - phaseReference)), so a device that only
// delays by d seconds has the phase -360 f (d - phaseReference) degrees and the group delay
// d - phaseReference seconds. Magnitudes in dB re 1 (unity gain 0 dB) with a floor at -200 dB; phases
// in degrees. The wrapped phase lies in (-180, 180]; the unwrapped one is continuous and equals the
// wrapped one at the anchor frequency; the minimum phase is that of the minimum-phase response of the
// same magnitude (through the real cepstrum), 0 at 0 Hz, with the magnitude outside the valid band
// held at its value at the band's edges (what lies outside is not the device's); the excess phase is
// unwrapped minus minimum, brought within (-180, 180] at the valid band's low edge, which is also where
// the unwrapping starts. Group delay in seconds, from the transform of t h(t).
// The constructor allocates; Analyse allocates nothing.
class TResponseAnalysis
{
public:
    TResponseAnalysis(std::size_t size, double frameRate);

    std::size_t Size() const { return Fft.Size(); }
    std::size_t Bins() const { return Fft.Bins(); }
    double BinHz() const { return Rate / static_cast<double>(Fft.Size()); }
    double FrameRate() const { return Rate; }

    // Samples beyond Size() frames of the gate are left out. lowHz .. highHz: the valid band.
    void Analyse(std::span<const double> impulse, double origin, const TGate& gate, double phaseReference,
                 double lowHz, double highHz);
    // The magnitude alone (the rest is left as it was), for what needs no phase.
    void AnalyseMagnitude(std::span<const double> impulse, double origin, const TGate& gate);

    std::span<const std::complex<double>> Spectrum() const { return Response; }
    std::span<const double> MagnitudeDb() const { return Magnitude; }
    std::span<const double> PhaseWrapped() const { return Wrapped; }
    std::span<const double> PhaseUnwrapped() const { return Unwrapped; }
    std::span<const double> PhaseMinimum() const { return Minimum; }
    std::span<const double> PhaseExcess() const { return Excess; }
    std::span<const double> GroupDelay() const { return Delay; }

private:
    // The gated samples into Time, placed from the reference (a whole frame; the fraction is returned),
    // and t h(t) into Weighted when `moment`.
    double Place(std::span<const double> impulse, double origin, const TGate& gate, double phaseReference,
                 bool moment);
    std::size_t BinOf(double frequency) const;
    void MinimumPhase(std::size_t low, std::size_t high);
    void UnwrapFrom(std::size_t anchor);

    TRealFft Fft;
    double Rate;
    std::vector<double> Time, Weighted;
    std::vector<std::complex<double>> Response, Moment;
    std::vector<double> Magnitude, Wrapped, Unwrapped, Minimum, Excess, Delay;
};
