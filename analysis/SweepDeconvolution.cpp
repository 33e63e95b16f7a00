// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SweepDeconvolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double InBandFloorDb = -120;

// The floor in dB of the strongest power: InBandFloorDb up to the stop, rising as a raised cosine to
// 0 dB one octave above it.
double FloorDb(double frequency, double stop)
{
    if (frequency <= stop)
        return InBandFloorDb;
    if (frequency >= 2 * stop)
        return 0;
    return InBandFloorDb * (0.5 + 0.5 * std::cos(std::numbers::pi * std::log2(frequency / stop)));
}

double StrongestPower(std::span<const std::complex<double>> spectrum)
{
    double strongest = 0;
    for (const std::complex<double>& bin : spectrum)
        strongest = std::max(strongest, std::norm(bin));
    return strongest > 0 ? strongest : 1;
}

} // namespace

TSweepDeconvolution::TSweepDeconvolution(std::size_t size, double frameRate, double stopHz)
    : Fft(size), Floor(Fft.Bins()), Inverse(Fft.Bins()), Measured(Fft.Bins()), Reference(Fft.Bins())
{
    for (std::size_t k = 0; k < Floor.size(); ++k) {
        const double frequency = static_cast<double>(k) * frameRate / static_cast<double>(size);
        Floor[k] = std::pow(10.0, FloorDb(frequency, stopHz) / 10);
    }
}

void TSweepDeconvolution::SetExcitation(std::span<const double> excitation)
{
    Fft.Forward(excitation, Inverse);
    const double strongest = StrongestPower(Inverse);
    for (std::size_t k = 0; k < Inverse.size(); ++k)
        Inverse[k] = std::conj(Inverse[k]) / (std::norm(Inverse[k]) + Floor[k] * strongest);
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
        Measured[k] *= std::conj(Reference[k]) / (std::norm(Reference[k]) + Floor[k] * strongest);
    Finish(impulse);
}

void TSweepDeconvolution::Finish(std::span<double> impulse)
{
    Fft.Inverse(Measured, impulse);
    const double scale = 1.0 / static_cast<double>(Fft.Size());
    for (double& sample : impulse.first(std::min(impulse.size(), Fft.Size())))
        sample *= scale;
}
