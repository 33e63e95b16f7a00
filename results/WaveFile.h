// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>
#include <span>
#include <vector>

// Impulse responses as sound files, through libsndfile.
namespace WaveFile {

// A mono WAV of 32-bit floats at the frame rate, its first sample the response's time 0. Written whole
// or not at all; false with the Polish message naming the file.
bool Write(const QString& fileName, std::span<const double> samples, int frameRate, QString& failure);

struct TSound
{
    std::vector<double> Samples; // the first channel, full scale = 1
    int FrameRate = 0;
    int Channels = 0; // in the file
};

// Any sound file libsndfile reads: WAV of 16-, 24- or 32-bit integers or of floats, at any frame rate,
// with one channel or more (the first one is taken). Nothing, with the Polish message, when the file
// cannot be read, holds no samples, or is longer than LongestFrames.
inline constexpr long long LongestFrames = 1LL << 24;
std::optional<TSound> Read(const QString& fileName, QString& failure);

} // namespace WaveFile
