// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure/RealTimeAnalyser.h"
#include "results/AnalyserExport.h"

#include <QString>
#include <QtEndian>
#include <random>
#include <vector>

// A spectrum analyser's band file as the program writes it ("Eksportuj CSV...", tonvix-cli rta --out):
// half a second of white noise, 12 dB louder in the left channel than in the right, analysed in
// `bandsPerOctave` bands with `weighting`, the channels' calibrations added (dB). The levels written
// go to `readings` when it is given. False with the message.
inline bool WriteAnalyserBands(const QString& path, int bandsPerOctave, TFrequencyWeighting weighting,
                               QString& failure, std::vector<TBandReading>* readings = nullptr,
                               const std::array<double, 2>& calibration = {94, 90})
{
    TSpectrumSettings settings;
    settings.BandsPerOctave = bandsPerOctave;
    settings.Weighting = weighting;
    TRealTimeAnalyser analyser(48000, settings);
    std::mt19937 random(7);
    std::normal_distribution<double> white(0, 3000);
    constexpr int Frames = 4800;
    std::vector<float> block(2 * Frames); // a 16-bit card's samples
    for (int blocks = 0; blocks < 5; ++blocks) {
        for (std::size_t n = 0; n < block.size(); n += 2) {
            block[n] = static_cast<float>(static_cast<qint16>(white(random)) / 32767.0);
            block[n + 1] = static_cast<float>(static_cast<qint16>(white(random) / 4) / 32767.0);
        }
        analyser.AnalyseBlock(block.data(), Frames);
    }
    if (readings)
        *readings = analyser.BandReadings(calibration);
    return AnalyserExport::WriteBands(path, analyser, calibration, failure);
}
