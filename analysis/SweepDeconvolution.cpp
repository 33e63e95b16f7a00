// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SweepDeconvolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double InBandFloor = 1e-12;
constexpr double LowEdgeBelowStart = 16; // the floor starts to rise this many times below the start
constexpr double LowEdgeOctaves = 2, HighEdgeOctaves = 1;

double RaisedCosine(double octaves, double width) // 0 .. 1
{
    return 0.5 - 0.5 * std::cos(std::numbers::pi * std::min(octaves / width, 1.0));
}

// The floor, of the strongest power. Below the band the sweep still has energy, and the floor rises
// slowly, as a raised cosine of its level in dB; above it there is nothing but noise, and the floor
// rises fast, as a raised cosine of the power.
double Floor(double frequency, double start, double stop)
{
    const double low = start / LowEdgeBelowStart;
    if (frequency <= 0)
        return 1;
    if (frequency < low)
        return std::pow(InBandFloor, 1 - RaisedCosine(std::log2(low / frequency), LowEdgeOctaves));
    if (frequency > stop)
        return InBandFloor + (1 - InBandFloor) * RaisedCosine(std::log2(frequency / stop), HighEdgeOctaves);
    return InBandFloor;
}

double StrongestPower(std::span<const std::complex<double>> spectrum)
{
    double strongest = 0;
    for (const std::complex<double>& bin : spectrum)
        strongest = std::max(strongest, std::norm(bin));
    return strongest > 0 ? strongest : 1;
}

} // namespace

TSweepDeconvolution::TSweepDeconvolution(std::size_t size, double frameRate, double startHz, double stopHz)
    : Fft(size), Floor(Fft.Bins()), Inverse(Fft.Bins()), Measured(Fft.Bins()), Reference(Fft.Bins())
{
    for (std::size_t k = 0; k < Floor.size(); ++k) {
        const double frequency = static_cast<double>(k) * frameRate / static_cast<double>(size);
        Floor[k] = ::Floor(frequency, startHz, stopHz);
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
