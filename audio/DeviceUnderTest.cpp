// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/DeviceUnderTest.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {
constexpr double Q = 0.7071067811865476; // Butterworth
}

void TBiquad::Set(double b0, double b1, double b2, double a0, double a1, double a2)
{
    B0 = b0 / a0;
    B1 = b1 / a0;
    B2 = b2 / a0;
    A1 = a1 / a0;
    A2 = a2 / a0;
    Z1 = Z2 = 0.0;
}

void TBiquad::PassThrough()
{
    Set(1, 0, 0, 1, 0, 0);
}

void TBiquad::HighPass(double cornerHz, double frameRate)
{
    const double w0 = 2 * std::numbers::pi * std::min(cornerHz, 0.45 * frameRate) / frameRate;
    const double c = std::cos(w0), alpha = std::sin(w0) / (2 * Q);
    Set((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

void TBiquad::LowPass(double cornerHz, double frameRate)
{
    const double w0 = 2 * std::numbers::pi * std::min(cornerHz, 0.45 * frameRate) / frameRate;
    const double c = std::cos(w0), alpha = std::sin(w0) / (2 * Q);
    Set((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

void TBiquad::Peaking(double centreHz, double q, double gainDb, double frameRate)
{
    const double w0 = 2 * std::numbers::pi * std::min(centreHz, 0.45 * frameRate) / frameRate;
    const double a = std::pow(10.0, gainDb / 40), c = std::cos(w0), alpha = std::sin(w0) / (2 * q);
    Set(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
}

std::complex<double> TBiquad::Response(double frequency, double frameRate) const
{
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * frequency / frameRate); // z^-1
    const std::complex<double> z2 = z1 * z1;
    return (B0 + B1 * z1 + B2 * z2) / (1.0 + A1 * z1 + A2 * z2);
}

TChannelPath::TChannelPath() : Line(MaxDelayFrames + FractionReach + 1, 0.0) {}

void TChannelPath::Configure(const TChannelModel& model, double frameRate)
{
    model.HighPassHz > 0 ? HighPass.HighPass(model.HighPassHz, frameRate) : HighPass.PassThrough();
    model.LowPassHz > 0 ? LowPass.LowPass(model.LowPassHz, frameRate) : LowPass.PassThrough();
    model.ResonanceHz > 0 && model.ResonanceQ > 0
        ? Resonance.Peaking(model.ResonanceHz, model.ResonanceQ, model.ResonanceGainDb, frameRate)
        : Resonance.PassThrough();
    Gain = std::pow(10.0, model.GainDb / 20.0);
    Square = model.Square;
    Cube = model.Cube;
    Clip = std::max(model.ClipLevel, 0.0);
    NoiseAmplitude = std::pow(10.0, model.NoiseDbfs / 20.0);
    Fraction = model.DelayFraction > 0.0 && model.DelayFraction < 1.0 ? model.DelayFraction : 0.0;
    const int leastDelay = Fraction == 0.0 ? 0 : FractionReach;
    Delay = static_cast<std::size_t>(std::clamp(model.DelayFrames, leastDelay, MaxDelayFrames));
    // A Kaiser-windowed sinc centred on the fraction: taps k = 1 - Reach .. Reach weigh the frame
    // k frames before the whole delay. Normalised to a gain of exactly 1 at 0 Hz.
    constexpr double beta = 9.0;
    double sum = 0.0;
    for (int k = 1 - FractionReach; k <= FractionReach; ++k) {
        const double t = k - Fraction, edge = t / FractionReach;
        const double sinc = t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        const double window = std::cyl_bessel_i(0.0, beta * std::sqrt(std::max(0.0, 1.0 - edge * edge)));
        Taps[static_cast<std::size_t>(k + FractionReach - 1)] = sinc * window;
        sum += sinc * window;
    }
    for (double& tap : Taps)
        tap /= sum;
    std::fill(Line.begin(), Line.end(), 0.0);
    Write = 0;
}

double TChannelPath::Interpolated() const
{
    const std::size_t size = Line.size();
    // Tap k reads the frame Delay + k before the newest; the first tap is the latest frame.
    std::size_t at = (Write + size - (Delay + 1 - FractionReach)) % size;
    double y = 0.0;
    for (const double tap : Taps) {
        y += tap * Line[at];
        at = at == 0 ? size - 1 : at - 1;
    }
    return y;
}

void TAmbientSound::Configure(double frameRate)
{
    FrameRate = frameRate;
    Smoothing = 1.0 - std::exp(-2 * std::numbers::pi * 400.0 / frameRate); // a dull, low murmur
}

double TAmbientSound::Next(TNoise& noise)
{
    // About -55 dBFS, drifting by +-6 dB over half a minute.
    const double levelDb = -55.0 + 6.0 * std::sin(2 * std::numbers::pi * Time / 29.0);
    Time += 1.0 / FrameRate;
    State += Smoothing * (noise.Gaussian() - State);
    return State * 4.0 * std::pow(10.0, levelDb / 20.0);
}

std::complex<double> TChannelPath::Response(double frequency, double frameRate) const
{
    return Gain * HighPass.Response(frequency, frameRate) * LowPass.Response(frequency, frameRate) *
           Resonance.Response(frequency, frameRate) *
           std::polar(1.0, -2 * std::numbers::pi * frequency * DelayFrames() / frameRate);
}

double TChannelPath::ResponseDb(double frequency, double frameRate) const
{
    return 20 * std::log10(std::abs(Response(frequency, frameRate)));
}
