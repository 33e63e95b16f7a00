// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SineGenerator.h"

#include "measure/SweepTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

namespace {

constexpr long double StepPi = 3.14159L; // the tone's angular step uses this value of pi
constexpr long double FullPi = std::numbers::pi_v<long double>;
constexpr long double TwoPi = 2 * FullPi;
constexpr std::int64_t MicroRadiansPerHalfTurn = 3141593;
// Beyond this the phase in micro-radians would not fit 64 bits; such phases are reduced directly.
constexpr long double LargestReducedPhase = 1e12L;

// A value in FullScaleUnits as the stream's float sample.
float Sample(long double units)
{
    return static_cast<float>(units / FullScaleUnits);
}

// A phase reduced to [0, 2 pi) exactly.
double ReducedPhase(long double theta)
{
    const long double reduced = std::fmod(theta, TwoPi);
    return static_cast<double>(reduced < 0 ? reduced + TwoPi : reduced);
}

// The phase of the next block, to the micro-radian: reduced modulo a half turn, the half restored
// from the sign of the sine.
double NextPhase(long double thetaEnd)
{
    if (!(thetaEnd >= 0 && thetaEnd < LargestReducedPhase))
        return ReducedPhase(thetaEnd);
    const std::int64_t q = std::llrint(thetaEnd * 1000000.0L);
    long double phase = static_cast<long double>(q % MicroRadiansPerHalfTurn) / 1000000.0L;
    if (std::sin(thetaEnd) < 0)
        phase += FullPi;
    // 3.141593 is not quite pi: within a few hundred micro-radians of a whole half turn the remainder
    // can land in the other half from the one the sine's sign picks, which would flip the tone's sign
    // at the joint. Fold such a phase back by a half turn.
    if (std::cos(phase - thetaEnd) < 0)
        phase += phase >= FullPi ? -FullPi : FullPi;
    return static_cast<double>(phase);
}

} // namespace

TSineGenerator::TSineGenerator(TMeasurementState& state, const IStreamInfo& output, TSweepTimeline* timeline)
    : State(state), Output(output), Timeline(timeline)
{
}

bool TSineGenerator::FillOutputBlock(float* Samples, int& Count)
{
    if (Timeline && Timeline->Active())
        FillPaced(Samples, std::max(Count, 0));
    else
        Fill(State, Output.FrameRate(), Samples, Count);
    return true;
}

void TSineGenerator::Fill(TMeasurementState& state, int frameRate, float* buffer, int count)
{
    FillTone(state, frameRate, state.GeneratorFrequency, buffer, std::max(count, 0));
}

void TSineGenerator::FillTone(TMeasurementState& state, int frameRate, double frequency, float* buffer,
                              int frames, TNoise* dither)
{
    const int n = std::max(frames, 0);
    const long double f = frequency;
    if (frameRate <= 0 || !std::isfinite(f)) {
        std::fill_n(buffer, n, 0.0f);
        return;
    }
    const long double F = frameRate;
    const long double p = state.GeneratorPhase;
    // |A| <= 32767 keeps every sample within full scale.
    const long double A = std::clamp(state.Amplitude, -32767, 32767);
    for (int k = 0; k < n; ++k) {
        const long double theta = (k / F) * StepPi * 2 * f + p;
        long double x = std::sin(theta) * A;
        if (dither)
            x = std::clamp<long double>(x + 0.5L * (dither->Uniform() + dither->Uniform()), -32768.0L,
                                        32767.0L);
        buffer[k] = Sample(x);
    }
    state.PreviousPhase = state.GeneratorPhase;
    state.GeneratorPhase = NextPhase((n / F) * StepPi * 2 * f + state.PreviousPhase);
}

void TSineGenerator::FillPaced(float* buffer, int frames)
{
    const double amplitude = std::clamp(State.Amplitude, -32767, 32767);
    for (int done = 0; done < frames;) {
        const TSweepTimeline::TOutputPart part = Timeline->NextOutput(frames - done);
        float* at = buffer + done;
        switch (part.Kind) {
        case TSweepTimeline::TOutputKind::Probe:
            for (int k = 0; k < part.Frames; ++k)
                at[k] = Sample(part.Probe[static_cast<std::size_t>(k)] * amplitude);
            break;
        case TSweepTimeline::TOutputKind::Silence: // the first tone then starts at phase 0
            std::fill_n(at, part.Frames, 0.0f);
            State.GeneratorPhase = 0;
            break;
        case TSweepTimeline::TOutputKind::Tone:
            if (part.Begins)
                Timeline->NoteTonePhase(part.Point, State.GeneratorPhase);
            FillTone(State, Output.FrameRate(), part.Frequency, at, part.Frames,
                     part.Dithered && Output.IntegerSamples() ? &Dither : nullptr);
            // A detected point's window is fitted with one sinusoid across the parts it spans: its tone
            // goes on exactly, where the block-wise rounding of the phase (to the micro-radian, modulo
            // 3.141593) would leave joints of up to a few 10^-4 rad at high frequencies.
            if (part.Dithered && Output.FrameRate() > 0)
                State.GeneratorPhase = ReducedPhase(static_cast<long double>(part.Frames) /
                                                        Output.FrameRate() * StepPi * 2 * part.Frequency +
                                                    State.PreviousPhase);
            break;
        }
        done += part.Frames;
    }
}

int AmplitudeMillivolts(const TMeasurementState& state)
{
    return state.Amplitude / std::max(state.AmplitudeConst, 1);
}
