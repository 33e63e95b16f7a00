// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/DelayFinder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

std::vector<double> ProbeChirp(double frameRate, double seconds, double startHz, double stopHz)
{
    const auto frames = static_cast<std::size_t>(std::max(2.0, std::round(frameRate * seconds)));
    std::vector<double> probe(frames);
    // Instantaneous frequency startHz * r^(t / T) with r = stopHz / startHz; its phase integrated.
    const double duration = static_cast<double>(frames) / frameRate;
    const double rate = std::log(stopHz / startHz);
    const double fade = 0.1 * duration; // raised-cosine ends, a tenth of the probe each
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / frameRate;
        const double phase =
            2 * std::numbers::pi * startHz * duration / rate * (std::exp(rate * t / duration) - 1);
        const double edge = std::min(t, duration - t);
        const double gain = edge >= fade ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * edge / fade);
        probe[n] = gain * std::sin(phase);
    }
    return probe;
}

TDelayFinder::TDelayFinder(std::span<const double> probe, std::size_t longestLag, bool whitened)
    : Probe(probe.size()), LongestLag(longestLag), Whitened(whitened)
{
    // Circular correlation is linear over the lags a recording reaches once the transform holds the
    // recording and the probe: the probe then never wraps onto a lag of interest.
    const std::size_t largest = std::bit_ceil(2 * Probe + LongestLag);
    for (std::size_t size = std::bit_ceil(std::max<std::size_t>(4 * Probe, 1024));; size *= 2) {
        Stages.push_back(std::make_unique<TStage>(std::min(size, largest)));
        if (size >= largest)
            break;
    }
    Spectrum.resize(Stages.back()->Fft.Bins());
    Correlation.resize(Stages.back()->Fft.Size());
    SetProbe(probe);
}

void TDelayFinder::SetProbe(std::span<const double> probe)
{
    for (const auto& stage : Stages)
        stage->Fft.Forward(probe.first(std::min(probe.size(), Probe)), stage->ProbeSpectrum);
}

std::optional<TDelayFinder::TFound> TDelayFinder::Find(std::span<const double> recording)
{
    recording = recording.first(std::min(recording.size(), RecordingFrames()));
    auto stage = Stages.begin();
    while ((*stage)->Fft.Size() < recording.size() + Probe && stage + 1 != Stages.end())
        ++stage;
    TRealFft& fft = (*stage)->Fft;
    const std::span<std::complex<double>> spectrum(Spectrum.data(), fft.Bins());
    fft.Forward(recording, spectrum);
    for (std::size_t k = 0; k < spectrum.size(); ++k)
        spectrum[k] *= std::conj((*stage)->ProbeSpectrum[k]);
    if (Whitened) {
        // Bins far below the strongest hold no more than rounding: they stay small.
        double strongest = 0;
        for (const std::complex<double>& bin : spectrum)
            strongest = std::max(strongest, std::abs(bin));
        for (std::complex<double>& bin : spectrum)
            bin /= std::max(std::abs(bin), WhitenedFloor * strongest);
    }
    fft.Inverse(spectrum, std::span<double>(Correlation.data(), fft.Size()));

    // Only lags that the recording reaches are compared: beyond it the correlation is 0, which would
    // make any noise stand out from a short recording.
    const std::size_t searched = std::min(LongestLag, std::max<std::size_t>(recording.size(), 1) - 1);
    std::size_t peak = 0;
    double energy = 0;
    for (std::size_t lag = 0; lag <= searched; ++lag) {
        energy += Correlation[lag] * Correlation[lag];
        if (std::abs(Correlation[lag]) > std::abs(Correlation[peak]))
            peak = lag;
    }
    const double rms = std::sqrt(energy / static_cast<double>(searched + 1));
    const double clarity = rms > 0 ? std::abs(Correlation[peak]) / rms : 0.0;
    if (!(clarity >= MinimumClarity))
        return std::nullopt;
    double lag = static_cast<double>(peak);
    if (peak > 0 && peak < searched) {
        const double before = Correlation[peak - 1], at = Correlation[peak], after = Correlation[peak + 1];
        const double curvature = before - 2 * at + after;
        if (Whitened) {
            // A whitened peak is a sinc, whose samples beside a peak at a fraction f of a frame stand
            // in the ratio f / (1 - f) to the one at it.
            const double sign = at < 0 ? -1 : 1, left = sign * before, right = sign * after;
            if (right >= left && right > 0)
                lag += std::min(right / (sign * at + right), 0.5);
            else if (left > 0)
                lag -= std::min(left / (sign * at + left), 0.5);
        } else if (curvature != 0) {
            lag += std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
        }
    }
    return TFound{lag, clarity};
}
