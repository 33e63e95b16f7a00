// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AdvancedSettings.h"

#include "audio/AudioIO.h"
#include "common/NumberFormat.h"
#include "measure/MeasurementState.h"

#include <algorithm>
#include <cmath>

namespace {

// trunc(bytes / rate / 0.004) + 1
int RefreshIntervalOf(const TAudioIO& audio)
{
    if (audio.FrameRate() <= 0)
        return 1;
    return static_cast<int>(std::trunc(audio.BufferSize() / static_cast<double>(audio.FrameRate()) / 0.004)) +
           1;
}

} // namespace

TAdvancedSettings CurrentAdvancedSettings(const TMeasurementState& state, const TAudioIO& input,
                                          const TAudioIO& output)
{
    return {input.BufferSize() / InputFrameBytes,
            output.BufferSize() / OutputSampleBytes,
            state.MeasurementDelay,
            state.AutoBuforSize,
            state.LowFreqLimit,
            state.AmplitudeConst,
            input.SampleFormat()};
}

void ApplyAdvancedSettings(const TAdvancedSettings& settings, TMeasurementState& state, TAudioIO& input,
                           TAudioIO& output)
{
    state.MeasurementDelay = settings.MeasurementDelay;
    state.AutoBuforSize = settings.AutoBlockSize;
    state.AmplitudeConst = settings.AmplitudeConst;
    state.LowFreqLimit = settings.LowFreqLimit;
    if (input.Running())
        return;
    input.SetSampleFormat(settings.SampleFormat);
    output.SetSampleFormat(settings.SampleFormat);
    if (settings.AutoBlockSize) {
        ApplyAutomaticBlockSizes(input, output, settings.LowFreqLimit);
    } else {
        input.SetBufferSize(std::clamp(settings.InputSamples, 0, MaxBlockSamples) * InputFrameBytes);
        output.SetBufferSize(std::clamp(settings.OutputSamples, 0, MaxBlockSamples) * OutputSampleBytes);
    }
}

int AutomaticBlockSamples(int frameRate, int lowFreqLimit)
{
    return frameRate / std::max(lowFreqLimit, 1);
}

void ApplyAutomaticBlockSizes(TAudioIO& input, TAudioIO& output, int lowFreqLimit)
{
    const int samples = AutomaticBlockSamples(input.FrameRate(), lowFreqLimit);
    input.SetBufferSize(samples * InputFrameBytes);
    output.SetBufferSize(samples * OutputSampleBytes);
}

int MinRefreshInterval(const TAudioIO& input, const TAudioIO& output)
{
    return std::max(RefreshIntervalOf(input), RefreshIntervalOf(output));
}

QString BlockDurationText(int samples, int frameRate)
{
    if (frameRate <= 0)
        return QString();
    return NumberFormat::Fixed(samples * 1000.0 / frameRate, 0, 2);
}
