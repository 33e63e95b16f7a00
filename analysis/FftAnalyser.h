// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/RealFft.h"

#include <cstddef>
#include <span>
#include <vector>

// The power spectrum of one channel from frames of a fixed size (a power of two), windowed, with an
// average over frames and a peak hold.
//
// Conventions: a frame is Size() samples, oldest first. Bin k (0 .. Size()/2) lies at k frameRate /
// Size() Hz. A bin holds the mean square that a sine centred on it would need to show that value,
// in the input's unit squared: a sine of amplitude A reads A^2 / 2 in its bin (within the window's
// scalloping between bins, under 0.01 dB for the flat-top window). For noise, divide by
// NoiseBandwidth() (Hz) for the density per hertz. The averages and the peak hold start with the
// first frame after Reset (or construction).
class TFftAnalyser
{
public:
    enum class TWindow { Hann, BlackmanHarris, FlatTop };
    enum class TAveraging { None, Linear, Exponential };

    TFftAnalyser(std::size_t size, TWindow window);

    std::size_t Size() const { return Transform.Size(); }
    std::size_t Bins() const { return Transform.Bins(); }
    // The equivalent noise bandwidth of the window, in Hz at the given frame rate.
    double NoiseBandwidth(double frameRate) const;

    // None keeps the newest frame; Linear the plain mean of all frames since Reset; Exponential
    // moves each bin towards the newest frame by `weight` (0..1) of the difference.
    void SetAveraging(TAveraging averaging, double weight = 1);
    // One frame of Size() samples; no allocation.
    void Add(std::span<const double> frame);
    void Reset();

    long long Frames() const { return Count; }
    std::span<const double> Power() const { return Average; }
    std::span<const double> PeakHold() const { return Peak; }

private:
    TRealFft Transform;
    std::vector<double> Window;
    double Coherent = 0; // sum of the window
    double Energy = 0;   // sum of its squares
    TAveraging Averaging = TAveraging::None;
    double Weight = 1;
    long long Count = 0;
    std::vector<double> Windowed;
    std::vector<std::complex<double>> Spectrum;
    std::vector<double> Average, Peak;
};
