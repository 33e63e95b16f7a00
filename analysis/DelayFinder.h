// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/RealFft.h"

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

// A probe that marks a moment in a stream: a logarithmic sine sweep from startHz to stopHz, raised-
// cosine faded at both ends, peak 1. Its autocorrelation is one narrow peak, so it is found again
// after a device has filtered it and noise was added.
std::vector<double> ProbeChirp(double frameRate, double seconds, double startHz, double stopHz);

// Finds where a known probe stands in a recording, by cross-correlation through the FFT. A lag L means
// that the recording's frame L + n holds the probe's frame n (the probe's own time origin is its first
// frame); lags run from 0 to the longest lag given. Construction allocates; Find does not.
class TDelayFinder
{
public:
    // A peak at least this many times the correlation's RMS stands out from noise: the largest of a
    // million values of Gaussian noise is rarely above 5 times their RMS.
    static constexpr double MinimumClarity = 10.0;

    struct TFound
    {
        double Lag;     // frames, interpolated between frames by the parabola through the peak
        double Clarity; // the peak over the RMS of the correlation at every lag searched
    };

    TDelayFinder(std::span<const double> probe, std::size_t longestLag);

    // Frames of recording that hold the probe at any lag up to the longest.
    std::size_t RecordingFrames() const { return Probe + LongestLag; }
    // recording: up to RecordingFrames() frames; a shorter one is searched over the lags it reaches.
    // Nothing when no lag stands out with MinimumClarity.
    std::optional<TFound> Find(std::span<const double> recording);

private:
    std::size_t Probe, LongestLag;
    TRealFft Fft;
    std::vector<std::complex<double>> ProbeSpectrum, Spectrum;
    std::vector<double> Correlation;
};
