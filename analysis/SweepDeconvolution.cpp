// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SweepDeconvolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double InBandFloor = 1e-12;

// 0 inside the band, rising to 1 one octave outside it.
double OutOfBand(double frequency, double start, double stop)
{
    if (frequency <= 0 || frequency <= start / 2 || frequency >= 2 * stop)
        return 1;
    if (frequency >= start && frequency <= stop)
        return 0;
    const double octaves = frequency < start ? std::log2(start / frequency) : std::log2(frequency / stop);
    return 0.5 - 0.5 * std::cos(std::numbers::pi * octaves);
}

double StrongestPower(std::span<const std::complex<double>> spectrum)
{
    double strongest = 0;
    for (const std::complex<double>& bin : spectrum)
        strongest = std::max(strongest, std::norm(bin));
    return strongest > 0 ? strongest : 1;
}

} // namespace

double BandEdgeWeight(double frequency, double startHz)
{
    if (frequency <= startHz)
        return 0;
    if (frequency >= 2 * startHz)
        return 1;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * std::log2(frequency / startHz));
}

TSweepDeconvolution::TSweepDeconvolution(std::size_t size, double frameRate, double startHz, double stopHz)
    : Fft(size), Floor(Fft.Bins()), Edge(Fft.Bins()), Inverse(Fft.Bins()), Measured(Fft.Bins()),
      Reference(Fft.Bins())
{
    for (std::size_t k = 0; k < Floor.size(); ++k) {
        const double frequency = static_cast<double>(k) * frameRate / static_cast<double>(size);
        Floor[k] = InBandFloor + (1 - InBandFloor) * OutOfBand(frequency, startHz, stopHz);
        Edge[k] = BandEdgeWeight(frequency, startHz);
    }
}

void TSweepDeconvolution::SetExcitation(std::span<const double> excitation)
{
    Fft.Forward(excitation, Inverse);
    const double strongest = StrongestPower(Inverse);
    for (std::size_t k = 0; k < Inverse.size(); ++k)
        Inverse[k] = Edge[k] * std::conj(Inverse[k]) / (std::norm(Inverse[k]) + Floor[k] * strongest);
}

void TSweepDeconvolution::Deconvolve(std::span<const double> response, std::span<double> impulse)
{
    Fft.Forward(response, Measured);
    for (std::size_t k = 0; k < Measured.size(); ++k)
        Measured[k] *= Inverse[k];
    Finish(impulse);
}

void TSweepDeconvolution::DeconvolveByReference(std::span<const double> measured,
                                                std::span<const double> reference, std::span<double> impulse)
{
    Fft.Forward(measured, Measured);
    Fft.Forward(reference, Reference);
    const double strongest = StrongestPower(Reference);
    for (std::size_t k = 0; k < Measured.size(); ++k)
        Measured[k] *= Edge[k] * std::conj(Reference[k]) / (std::norm(Reference[k]) + Floor[k] * strongest);
    Finish(impulse);
}

void TSweepDeconvolution::Finish(std::span<double> impulse)
{
    Fft.Inverse(Measured, impulse);
    const double scale = 1.0 / static_cast<double>(Fft.Size());
    for (double& sample : impulse.first(std::min(impulse.size(), Fft.Size())))
        sample *= scale;
}
