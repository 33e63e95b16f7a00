// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/RealFft.h"

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Measures, in one channel, a steady tone whose frequency and phase are known exactly (a generator's
// own): the magnitude and phase of its fundamental and of its harmonics, THD and THD+N.
//
// Method: over the frames of a window, a least-squares fit of a constant and of cos(k theta_n),
// sin(k theta_n) for k = 1 .. K, where theta_n = Step n + Phase and n counts from 0 at the window's
// first frame. Over a whole number of periods this is the correlation with the generator's sine and
// cosine; the fit solves for the basis' cross terms as well, so a window that ends a fraction of a
// frame off a period's end is measured just as exactly.
//
// Conventions:
// - Amplitudes are peak values in the samples' own units (a full-scale float sine is 1).
// - Phasors are relative to sin(k theta_n): a channel that holds A sin(k theta_n + psi) gives A e^(i psi).
//   A delay of d frames gives psi = -k Step d: a lagging phase is negative. Radians.
// - Harmonics are fitted up to the highest order asked for whose frequency stays below 0.49 of the frame
//   rate; the others are not measured.
// - THD = sqrt(sum over the measured harmonics 2..K of A_k^2) / A_1.
// - THD+N = the RMS of everything but the constant and the fundamental within the band, over the RMS of
//   the fundamental. The band is taken from a Hann-windowed transform of that residual, zero-padded to a
//   power of two; the transform's resolution (frame rate / its size) blurs the band's edges.
// - AmplitudeError is the standard error of A_1 from the residual's variance (its noise).
// - The halves: the same fit over the window's first and second half on their own (each its own
//   constant and harmonics), with their fundamentals' standard errors. A tone that is still settling
//   differs between them by more than their noise.
//
// Construction allocates (sample store, transforms); Begin, Add and Finish do not.
class TSynchronousDetector
{
public:
    static constexpr int MostHarmonics = 9;

    struct THarmonic
    {
        bool Measured = false;
        std::complex<double> Phasor; // A e^(i psi)
        double Amplitude() const { return std::abs(Phasor); }
    };

    struct TResult
    {
        std::size_t Frames = 0;
        std::array<THarmonic, MostHarmonics + 1> Harmonics{}; // [1] the fundamental .. [9]; [0] unused
        double Offset = 0;                                    // the constant
        double NoiseRms = 0;                                  // of what the fit leaves, per frame
        double AmplitudeError = 0;                            // standard error of the fundamental's amplitude
        bool ThdMeasured = false;                             // some harmonic 2..K was measured
        double Thd = 0;                                       // ratio, not percent
        double ThdN = 0;                                      // ratio, not percent; 0 without a fundamental
        double Peak = 0;                                      // the largest sample magnitude in the window
        std::array<std::complex<double>, 2> Halves{};         // the fundamental's phasor in each half
        std::array<double, 2> HalfErrors{};                   // and its standard error; 0: not fitted
    };

    // highestHarmonic: 1 .. MostHarmonics; the band of THD+N in Hz; longestWindow: frames kept at most.
    TSynchronousDetector(double frameRate, std::size_t longestWindow, int highestHarmonic, double bandLowHz,
                         double bandHighHz);
    ~TSynchronousDetector();
    TSynchronousDetector(const TSynchronousDetector&) = delete;
    TSynchronousDetector& operator=(const TSynchronousDetector&) = delete;

    std::size_t LongestWindow() const { return Samples.size(); }

    // A new window: the tone's angular step per frame and its phase at the window's first frame.
    void Begin(double step, double phase);
    // The window's next frames: every stride-th value of `samples` from the first. Frames beyond the
    // longest window are not kept.
    void Add(std::span<const float> samples, std::size_t stride = 1);
    std::size_t Frames() const { return Count; }
    // Measures the window's frames; the result stays until the next Begin.
    const TResult& Finish();

private:
    // The normal equations of the fit over `count` frames from `first`; false when they are singular.
    bool Fit(std::size_t first, std::size_t count);
    void Correlate(std::size_t first, std::size_t count);
    bool Solve(int size, std::size_t count); // the normal equations in place
    void FitHalves();
    void MeasureDistortion();

    double Rate;
    int Highest;
    double BandLow, BandHigh;
    double Step = 0, Phase = 0;
    std::size_t Count = 0;
    int Fitted = 1; // harmonics fitted in this window
    std::vector<double> Samples, Work;
    std::vector<std::complex<double>> Spectrum;
    std::vector<std::unique_ptr<TRealFft>> Transforms; // powers of two up to the longest window
    // The normal equations of the fit: the constant, then cos and sin of each harmonic.
    static constexpr int MostTerms = 2 * MostHarmonics + 1;
    std::array<double, MostTerms * MostTerms> Gram{};
    std::array<double, MostTerms> Projection{}, Solution{};
    double SumOfSquares = 0;
    TResult Result;
};
