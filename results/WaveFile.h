// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>
#include <span>
#include <vector>

// Impulse responses as sound files, through libsndfile.
namespace WaveFile {

// A mono WAV of 32-bit floats at the frame rate whose sample `timeZero` is the response's time 0, marked
// by a cue point there and said in the file's comment (INFO ICMT) for people and other programs. Written
// whole or not at all; false with the Polish message naming the file.
bool Write(const QString& fileName, std::span<const double> samples, int frameRate, std::size_t timeZero,
           QString& failure);

// The file's comment for a time 0 at `timeZero` frames.
QString TimeZeroComment(std::size_t timeZero, int frameRate);

struct TSound
{
    std::vector<double> Samples; // the first channel, full scale = 1
    int FrameRate = 0;
    int Channels = 0;         // in the file
    std::size_t TimeZero = 0; // the sample of the first cue point; 0 without one
};

// Any sound file libsndfile reads: WAV of 16-, 24- or 32-bit integers or of floats, at any frame rate,
// with one channel or more (the first one is taken), time 0 at its first cue point. Nothing, with the Polish
// message, when the file cannot be read, holds no samples, or is longer than LongestFrames.
inline constexpr long long LongestFrames = 1LL << 24;
std::optional<TSound> Read(const QString& fileName, QString& failure);

} // namespace WaveFile
