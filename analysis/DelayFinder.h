// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/RealFft.h"

#include <complex>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// A probe that marks a moment in a stream: a logarithmic sine sweep from startHz to stopHz, raised-
// cosine faded at both ends, peak 1. Its autocorrelation is one narrow peak, so it is found again
// after a device has filtered it and noise was added.
std::vector<double> ProbeChirp(double frameRate, double seconds, double startHz, double stopHz);

// Finds where a known probe stands in a recording, by cross-correlation through the FFT. A lag L means
// that the recording's frame L + n holds the probe's frame n (the probe's own time origin is its first
// frame); lags run from 0 to the longest lag given. A recording searched while it grows is transformed
// at the smallest size that holds it, so that a search early on costs a small part of one over the
// longest lag. Construction allocates; Find does not.
class TDelayFinder
{
public:
    // A peak at least this many times the correlation's RMS stands out from noise: the largest of a
    // million values of Gaussian noise is rarely above 5 times their RMS.
    static constexpr double MinimumClarity = 10.0;
    static constexpr double WhitenedFloor = 1e-6; // of the strongest bin

    struct TFound
    {
        double Lag;     // frames, interpolated between frames by the parabola through the peak
        double Clarity; // the peak over the RMS of the correlation at every lag searched
    };

    // whitened: every frequency weighs alike in the correlation (the cross spectrum's phase alone),
    // which keeps its peak narrow for signals whose spectrum has strong lines, such as music.
    TDelayFinder(std::span<const double> probe, std::size_t longestLag, bool whitened = false);
    // Another probe of the same length, searched for from now on (the other channel of a recording
    // that is compared with this one, taken again); allocates nothing.
    void SetProbe(std::span<const double> probe);

    // Frames of recording that hold the probe at any lag up to the longest.
    std::size_t RecordingFrames() const { return Probe + LongestLag; }
    // recording: up to RecordingFrames() frames; a shorter one is searched over the lags it reaches.
    // Nothing when no lag stands out with MinimumClarity.
    std::optional<TFound> Find(std::span<const double> recording);

private:
    // A transform size, each twice the one before, and the probe's spectrum at that size.
    struct TStage
    {
        explicit TStage(std::size_t size) : Fft(size), ProbeSpectrum(Fft.Bins()) {}
        TRealFft Fft;
        std::vector<std::complex<double>> ProbeSpectrum;
    };

    std::size_t Probe, LongestLag;
    bool Whitened;
    std::vector<std::unique_ptr<TStage>> Stages;
    std::vector<std::complex<double>> Spectrum; // room for the largest stage
    std::vector<double> Correlation;
};
