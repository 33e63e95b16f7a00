// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/WaveFormat.h"

#include <QString>

class TAudioIO;
struct TMeasurementState;

// The block sizes and the measurement values that "Ustawienia zaawansowane" edits, with the rules that
// tie the block sizes to the frame rate.
struct TAdvancedSettings
{
    int InputSamples = 0;  // frames of an input block (16-bit stereo, 4 bytes each)
    int OutputSamples = 0; // samples of an output block (16-bit mono, 2 bytes each)
    int MeasurementDelay = 0;
    bool AutoBlockSize = true;
    int LowFreqLimit = 32;                             // N of the linear averaging time 1/N s
    int AmplitudeConst = 25;                           // K in U[mV] = A[p] / K
    TSampleFormat SampleFormat = TSampleFormat::Float; // "Format próbek", of both streams
};

constexpr int InputFrameBytes = 4;
constexpr int OutputSampleBytes = 2;
// The largest block the settings keep, in samples: about 22 s at 48 kHz, far from an overflow of the
// byte count and from blocks of gigabytes.
constexpr int MaxBlockSamples = 1 << 20;

// The values in force.
TAdvancedSettings CurrentAdvancedSettings(const TMeasurementState& state, const TAudioIO& input,
                                          const TAudioIO& output);
// What the dialog accepted: the measurement values at once, the block sizes (at most MaxBlockSamples)
// and the sample format only while the input is not running (an open device keeps the blocks it was opened
// with). With the automatic size the blocks follow the input's frame rate and the new N.
void ApplyAdvancedSettings(const TAdvancedSettings& settings, TMeasurementState& state, TAudioIO& input,
                           TAudioIO& output);

// The automatic block size, one period of the frequency N: frameRate / N samples (integer division).
int AutomaticBlockSamples(int frameRate, int lowFreqLimit);
// Both blocks at the automatic size for the input's frame rate.
void ApplyAutomaticBlockSizes(TAudioIO& input, TAudioIO& output, int lowFreqLimit);

// The shortest refresh and step interval in ms: for each component, its block bytes / frame rate /
// 0.004, truncated, + 1; the larger of the two.
int MinRefreshInterval(const TAudioIO& input, const TAudioIO& output);

// The duration of `samples` at `frameRate` in ms, "%.2f" with the user's decimal separator; empty for
// a rate that gives none.
QString BlockDurationText(int samples, int frameRate);
