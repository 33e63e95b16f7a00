// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/DeviceUnderTest.h"

#include <cmath>
#include <complex>
#include <numbers>

// The devices under test whose responses the measuring tests know in closed form, at 48000 frames/s:
// the virtual card's channel models and the LADSPA SDK's one-pole low-pass that the private sound
// servers play through.
namespace DeviceModels {

inline constexpr double Rate = 48000;

// A channel of the virtual card that only amplifies, with its noise far below the 16-bit steps.
inline TChannelModel Wire(double gainDb = 0)
{
    TChannelModel model;
    model.GainDb = gainDb;
    model.NoiseDbfs = -120;
    return model;
}

// H of a channel model: what a steady tone comes out with.
inline std::complex<double> ModelResponse(const TChannelModel& model, double frequency)
{
    TChannelPath path;
    path.Configure(model, Rate);
    return path.Response(frequency, Rate);
}

// The SDK's "lpf": y[n] = (1 - a) x[n] + a y[n-1], a = c - sqrt(c^2 - 1), c = 2 - cos(2 pi fc / fs),
// computed in single precision as the plugin does.
inline std::complex<double> LadspaLowPass(double frequency, double cutoff)
{
    const auto two = float(2 * std::numbers::pi / Rate);
    const auto c = float(2 - std::cos(float(two * float(cutoff))));
    const auto a = float(c - float(std::sqrt(float(c * c - 1))));
    const std::complex<double> z = std::polar(1.0, -2 * std::numbers::pi * frequency / Rate);
    return double(1 - a) / (1.0 - double(a) * z);
}

inline double Degrees(std::complex<double> value)
{
    return std::arg(value) * 180 / std::numbers::pi;
}

} // namespace DeviceModels
