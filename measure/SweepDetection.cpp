// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SweepDetection.h"

#include "measure/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr long double StepPi = 3.14159L;    // the generator's value of pi
constexpr double LongestWindowSeconds = 10; // whatever the frequency: the store of a window is bounded
constexpr double RadiansToDegrees = 180 / std::numbers::pi;
constexpr double DbPerNeper = 20 / std::numbers::ln10;
constexpr double WideMargin = 0.25; // halves this close: the settling planned may be shortened

double TrueFrequency(double frequency)
{
    return static_cast<double>(frequency * StepPi / std::numbers::pi_v<long double>);
}

const TSynchronousDetector::TResult NothingMeasured{};

} // namespace

unsigned SweepInputs(const TMeasurementState& state)
{
    if (state.Detection.Synchronous() && state.Detection.ReferenceInput() >= 0)
        return 3u;
    return state.ChannelMode == TChannelMode::Left ? 1u : state.ChannelMode == TChannelMode::Right ? 2u : 3u;
}

TSweepDetection::TSweepDetection(const TMeasurementState& state) : State(state) {}

double TSweepDetection::ToneStep(double frequency, int frameRate)
{
    return static_cast<double>(StepPi * 2 * frequency / std::max(frameRate, 1));
}

TPointPlan TSweepDetection::ShortestPlan(double frequency, int frameRate, const TDetectionSettings& settings,
                                         int pointFrames)
{
    const double rate = std::max(frameRate, 1);
    const double f = TrueFrequency(frequency), period = f > 0 ? rate / f : rate;
    const double periods = std::max(MinimumPeriods, std::ceil(settings.ShortestPoint / 1000.0 * f));
    const double window =
        pointFrames > 0 ? pointFrames : std::min(std::round(periods * period), LongestWindowSeconds * rate);
    const double settling =
        std::max(std::round(ShortestSettlingSeconds * rate), std::ceil(SettlingPeriods * period));
    return {static_cast<int>(std::min(settling, LongestWindowSeconds * rate)),
            std::max(static_cast<int>(window), 1)};
}

void TSweepDetection::Begin(int frameRate, bool integerSamples, const TSweepTimeline& timeline,
                            int pointFrames)
{
    Timeline = &timeline;
    Rate = std::max(frameRate, 1);
    FullScale = OverloadMagnitude(integerSamples);
    FixedWindow = std::max(pointFrames, 0);
    const TDetectionSettings& settings = State.Detection;
    // The longest window a point may get: its shortest one, or the longest point time.
    double longest = FixedWindow > 0 ? FixedWindow : settings.LongestPoint / 1000.0 * Rate;
    double shortestTone = LongestWindowSeconds * Rate;
    for (int point = 0; point < timeline.Points(); ++point) {
        const TPointPlan plan = ShortestPlan(timeline.Frequency(point), Rate, settings, FixedWindow);
        longest = std::max(longest, static_cast<double>(plan.WindowFrames));
        shortestTone = std::min(shortestTone, static_cast<double>(plan.SettlingFrames + plan.WindowFrames));
    }
    const auto frames = static_cast<std::size_t>(std::min(longest, LongestWindowSeconds * Rate)) + 1;
    for (auto& detector : Detectors)
        detector = std::make_unique<TSynchronousDetector>(Rate, frames, settings.HighestHarmonic,
                                                          settings.BandLow, settings.BandHigh);
    // An input hears a point at most the longest round trip after the other.
    const double inFlight =
        std::ceil(TSweepTimeline::LongestRoundTripSeconds * Rate / std::max(shortestTone, 1.0)) + 4;
    const auto kept =
        static_cast<std::size_t>(std::clamp<double>(inFlight, 1, std::max(timeline.Points(), 1)));
    for (std::vector<TWindow>& windows : Windows)
        windows.assign(kept, TWindow{});
    RequiredSeconds = 0;
    Learned = 0;
    FirstPlanned = false;
    Taken = TDetectedPoint{};
}

int TSweepDetection::LongestSettling(const TPointPlan& shortest) const
{
    return std::max(shortest.SettlingFrames,
                    static_cast<int>(std::lround(State.Detection.LongestSettling / 1000.0 * Rate)));
}

TPointPlan TSweepDetection::PlanPoint(int, double frequency)
{
    TPointPlan plan = ShortestPlan(frequency, Rate, State.Detection, FixedWindow);
    if (FixedWindow == 0) {
        const double period = Rate / std::max(TrueFrequency(frequency), 1e-9);
        const double limit =
            std::max<double>(plan.WindowFrames, State.Detection.LongestPoint / 1000.0 * Rate);
        const double required = std::ceil(RequiredSeconds * Rate / period) * period; // whole periods
        const double window = std::min({std::max<double>(plan.WindowFrames, std::round(required)), limit,
                                        static_cast<double>(Detectors[0]->LongestWindow())});
        plan.WindowFrames = std::max(static_cast<int>(window), 1);
    }
    const int longest = LongestSettling(plan);
    if (!FirstPlanned)
        plan.SettlingFrames =
            std::max(plan.SettlingFrames, static_cast<int>(std::lround(OnsetSettlingSeconds * Rate)));
    FirstPlanned = true;
    plan.SettlingFrames = std::max(plan.SettlingFrames, std::min(Learned, longest));
    return plan;
}

TSweepDetection::TWindow& TSweepDetection::Slot(int input, int point)
{
    std::vector<TWindow>& windows = Windows[static_cast<std::size_t>(input)];
    return windows[static_cast<std::size_t>(std::max(point, 0)) % windows.size()];
}

void TSweepDetection::BeginWindow(int input)
{
    // The generator's phase at the window's first frame: the tone's phase at its start, advanced over
    // the frames since, the origin's round trip taken off (whichever input's window this is).
    const int point = Timeline->LanePoint(input);
    const double step = ToneStep(Timeline->Frequency(point), Rate);
    const double since = static_cast<double>(Timeline->InputFrames() - Timeline->ToneStart(point)) -
                         Timeline->ExactRoundTrip();
    const double phase = std::remainder(Timeline->TonePhase(point) + step * since, 2 * std::numbers::pi);
    Detectors[static_cast<std::size_t>(input)]->Begin(step, phase);
}

void TSweepDetection::Add(const float* frames, int count, unsigned inWindow)
{
    const std::span<const float> stereo(frames, 2 * static_cast<std::size_t>(std::max(count, 0)));
    for (std::size_t input = 0; input < 2 && !stereo.empty(); ++input)
        if (inWindow & (1u << input))
            Detectors[input]->Add(stereo.subspan(input), 2);
}

void TSweepDetection::EndWindow(int input, bool dropout)
{
    Slot(input, Timeline->LaneEndedPoint(input)) = {Detectors[static_cast<std::size_t>(input)]->Finish(),
                                                    dropout};
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

double TSweepDetection::Unsettledness(int input, int reference) const
{
    const TSynchronousDetector::TResult& measured = *Judged[static_cast<std::size_t>(input)];
    std::array<std::complex<double>, 2> halves = measured.Halves;
    // An averaged level is a magnitude: the tone's phase need not go on exactly across the output's
    // blocks there (the generator rounds it at each block).
    if (FixedWindow > 0)
        for (std::complex<double>& half : halves)
            half = std::abs(half);
    std::array<double, 2> errors = measured.HalfErrors;
    for (std::size_t h = 0; h < 2; ++h) {
        if (!(errors[h] > 0) || !(std::abs(halves[h]) > 0))
            return 0; // too short to halve, or nothing heard: nothing to judge
        if (reference < 0)
            continue;
        // Against the reference: the ratio's halves, their relative errors added.
        const TSynchronousDetector::TResult& tone = *Judged[static_cast<std::size_t>(reference)];
        const std::complex<double> heard = tone.Halves[h];
        if (!(tone.HalfErrors[h] > 0))
            return 0;
        if (!(std::abs(heard) > SettledSigmas * tone.HalfErrors[h]))
            return std::numeric_limits<double>::infinity(); // the reference's tone came or went in it
        const std::complex<double> ratio = halves[h] / heard;
        errors[h] = std::abs(ratio) *
                    std::hypot(errors[h] / std::abs(halves[h]), tone.HalfErrors[h] / std::abs(heard));
        halves[h] = ratio;
    }
    const double whole = std::abs(halves[0] + halves[1]) / 2;
    const double allowed =
        std::max(SettledSigmas * std::hypot(errors[0], errors[1]), SettledTolerance * whole);
    return allowed > 0 ? std::abs(halves[0] - halves[1]) / allowed : 0;
}

TSweepDetection::TVerdict TSweepDetection::Finish(int point)
{
    const double frequency = Timeline->Frequency(point);
    const int reference = State.Detection.Synchronous() ? State.Detection.ReferenceInput() : -1;
    const unsigned inputs = SweepInputs(State);
    bool dropout = false;
    for (int input = 0; input < 2; ++input) {
        const bool counted = (inputs & (1u << input)) != 0;
        Judged[static_cast<std::size_t>(input)] = counted ? &Slot(input, point).Result : &NothingMeasured;
        dropout = dropout || (counted && Slot(input, point).Dropout);
    }
    if (reference >= 0) {
        const TSynchronousDetector::TResult& heard = *Judged[static_cast<std::size_t>(reference)];
        if (!(heard.Harmonics[1].Amplitude() > 3 * heard.AmplitudeError))
            return TVerdict::ReferenceSilent;
    }

    // A gap in the streams spoils the alignment of what comes after it: the point is taken again after a
    // new probe.
    if (dropout)
        return TVerdict::Dropout;
    double unsettled = 0;
    std::size_t frames = 1;
    for (int input = 0; input < 2; ++input)
        if ((inputs & (1u << input)) && input != reference) {
            unsettled = std::max(unsettled, Unsettledness(input, reference));
            frames = std::max(frames, Judged[static_cast<std::size_t>(input)]->Frames);
        }
    const int settling = Timeline->Settling(point);
    const int longest = LongestSettling(ShortestPlan(frequency, Rate, State.Detection, FixedWindow));
    if (unsettled > 1 && settling < longest) {
        // Longer by the settling and window it had, more the farther it was from settled (a decay
        // needs a time constant more for each factor e).
        const double longer =
            (settling + static_cast<double>(frames)) * std::max(0.5, std::log2(2 * unsettled) / 2);
        Learned = static_cast<int>(std::min<double>(longest, settling + longer));
        return TVerdict::Unsettled;
    }
    // The points after it may need less: a resonance asks for time only about it. Slowly, though: a point
    // found unsettled costs its replay and the points in flight over the round trip, which on a sound
    // server is a fifth of a second or more (a resonance of Q 10 at 100 Hz through a desktop's server:
    // 121 points in 26.0-26.5 s, against 29.6-30.6 s when the settling was halved).
    if (unsettled <= WideMargin)
        Learned = Learned * 3 / 4;
    else if (unsettled <= 2 * WideMargin)
        Learned = Learned * 7 / 8;

    Taken.Inputs = inputs;
    for (int input = 0; input < 2; ++input) {
        const auto at = static_cast<std::size_t>(input);
        Taken.Level[at] = LevelOf(*Judged[at], input, frequency);
        Taken.Detail[at] = DetailOf(*Judged[at]);
        // An input's point is spoilt by its own clipping, and against a reference by the reference's.
        Taken.Detail[at].Overloaded =
            Judged[at]->Peak * FullScaleUnits >= FullScale ||
            (reference >= 0 &&
             Judged[static_cast<std::size_t>(reference)]->Peak * FullScaleUnits >= FullScale);
        Taken.Detail[at].Unsettled = unsettled > 1 && input != reference;
    }
    if (reference >= 0) {
        const std::complex<double> tone = Judged[static_cast<std::size_t>(reference)]->Harmonics[1].Phasor;
        const auto measured = static_cast<std::size_t>(1 - reference);
        const std::complex<double> response = Judged[measured]->Harmonics[1].Phasor;
        Taken.Level[measured] -= Taken.Level[static_cast<std::size_t>(reference)];
        if (std::abs(response) > 0)
            Taken.Detail[measured].Phase = std::arg(response * std::conj(tone)) * RadiansToDegrees;
    }

    // The relative standard error of the point's level, and how long a window would bring it to the
    // target; a silent input has nothing to lengthen for.
    double variance = 0;
    for (int input = 0; input < 2; ++input) {
        const TSynchronousDetector::TResult& result = *Judged[static_cast<std::size_t>(input)];
        const double amplitude = result.Harmonics[1].Amplitude();
        if ((inputs & (1u << input)) && amplitude > 0)
            variance += std::pow(result.AmplitudeError / amplitude, 2);
    }
    const double errorDb = DbPerNeper * std::sqrt(variance);
    RequiredSeconds = static_cast<double>(frames) / Rate * std::pow(errorDb / TargetErrorDb, 2);
    return TVerdict::Taken;
}
