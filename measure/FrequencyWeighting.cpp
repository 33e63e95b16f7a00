// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/FrequencyWeighting.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

// The pole frequencies of the A and C weightings as the sound level meter standard defines them.
constexpr double F1 = 20.598997, F2 = 107.65265, F3 = 737.86223, F4 = 12194.217; // Hz
constexpr double ReferenceFrequency = 1000.0;                                    // Hz
constexpr double TwoPi = 2 * std::numbers::pi;

// |H(j 2 pi f)| of the unnormalised analog weightings.
double AnalogC(double f)
{
    const double f2 = f * f;
    return F4 * F4 * f2 / ((f2 + F1 * F1) * (f2 + F4 * F4));
}

double AnalogA(double f)
{
    const double f2 = f * f;
    return AnalogC(f) * f2 / std::sqrt((f2 + F2 * F2) * (f2 + F3 * F3));
}

// s^2 / ((s + wa)(s + wb)) by the bilinear transform: the double zero stays exactly at DC, and
// with poles below 1 kHz the frequency warping stays under a hundredth of a dB in the audio band.
TWeightingSection HighPass(double fa, double fb, double frameRate)
{
    const double k = 2 * frameRate;
    const double wa = TwoPi * fa, wb = TwoPi * fb;
    const double pa = (k - wa) / (k + wa), pb = (k - wb) / (k + wb);
    const double gain = k * k / ((k + wa) * (k + wb));
    return {gain, -2 * gain, gain, -(pa + pb), pa * pb};
}

// w4^2 / (s + w4)^2, the part that a bilinear transform bends most: near the Nyquist frequency it
// would fall to nothing, 3 dB too low at 16 kHz already. Here the poles are the analog ones mapped
// exactly (z = exp(-w4 T)) and the zeros are chosen so that the magnitude equals the analog one at
// DC, at the Nyquist frequency and at a frequency between (magnitude-matched second-order design).
// In terms of phi = sin^2(w/2) the squared magnitude of a quadratic in z^-1 is
//   (c0 + c1 + c2)^2 (1 - phi) + (c0 - c1 + c2)^2 phi - 4 c0 c2 4 (1 - phi) phi,
// linear in three unknowns, from which the numerator follows in closed form.
TWeightingSection MatchedLowPass(double f0, double frameRate)
{
    const auto analogSquare = [f0](double f) {
        const double r = 1 / (1 + (f / f0) * (f / f0));
        return r * r;
    };
    const double pole = std::exp(-TwoPi * f0 / frameRate);
    const double a1 = -2 * pole, a2 = pole * pole;
    const double d0 = (1 + a1 + a2) * (1 + a1 + a2), d1 = (1 - a1 + a2) * (1 - a1 + a2), d2 = -4 * a2;

    const double nyquist = frameRate / 2;
    const double matched = std::min(f0, nyquist / 2);
    const double phi1 = std::pow(std::sin(std::numbers::pi * matched / frameRate), 2);
    const double phi0 = 1 - phi1, phi2 = 4 * phi0 * phi1;

    const double n0 = d0;
    const double n1 = d1 * analogSquare(nyquist);
    const double n2 =
        (analogSquare(matched) * (d0 * phi0 + d1 * phi1 + d2 * phi2) - n0 * phi0 - n1 * phi1) / phi2;

    const double w = (std::sqrt(n0) + std::sqrt(n1)) / 2;
    const double b0 = (w + std::sqrt(std::max(w * w + n2, 0.0))) / 2;
    const double b1 = (std::sqrt(n0) - std::sqrt(n1)) / 2;
    const double b2 = -n2 / (4 * b0);
    return {b0, b1, b2, a1, a2};
}

std::complex<double> Response(const TWeightingSection& section, double frequency, double frameRate)
{
    const std::complex<double> z1 = std::polar(1.0, -TwoPi * frequency / frameRate); // z^-1
    return (section.B0 + z1 * (section.B1 + z1 * section.B2)) / (1.0 + z1 * (section.A1 + z1 * section.A2));
}

void Scale(TWeightingSection& section, double gain)
{
    section.B0 *= gain;
    section.B1 *= gain;
    section.B2 *= gain;
}

} // namespace

TFrequencyWeighting WeightingFromItem(int item)
{
    switch (item) {
    case 0:
        return TFrequencyWeighting::A;
    case 1:
        return TFrequencyWeighting::C;
    default:
        return TFrequencyWeighting::Z;
    }
}

QString WeightingLetter(TFrequencyWeighting weighting)
{
    switch (weighting) {
    case TFrequencyWeighting::A:
        return QStringLiteral("A");
    case TFrequencyWeighting::C:
        return QStringLiteral("C");
    case TFrequencyWeighting::Z:
        break;
    }
    return QStringLiteral("Z");
}

QString LevelUnit(TFrequencyWeighting weighting)
{
    if (weighting == TFrequencyWeighting::Z)
        return QStringLiteral("dB");
    return QStringLiteral("dB(") + WeightingLetter(weighting) + QStringLiteral(")");
}

TWeightingDesign DesignWeighting(int frameRate)
{
    const double rate = frameRate;
    TWeightingDesign design{HighPass(F1, F1, rate), MatchedLowPass(F4, rate), HighPass(F2, F3, rate)};
    // Unity at 1 kHz: C on its two sections, A on the third one after them.
    const double c = std::abs(Response(design.LowCut, ReferenceFrequency, rate) *
                              Response(design.HighCut, ReferenceFrequency, rate));
    Scale(design.HighCut, 1 / c);
    Scale(design.MidCut, 1 / std::abs(Response(design.MidCut, ReferenceFrequency, rate)));
    return design;
}

double AnalyticResponseDb(TFrequencyWeighting weighting, double frequency)
{
    switch (weighting) {
    case TFrequencyWeighting::A:
        return 20 * std::log10(AnalogA(frequency) / AnalogA(ReferenceFrequency));
    case TFrequencyWeighting::C:
        return 20 * std::log10(AnalogC(frequency) / AnalogC(ReferenceFrequency));
    case TFrequencyWeighting::Z:
        break;
    }
    return 0;
}

double DesignResponseDb(const TWeightingDesign& design, TFrequencyWeighting weighting, double frequency,
                        int frameRate)
{
    if (weighting == TFrequencyWeighting::Z)
        return 0;
    std::complex<double> response =
        Response(design.LowCut, frequency, frameRate) * Response(design.HighCut, frequency, frameRate);
    if (weighting == TFrequencyWeighting::A)
        response *= Response(design.MidCut, frequency, frameRate);
    return 20 * std::log10(std::abs(response));
}
