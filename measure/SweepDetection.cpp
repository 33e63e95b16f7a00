// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SweepDetection.h"

#include "measure/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr long double StepPi = 3.14159L;    // the generator's value of pi
constexpr double LongestWindowSeconds = 10; // whatever the frequency: the store of a window is bounded
constexpr double RadiansToDegrees = 180 / std::numbers::pi;
constexpr double DbPerNeper = 20 / std::numbers::ln10;

double TrueFrequency(double frequency)
{
    return static_cast<double>(frequency * StepPi / std::numbers::pi_v<long double>);
}

} // namespace

TSweepDetection::TSweepDetection(const TMeasurementState& state) : State(state) {}

double TSweepDetection::ToneStep(double frequency, int frameRate)
{
    return static_cast<double>(StepPi * 2 * frequency / std::max(frameRate, 1));
}

TPointPlan TSweepDetection::ShortestPlan(double frequency, int frameRate, const TDetectionSettings& settings)
{
    const double rate = std::max(frameRate, 1);
    const double f = TrueFrequency(frequency), period = f > 0 ? rate / f : rate;
    const double periods = std::max(MinimumPeriods, std::ceil(settings.ShortestPoint / 1000.0 * f));
    const double window = std::min(std::round(periods * period), LongestWindowSeconds * rate);
    const double settling =
        std::max(std::round(ShortestSettlingSeconds * rate), std::ceil(SettlingPeriods * period));
    return {static_cast<int>(std::min(settling, LongestWindowSeconds * rate)),
            std::max(static_cast<int>(window), 1)};
}

void TSweepDetection::Begin(int frameRate, const TSweepTimeline& timeline)
{
    Timeline = &timeline;
    Rate = std::max(frameRate, 1);
    const TDetectionSettings& settings = State.Detection;
    // The longest window a point may get: its shortest one, or the longest point time.
    double longest = settings.LongestPoint / 1000.0 * Rate;
    for (int point = 0; point < timeline.Points(); ++point)
        longest = std::max(
            longest,
            static_cast<double>(ShortestPlan(timeline.Frequency(point), Rate, settings).WindowFrames));
    const auto frames = static_cast<std::size_t>(std::min(longest, LongestWindowSeconds * Rate)) + 1;
    for (auto& detector : Detectors)
        detector = std::make_unique<TSynchronousDetector>(Rate, frames, settings.HighestHarmonic,
                                                          settings.BandLow, settings.BandHigh);
    RequiredSeconds = 0;
    FirstPlanned = false;
    Taken = TDetectedPoint{};
}

TPointPlan TSweepDetection::PlanPoint(int, double frequency)
{
    TPointPlan plan = ShortestPlan(frequency, Rate, State.Detection);
    const double period = Rate / std::max(TrueFrequency(frequency), 1e-9);
    const double limit = std::max<double>(plan.WindowFrames, State.Detection.LongestPoint / 1000.0 * Rate);
    const double required = std::ceil(RequiredSeconds * Rate / period) * period; // whole periods
    const double window = std::min({std::max<double>(plan.WindowFrames, std::round(required)), limit,
                                    static_cast<double>(Detectors[0]->LongestWindow())});
    plan.WindowFrames = std::max(static_cast<int>(window), 1);
    if (!FirstPlanned)
        plan.SettlingFrames =
            std::max(plan.SettlingFrames, static_cast<int>(std::lround(OnsetSettlingSeconds * Rate)));
    FirstPlanned = true;
    return plan;
}

void TSweepDetection::BeginWindow(int point)
{
    // The generator's phase at the window's first frame: the tone's phase at its start, advanced over
    // the frames since, the round trip taken off.
    const double step = ToneStep(Timeline->Frequency(point), Rate);
    const double since = static_cast<double>(Timeline->InputFrames() - Timeline->ToneStart(point)) -
                         Timeline->ExactRoundTrip();
    const double phase = std::remainder(Timeline->TonePhase(point) + step * since, 2 * std::numbers::pi);
    for (auto& detector : Detectors)
        detector->Begin(step, phase);
}

void TSweepDetection::Add(const float* frames, int count)
{
    const std::span<const float> stereo(frames, 2 * static_cast<std::size_t>(std::max(count, 0)));
    Detectors[0]->Add(stereo, 2);
    if (!stereo.empty())
        Detectors[1]->Add(stereo.subspan(1), 2);
}

double TSweepDetection::LevelOf(const TSynchronousDetector::TResult& result, int input,
                                double frequency) const
{
    const double amplitude = result.Harmonics[1].Amplitude() * FullScaleUnits;
    const double calibration = input == 0 ? State.FreqCalibrationL : State.FreqCalibrationR;
    return TLevelMeter::Level(amplitude * amplitude / 2, LevelOffsetDb) + calibration -
           State.Microphone[static_cast<std::size_t>(input)].DeviationDb(frequency);
}

TPointDetail TSweepDetection::DetailOf(const TSynchronousDetector::TResult& result) const
{
    TPointDetail detail;
    const std::complex<double> fundamental = result.Harmonics[1].Phasor;
    const double amplitude = std::abs(fundamental);
    if (!(amplitude > 0))
        return detail;
    detail.Phase = std::arg(fundamental) * RadiansToDegrees;
    detail.Measured |= TPointDetail::PhaseMeasured;
    for (int k = 2; k <= TPointDetail::HighestHarmonic; ++k) {
        const TSynchronousDetector::THarmonic& harmonic = result.Harmonics[static_cast<std::size_t>(k)];
        if (harmonic.Measured)
            detail.SetHarmonic(k, std::max(DbPerNeper * std::log(harmonic.Amplitude() / amplitude),
                                           TLevelMeter::SilenceLevel));
    }
    if (result.ThdMeasured) {
        detail.Thd = 100 * result.Thd;
        detail.Measured |= TPointDetail::ThdMeasured;
    }
    detail.ThdN = 100 * result.ThdN;
    detail.Measured |= TPointDetail::ThdNMeasured;
    return detail;
}

bool TSweepDetection::Finish(int point)
{
    const double frequency = Timeline->Frequency(point);
    const std::array<const TSynchronousDetector::TResult*, 2> results{&Detectors[0]->Finish(),
                                                                      &Detectors[1]->Finish()};
    const bool overloaded =
        std::max(results[0]->Peak, results[1]->Peak) * FullScaleUnits >= OverloadMagnitude;
    for (int input = 0; input < 2; ++input) {
        const auto at = static_cast<std::size_t>(input);
        Taken.Level[at] = LevelOf(*results[at], input, frequency);
        Taken.Detail[at] = DetailOf(*results[at]);
        Taken.Detail[at].Overloaded = overloaded;
    }

    // The inputs whose level counts: the measured ones and the reference.
    const int reference = State.Detection.ReferenceInput();
    unsigned counted = reference >= 0                             ? 3u
                       : State.ChannelMode == TChannelMode::Left  ? 1u
                       : State.ChannelMode == TChannelMode::Right ? 2u
                                                                  : 3u;
    if (reference >= 0) {
        const TSynchronousDetector::TResult& heard = *results[static_cast<std::size_t>(reference)];
        const std::complex<double> tone = heard.Harmonics[1].Phasor;
        if (!(std::abs(tone) > 3 * heard.AmplitudeError))
            return false;
        const auto measured = static_cast<std::size_t>(1 - reference);
        const std::complex<double> response = results[measured]->Harmonics[1].Phasor;
        Taken.Level[measured] -= Taken.Level[static_cast<std::size_t>(reference)];
        if (std::abs(response) > 0)
            Taken.Detail[measured].Phase = std::arg(response * std::conj(tone)) * RadiansToDegrees;
    }

    // The relative standard error of the point's level, and how long a window would bring it to the
    // target; a silent input has nothing to lengthen for.
    double variance = 0;
    std::size_t frames = 1;
    for (int input = 0; input < 2; ++input) {
        const TSynchronousDetector::TResult& result = *results[static_cast<std::size_t>(input)];
        const double amplitude = result.Harmonics[1].Amplitude();
        frames = std::max(frames, result.Frames);
        if ((counted & (1u << input)) && amplitude > 0)
            variance += std::pow(result.AmplitudeError / amplitude, 2);
    }
    const double errorDb = DbPerNeper * std::sqrt(variance);
    RequiredSeconds = static_cast<double>(frames) / Rate * std::pow(errorDb / TargetErrorDb, 2);
    return true;
}
