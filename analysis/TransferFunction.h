// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/OctaveSmoothing.h"
#include "analysis/RealFft.h"

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

// The cross and auto spectra of a reference x and a measured channel y over frames of a fixed size,
// averaged (Welch), and from them the transfer function H1 = Gxy / Gxx and the coherence
// γ² = |Gxy|² / (Gxx Gyy).
//
// Conventions: a frame is Size() samples of each channel taken at the same instants (any delay
// between the channels is taken off before), oldest first. X and Y are the transforms of the windowed
// frames (TRealFft: e^(-2 pi i k n / N)); Gxy = conj(X) Y, Gxx = |X|², Gyy = |Y|². A measured channel
// that is the reference delayed by d frames has H = e^(-2 pi i k d / N): the phase falls with
// frequency. Bin k lies at k frameRate / Size() Hz. The spectra carry no absolute scale (only their
// ratios mean anything). A bin without reference gets H = 0 and coherence 0.
// The constructor allocates, and so does SetAveraging for a longer count; Add and Estimate do not.
class TTransferEstimator
{
public:
    // Rectangular for an excitation periodic in the frame's length (exact with no window), Hann for
    // anything else.
    enum class TWindow { Rectangular, Hann };
    // Count: the mean of the newest `frames` frames; Exponential: each new frame weighs 1/frames (the
    // first ones 1/k, so that nothing starts from zero); Infinite: the mean of every frame.
    enum class TAveraging { Count, Exponential, Infinite };

    explicit TTransferEstimator(std::size_t size);

    std::size_t Size() const { return Transform.Size(); }
    std::size_t Bins() const { return Transform.Bins(); }

    // Each starts the averages again.
    void SetWindow(TWindow window);
    void SetAveraging(TAveraging averaging, int frames);
    void Reset();

    // One frame of each channel, Size() samples.
    void Add(std::span<const double> reference, std::span<const double> measured);

    long long Frames() const { return Count; } // added since the averages started
    int Averaged() const;                      // of them in the average now
    std::span<const double> Gxx() const { return Sxx; }
    std::span<const double> Gyy() const { return Syy; }
    std::span<const std::complex<double>> Gxy() const { return Sxy; }
    double Coherence(std::size_t bin) const;

private:
    void Sum(); // the count's sums again from the frames it holds

    TRealFft Transform;
    std::vector<double> Window, Windowed;
    std::vector<std::complex<double>> X, Y;
    TAveraging Averaging = TAveraging::Infinite;
    int Depth = 1; // frames of the count, or the exponential's reciprocal weight
    long long Count = 0;
    std::vector<double> Sxx, Syy;
    std::vector<std::complex<double>> Sxy;
    // The count's frames, the newest Depth of them, in single precision (a ring); and their sums.
    std::vector<float> HeldXx, HeldYy;
    std::vector<std::complex<float>> HeldXy;
    std::vector<double> SumXx, SumYy;
    std::vector<std::complex<double>> SumXy;
};

// What the user sees of a transfer function, on a frequency grid (TTransferCurveMaker): magnitude in dB re
// unity gain (floor -200 dB), phase in degrees within (-180, 180], and coherence 0 .. 1.
struct TTransferCurves
{
    static constexpr int PointsPerOctave = 96;
    std::vector<double> Frequency, MagnitudeDb, PhaseDegrees, Coherence;
};

// The curves of an estimate, smoothed over 1/N octave (TOctaveSmoothing). The delay between the
// channels is taken off each bin's complex H before it is smoothed, so that smoothing sees the device
// and not the time of flight. Each bin weighs by its coherence: the bins that the excitation left
// empty (between the notes of music) carry noise, not the device, and do not pull the mean; with
// noise for an excitation every bin weighs alike. The coherence shown is the plain mean of the bins'.
// The phase may then be given with a delay put back (the whole delay between the channels, when the
// user wants to see it).
// The grid runs from the first bin at or above 10 Hz up to 0.45 of the frame rate: every bin where the
// bins lie further apart than 1/PointsPerOctave octave, PointsPerOctave points an octave above.
// The constructor allocates; Compute allocates nothing once the curves have their size.
class TTransferCurveMaker
{
public:
    TTransferCurveMaker(std::size_t bins, double frameRate);

    std::size_t Points() const { return Frequency.size(); }
    // takenOff, putBack: seconds; smoothing: 0 (none) or 1 .. TOctaveSmoothing::Finest.
    void Compute(const TTransferEstimator& estimate, double takenOff, double putBack, int smoothing,
                 TTransferCurves& curves);

private:
    double BinHz;
    TOctaveSmoothing Smoothing;
    std::vector<double> Frequency;
    std::vector<double> Real, Imaginary, Coherence; // on the bins (H weighted), then smoothed in place
    std::vector<double> Smoothed;
};

// One period of pink noise of `size` samples, RMS 1: bins 1 .. size/2 - 1 carry the magnitude of a
// pink spectrum (power falling as 1/f above 20 Hz, and rising as f below it, so that little of it
// goes where loudspeakers only move), each with a random phase from `seed`; DC and the last bin carry
// nothing. Played over and over, any `size` consecutive samples hold every bin whole, so that a
// transfer function measured with it needs no window. Allocates.
std::vector<double> PeriodicPinkNoise(std::size_t size, double frameRate, std::uint32_t seed);
