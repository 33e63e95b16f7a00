// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ImpulseResponse.h"

#include "analysis/ImpulsePeak.h"
#include "analysis/OctaveSmoothing.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double LongestLead = 0.5;        // s of the linear part before its peak
constexpr double LongestTail = 3.0;        // s after it
constexpr int PeakSearch = 64;             // frames on either side of the largest sample
constexpr std::size_t LeastSize = 1 << 14; // transform frames: a short gate still gives a smooth curve

TImpulseResponse::TPart CutPart(std::span<const double> circular, double from, double to, double origin)
{
    const auto size = static_cast<std::ptrdiff_t>(circular.size());
    const auto first = static_cast<std::ptrdiff_t>(std::ceil(from));
    const auto count = std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(std::floor(to)) - first + 1);
    TImpulseResponse::TPart part;
    part.Samples.resize(static_cast<std::size_t>(count));
    for (std::ptrdiff_t i = 0; i < count; ++i)
        part.Samples[static_cast<std::size_t>(i)] =
            circular[static_cast<std::size_t>((((first + i) % size) + size) % size)];
    part.Origin = origin - static_cast<double>(first);
    return part;
}

double ToDb(double power)
{
    return 10 * std::log10(std::max(power, 1e-20));
}

} // namespace

double SpeedOfSound(double celsius)
{
    return 331.3 * std::sqrt(std::max(0.0, 1 + celsius / 273.15));
}

TGate TImpulseResponse::WholeGate() const
{
    const double last = static_cast<double>(std::max<std::size_t>(Linear.Samples.size(), 1) - 1);
    return {TimeOf(Linear, 0), TimeOf(Linear, Peak), TimeOf(Linear, last), TGateShape::Tukey};
}

std::vector<double> TImpulseResponse::FromTimeZero() const
{
    const auto origin = static_cast<std::ptrdiff_t>(std::lround(Linear.Origin));
    const auto size = static_cast<std::ptrdiff_t>(Linear.Samples.size());
    std::vector<double> samples(static_cast<std::size_t>(std::max<std::ptrdiff_t>(size - origin, 0)), 0.0);
    for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(origin, 0); i < size; ++i)
        samples[static_cast<std::size_t>(i - origin)] = Linear.Samples[static_cast<std::size_t>(i)];
    return samples;
}

TImpulseResponse CutImpulseResponse(std::span<const double> circular, const TLogSweep& sweep)
{
    TImpulseResponse response;
    response.FrameRate = sweep.FrameRate();
    // The response begins where the sweep's fade-in ends.
    response.EdgeHz = sweep.StartHz();
    response.StartHz = sweep.FadeInEndHz();
    response.StopHz = sweep.StopHz();
    if (circular.empty())
        return response;
    const auto size = static_cast<double>(circular.size());
    const auto largest = static_cast<std::ptrdiff_t>(
        std::max_element(circular.begin(), circular.end(),
                         [](double a, double b) { return std::abs(a) < std::abs(b); }) -
        circular.begin());
    std::array<double, 2 * PeakSearch + 1> around{};
    for (std::ptrdiff_t j = -PeakSearch; j <= PeakSearch; ++j) {
        const auto at =
            ((largest + j) % static_cast<std::ptrdiff_t>(size) + static_cast<std::ptrdiff_t>(size)) %
            static_cast<std::ptrdiff_t>(size);
        around[static_cast<std::size_t>(j + PeakSearch)] = circular[static_cast<std::size_t>(at)];
    }
    double peak = static_cast<double>(largest - PeakSearch) + ImpulsePeak(around);
    peak = std::fmod(peak + size, size);
    // Time 0 is frame 0 of the block; a peak in its second half is a response that leads time 0.
    const double timeZero = peak < size / 2 ? 0 : size;
    const double rate = response.FrameRate;
    const auto advance = [&](int order) { return sweep.HarmonicAdvance(order); };
    const double lead = std::min(advance(2) / 2, LongestLead * rate);
    const double tail = std::clamp(size - (advance(5) + advance(6)) / 2, 1.0, LongestTail * rate);
    response.Linear = CutPart(circular, peak - lead, peak + tail, timeZero);
    response.Peak = peak - std::ceil(peak - lead);
    for (int order = TImpulseResponse::FirstHarmonic; order <= TImpulseResponse::LastHarmonic; ++order)
        response.Harmonics[static_cast<std::size_t>(order - TImpulseResponse::FirstHarmonic)] =
            CutPart(circular, peak - (advance(order) + advance(order + 1)) / 2,
                    peak - (advance(order - 1) + advance(order)) / 2, timeZero - advance(order));
    return response;
}

TImpulseResponse ImpulseResponseOf(std::vector<double> samples, double frameRate)
{
    TImpulseResponse response;
    response.FrameRate = frameRate;
    response.StartHz =
        std::max(1.0, frameRate / static_cast<double>(std::max<std::size_t>(samples.size(), 1)));
    response.StopHz = 0.45 * frameRate;
    response.Peak = ImpulsePeak(samples);
    response.Linear.Samples = std::move(samples);
    return response;
}

double ValueAt(std::span<const double> bins, double binHz, double frequency)
{
    if (bins.empty())
        return 0;
    const double at = std::clamp(frequency / binHz, 0.0, static_cast<double>(bins.size() - 1));
    const auto below = static_cast<std::size_t>(std::floor(at));
    const std::size_t above = std::min(below + 1, bins.size() - 1);
    const double fraction = at - static_cast<double>(below);
    return bins[below] + fraction * (bins[above] - bins[below]);
}

struct TImpulseAnalysis::TPartAnalysis
{
    TPartAnalysis(const TImpulseResponse::TPart& part, double frameRate)
        : Analysis(TRealFft::NiceSize(std::max(part.Samples.size(), LeastSize)), frameRate),
          Smoothing(Analysis.Bins()), Power(Analysis.Bins()), Smoothed(Analysis.Bins())
    {
    }

    // A quantity on the bins, smoothed, at a frequency.
    double At(double frequency) const { return ValueAt(Smoothed, Analysis.BinHz(), frequency); }
    void Smooth(std::span<const double> bins, int fraction) { Smoothing.Smooth(bins, Smoothed, fraction); }
    // The magnitude is smoothed as power.
    void SmoothPower(int fraction)
    {
        const std::span<const double> magnitude = Analysis.MagnitudeDb();
        for (std::size_t k = 0; k < Power.size(); ++k)
            Power[k] = std::pow(10.0, magnitude[k] / 10);
        Smooth(Power, fraction);
    }

    TResponseAnalysis Analysis;
    TOctaveSmoothing Smoothing;
    std::vector<double> Power, Smoothed;
};

TImpulseAnalysis::TImpulseAnalysis(const TImpulseResponse& response)
    : Response(response), Linear(std::make_unique<TPartAnalysis>(response.Linear, response.FrameRate))
{
    for (const TImpulseResponse::TPart& part : response.Harmonics)
        Harmonic.push_back(part.Samples.empty() ? nullptr
                                                : std::make_unique<TPartAnalysis>(part, response.FrameRate));
}

TImpulseAnalysis::~TImpulseAnalysis() = default;

void TImpulseAnalysis::Compute(const TAnalysisChoice& choice, TResponseCurves& curves)
{
    const TGate& gate = choice.Gate;
    const double low = std::max(Response.StartHz, gate.LowestValidHz());
    const double reference = choice.PhaseFromPeak ? Response.DelayFrames() / Response.FrameRate : 0.0;
    TResponseAnalysis& linear = Linear->Analysis;
    linear.Analyse(Response.Linear.Samples, Response.Linear.Origin, gate, reference, low, Response.StopHz,
                   Response.EdgeHz);
    curves.LowestValidHz = gate.LowestValidHz();

    curves.Frequency.clear();
    const double step = std::exp2(1.0 / TResponseCurves::PointsPerOctave);
    for (double f = Response.StartHz; f <= Response.StopHz * (1 + 1e-9); f *= step)
        curves.Frequency.push_back(f);
    const auto sampled = [&](std::vector<double>& into, auto value) {
        into.resize(curves.Frequency.size());
        for (std::size_t i = 0; i < into.size(); ++i)
            into[i] = value(curves.Frequency[i]);
    };
    Linear->SmoothPower(choice.Smoothing);
    sampled(curves.MagnitudeDb, [&](double f) { return ToDb(Linear->At(f)); });
    const auto smoothedCurve = [&](std::span<const double> bins, std::vector<double>& into) {
        Linear->Smooth(bins, choice.Smoothing);
        sampled(into, [&](double f) { return Linear->At(f); });
    };
    smoothedCurve(linear.PhaseUnwrapped(), curves.Phase[static_cast<std::size_t>(TPhaseKind::Unwrapped)]);
    smoothedCurve(linear.PhaseMinimum(), curves.Phase[static_cast<std::size_t>(TPhaseKind::Minimum)]);
    smoothedCurve(linear.PhaseExcess(), curves.Phase[static_cast<std::size_t>(TPhaseKind::Excess)]);
    smoothedCurve(linear.GroupDelay(), curves.GroupDelay);
    std::vector<double>& wrapped = curves.Phase[static_cast<std::size_t>(TPhaseKind::Wrapped)];
    wrapped = curves.PhaseOf(TPhaseKind::Unwrapped);
    for (double& value : wrapped)
        value = WrapDegrees(value);

    for (std::size_t h = 0; h < Harmonic.size(); ++h) {
        curves.DistortionFrequency[h].clear();
        curves.DistortionDb[h].clear();
        if (!Harmonic[h])
            continue;
        const int order = static_cast<int>(h) + TImpulseResponse::FirstHarmonic;
        const TImpulseResponse::TPart& part = Response.Harmonics[h];
        // The user's gate, within the harmonic's own zone.
        const TGate zone{
            std::max(gate.Start, Response.TimeOf(part, 0)), gate.Peak,
            std::min(gate.End, Response.TimeOf(part, static_cast<double>(part.Samples.size() - 1))),
            gate.Shape};
        Harmonic[h]->Analysis.AnalyseMagnitude(part.Samples, part.Origin, zone);
        Harmonic[h]->SmoothPower(choice.Smoothing);
        const double top = std::min(Response.StopHz, 0.5 * Response.FrameRate) / order;
        for (std::size_t i = 0; i < curves.Frequency.size() && curves.Frequency[i] <= top; ++i) {
            const double f = curves.Frequency[i];
            curves.DistortionFrequency[h].push_back(f);
            curves.DistortionDb[h].push_back(ToDb(Harmonic[h]->At(order * f)) - curves.MagnitudeDb[i]);
        }
    }
}
