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

    // The output's OnFillBuffer: mono 16-bit samples, Size bytes (left unchanged); always true.
    bool FillOutputBlock(char* Buffer, int& Size);

    // One block at the given frame rate; with no valid rate or frequency the block is silence.
    static void Fill(TMeasurementState& state, int frameRate, char* buffer, int size);

private:
    // `frames` samples of a tone of `frequency`, from the state's phase on; with a dither, each sample
    // is rounded after a triangular noise of +-1 unit was added (its error then carries no harmonics).
    static void FillTone(TMeasurementState& state, int frameRate, double frequency, char* buffer, int frames,
                         TNoise* dither = nullptr);
    void FillPaced(char* buffer, int frames);

    TMeasurementState& State;
    const IStreamInfo& Output;
    TSweepTimeline* Timeline;
    TNoise Dither{0x9E3779B9u};
};
