// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/DeviceUnderTest.h"
#include "measure/MeasurementState.h"
#include "measure/MeterPorts.h"

class TSweepTimeline;

// The test tone of the sweep and of calibration: fills every output block with a sine at the current
// GeneratorFrequency and Amplitude, continuing the phase where the previous block ended.
// The generator amplitude in mV, as status panel 2 shows it: U[mV] = A[p] / K, K samples per mV.
int AmplitudeMillivolts(const TMeasurementState& state);

class TSineGenerator
{
public:
    // A timeline, while active, says what to play when: a sweep's probe, silences and tones.
    TSineGenerator(TMeasurementState& state, const IStreamInfo& output, TSweepTimeline* timeline = nullptr);
    TSineGenerator(const TSineGenerator&) = delete;
    TSineGenerator& operator=(const TSineGenerator&) = delete;

    // The output's OnFillBuffer: Count mono float samples (left unchanged); always true. The Amplitude
    // is in FullScaleUnits: 32767 is a full-scale tone.
    bool FillOutputBlock(float* Samples, int& Count);

    // One block at the given frame rate; with no valid rate or frequency the block is silence.
    static void Fill(TMeasurementState& state, int frameRate, float* buffer, int count);

private:
    // `frames` samples of a tone of `frequency`, from the state's phase on; with a dither (for a
    // stream that rounds to 16 bits), a triangular noise of +-1 unit of 16 bits is added to each
    // sample, so that the rounding's error carries no harmonics.
    static void FillTone(TMeasurementState& state, int frameRate, double frequency, float* buffer, int frames,
                         TNoise* dither = nullptr);
    void FillPaced(float* buffer, int frames);

    TMeasurementState& State;
    const IStreamInfo& Output;
    TSweepTimeline* Timeline;
    TNoise Dither{0x9E3779B9u};
};
