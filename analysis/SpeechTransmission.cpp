// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SpeechTransmission.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace SpeechTransmission {

namespace {

// Table A.1: the male weighting factors, and the redundancy factors between neighbouring octaves.
constexpr TOctaveValues Alpha = {0.085, 0.127, 0.230, 0.233, 0.309, 0.224, 0.173};
constexpr std::array<double, OctaveCount - 1> Beta = {0.085, 0.078, 0.065, 0.011, 0.047, 0.095};
// Table A.3: the absolute speech reception threshold, dB SPL.
constexpr TOctaveValues ReceptionThreshold = {46, 27, 12, 6.5, 7.5, 8, 12};
// Clause A.6.1: the male test-signal spectrum, dB re its 500 Hz octave.
constexpr TOctaveValues MaleSpectrum = {-2.5, 0.5, 0.0, -6.0, -12.0, -18.0, -24.0};
// The A weighting at the octaves' nominal midbands, as the weighting's table gives it, dB.
constexpr TOctaveValues AWeighting = {-16.1, -8.6, -3.2, 0.0, 1.2, 1.0, -1.1};
constexpr double LargestSnr = 15; // dB
// The phasor of a modulation frequency is computed afresh every this many blocks, so that rounding does not
// build up.
constexpr std::size_t Reseed = 1024;
constexpr double EnvelopeRate = 4000; // blocks a second at least

// Table A.2: the auditory masking slope from the level of the octave below, dB.
double MaskingDb(double level)
{
    if (level < 63)
        return 0.5 * level - 65;
    if (level < 67)
        return 1.8 * level - 146.9;
    if (level < 100)
        return 0.5 * level - 59.8;
    return -10;
}

double Intensity(double level)
{
    return std::pow(10.0, level / 10);
}

} // namespace

TModulations ModulationTransfer(std::span<const double> energy, double rate, double noise, const TTail& tail)
{
    using TComplex = std::complex<double>;
    const auto measured = std::min(energy.size(), static_cast<std::size_t>(std::max(tail.From, 0.0)));
    const double tailEnergy = tail.Ratio < 1 ? tail.First / (1 - tail.Ratio) : 0.0;
    TModulations m{};
    // The energy in blocks of at most 1 / EnvelopeRate s, each at its centre: at 12.5 Hz a block's own
    // averaging takes off less than 2e-5 of m.
    const std::size_t block = std::max<std::size_t>(1, static_cast<std::size_t>(rate / EnvelopeRate));
    std::array<double, ModulationCount> sumRe{}, sumIm{}, phaseRe{}, phaseIm{}, stepRe{}, stepIm{};
    double total = tailEnergy;
    std::size_t blocks = 0;
    for (std::size_t from = 0; from < measured; from += block, ++blocks) {
        const std::size_t to = std::min(measured, from + block);
        double sum = 0;
        for (std::size_t n = from; n < to; ++n)
            sum += energy[n] - noise;
        total += sum;
        if (blocks % Reseed == 0)
            for (std::size_t f = 0; f < ModulationCount; ++f) {
                const double omega = 2 * std::numbers::pi * Modulations[f] / rate;
                const double centre = 0.5 * static_cast<double>(from + to - 1);
                phaseRe[f] = std::cos(omega * centre);
                phaseIm[f] = -std::sin(omega * centre);
                stepRe[f] = std::cos(omega * static_cast<double>(block));
                stepIm[f] = -std::sin(omega * static_cast<double>(block));
            }
        for (std::size_t f = 0; f < ModulationCount; ++f) {
            sumRe[f] += sum * phaseRe[f];
            sumIm[f] += sum * phaseIm[f];
            const double re = phaseRe[f] * stepRe[f] - phaseIm[f] * stepIm[f];
            phaseIm[f] = phaseRe[f] * stepIm[f] + phaseIm[f] * stepRe[f];
            phaseRe[f] = re;
        }
    }
    if (!(total > 0))
        return m;
    for (std::size_t f = 0; f < ModulationCount; ++f) {
        const double omega = 2 * std::numbers::pi * Modulations[f] / rate;
        // sum over i of First r^i e^(-j omega (From + i)), a geometric series.
        const TComplex tailSum =
            tail.First * std::polar(1.0, -omega * tail.From) / (1.0 - tail.Ratio * std::polar(1.0, -omega));
        m[f] = std::abs(TComplex(sumRe[f], sumIm[f]) + tailSum) / total;
    }
    return m;
}

TOctaveValues SpeechLevels(double levelA)
{
    double weighted = 0;
    for (int k = 0; k < OctaveCount; ++k)
        weighted += Intensity(MaleSpectrum[k] + AWeighting[k]);
    const double offset = levelA - 10 * std::log10(weighted);
    TOctaveValues levels{};
    for (int k = 0; k < OctaveCount; ++k)
        levels[k] = MaleSpectrum[k] + offset;
    return levels;
}

TIndex Index(const std::array<TModulations, OctaveCount>& reverberation, const TConditions* conditions)
{
    TIndex index;
    index.Full = conditions != nullptr;
    TOctaveValues factor;
    factor.fill(1.0);
    if (conditions) {
        const TOctaveValues speech = SpeechLevels(conditions->SpeechLevel);
        for (int k = 0; k < OctaveCount; ++k) {
            const double is = Intensity(speech[k]), in = Intensity(conditions->NoiseLevels[k]);
            double masking = 0;
            if (k > 0) {
                const double below = Intensity(speech[k - 1]) + Intensity(conditions->NoiseLevels[k - 1]);
                masking = below * Intensity(MaskingDb(10 * std::log10(below)));
            }
            factor[k] = is / (is + in + masking + Intensity(ReceptionThreshold[k]));
        }
    }
    for (int k = 0; k < OctaveCount; ++k) {
        double sum = 0;
        for (int f = 0; f < ModulationCount; ++f) {
            const double m = std::clamp(reverberation[k][f] * factor[k], 0.0, 1.0);
            index.Mtf[k][f] = m;
            const double snr = m >= 1   ? LargestSnr
                               : m <= 0 ? -LargestSnr
                                        : std::clamp(10 * std::log10(m / (1 - m)), -LargestSnr, LargestSnr);
            sum += (snr + LargestSnr) / (2 * LargestSnr);
        }
        index.Mti[k] = sum / ModulationCount;
    }
    double value = 0;
    for (int k = 0; k < OctaveCount; ++k)
        value += Alpha[k] * index.Mti[k];
    for (int k = 0; k + 1 < OctaveCount; ++k)
        value -= Beta[k] * std::sqrt(index.Mti[k] * index.Mti[k + 1]);
    index.Value = std::min(value, 1.0);
    return index;
}

} // namespace SpeechTransmission
