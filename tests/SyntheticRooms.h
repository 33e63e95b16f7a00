// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/FractionalOctave.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

// Room responses whose decay is known exactly: a tone at every third-octave midband from 50 Hz to 10 kHz
// (those below half the frame rate), in random phases, all starting at t = 0 with their energy decaying
// 60 dB in `reverberation` seconds, over white noise `noiseDb` below the tones' mean square at the start.
// Peak about 1 / `scale` of the tones' sum.
inline std::vector<double> DecayingTones(double reverberation, double noiseDb, double rate, double seconds,
                                         double scale = 1)
{
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<double> response(frames, 0.0);
    std::mt19937 random(31);
    std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi);
    const double amplitudeRate = 3 * std::log(10.0) / reverberation;
    int tones = 0;
    for (const FractionalOctave::TBand& band : FractionalOctave::Bands(3, 45, 11000)) {
        if (band.Upper >= rate / 2)
            continue;
        const double start = phase(random), step = 2 * std::numbers::pi * band.Midband / rate;
        for (std::size_t n = 0; n < frames; ++n)
            response[n] += std::sin(start + step * static_cast<double>(n)) *
                           std::exp(-amplitudeRate * static_cast<double>(n) / rate);
        ++tones;
    }
    std::normal_distribution<double> white(0, std::sqrt(tones / 2.0 * std::pow(10.0, -noiseDb / 10)));
    for (double& sample : response)
        sample = (sample + white(random)) / scale;
    return response;
}
