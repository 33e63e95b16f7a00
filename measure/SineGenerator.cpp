#include "measure/SineGenerator.h"

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

void WriteSample(char* at, std::int16_t sample)
{
    std::memcpy(at, &sample, sizeof sample);
}

// The phase of the next block, to the micro-radian: reduced modulo a half turn, the half restored
// from the sign of the sine.
double NextPhase(long double thetaEnd)
{
    if (!(thetaEnd >= 0 && thetaEnd < LargestReducedPhase)) {
        const long double reduced = std::fmod(thetaEnd, TwoPi);
        return static_cast<double>(reduced < 0 ? reduced + TwoPi : reduced);
    }
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

TSineGenerator::TSineGenerator(TMeasurementState& state, const IStreamInfo& output)
    : State(state), Output(output)
{
}

bool TSineGenerator::FillOutputBlock(char* Buffer, int& Size)
{
    Fill(State, Output.FrameRate(), Buffer, Size);
    return true;
}

void TSineGenerator::Fill(TMeasurementState& state, int frameRate, char* buffer, int size)
{
    const int n = std::max(size, 0) / 2;
    const long double f = state.GeneratorFrequency;
    if (frameRate <= 0 || !std::isfinite(f)) {
        std::memset(buffer, 0, static_cast<std::size_t>(n) * 2);
        return;
    }
    const long double F = frameRate;
    const long double p = state.GeneratorPhase;
    // |A| <= 32767 keeps every sample inside the 16-bit range.
    const long double A = std::clamp(state.Amplitude, -32767, 32767);
    for (int k = 0; k < n; ++k) {
        const long double theta = (k / F) * StepPi * 2 * f + p;
        WriteSample(buffer + 2 * k, static_cast<std::int16_t>(std::lrint(std::sin(theta) * A)));
    }
    state.PreviousPhase = state.GeneratorPhase;
    state.GeneratorPhase = NextPhase((n / F) * StepPi * 2 * f + state.PreviousPhase);
}

int AmplitudeMillivolts(const TMeasurementState& state)
{
    return state.Amplitude / std::max(state.AmplitudeConst, 1);
}
