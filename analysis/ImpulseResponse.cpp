// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ImpulseResponse.h"

#include "analysis/ImpulsePeak.h"
#include "analysis/OctaveSmoothing.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

constexpr double LongestLead = 0.5;        // s of the linear part before its peak
constexpr double LeastTail = 0.01;         // s after it, whatever the recording holds
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

std::size_t TImpulseResponse::FileTimeZero(double before) const
{
    return static_cast<std::size_t>(std::lround(std::max(before, 0.0) * FrameRate));
}

std::vector<double> TImpulseResponse::ForFile(double before) const
{
    const auto first = static_cast<std::ptrdiff_t>(std::lround(Linear.Origin)) -
                       static_cast<std::ptrdiff_t>(FileTimeZero(before));
    const auto size = static_cast<std::ptrdiff_t>(Linear.Samples.size());
    std::vector<double> samples(static_cast<std::size_t>(std::max<std::ptrdiff_t>(size - first, 0)), 0.0);
    for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(first, 0); i < size; ++i)
        samples[static_cast<std::size_t>(i - first)] = Linear.Samples[static_cast<std::size_t>(i)];
    return samples;
}

TImpulseResponse CutImpulseResponse(std::span<const double> block, const TLogSweep& sweep, std::size_t tail)
{
    TImpulseResponse response;
    response.FrameRate = sweep.FrameRate();
    // The response begins where the sweep's fade-in ends.
    response.StartHz = sweep.FadeInEndHz();
    response.StopHz = sweep.StopHz();
    if (block.empty())
        return response;
    const auto size = static_cast<double>(block.size());
    const auto largest = static_cast<std::ptrdiff_t>(
        std::max_element(block.begin(), block.end(),
                         [](double a, double b) { return std::abs(a) < std::abs(b); }) -
        block.begin());
    std::array<double, 2 * PeakSearch + 1> around{};
    for (std::ptrdiff_t j = -PeakSearch; j <= PeakSearch; ++j) {
        const auto at =
            ((largest + j) % static_cast<std::ptrdiff_t>(size) + static_cast<std::ptrdiff_t>(size)) %
            static_cast<std::ptrdiff_t>(size);
        around[static_cast<std::size_t>(j + PeakSearch)] = block[static_cast<std::size_t>(at)];
    }
    double peak = static_cast<double>(largest - PeakSearch) + ImpulsePeak(around);
    peak = std::fmod(peak + size, size);
    // Time 0 is frame 0 of the block; a peak in its second half is a response that leads time 0.
    const double timeZero = peak < size / 2 ? 0 : size;
    const double rate = response.FrameRate;
    const auto advance = [&](int order) { return sweep.HarmonicAdvance(order); };
    const double lead = std::min(advance(2) / 2, LongestLead * rate);
    // The linear part as far as the recording holds it whole, but never less than a little past the
    // peak,
    const double end = std::max(timeZero + static_cast<double>(tail), peak + LeastTail * rate);
    // and never into the harmonics' zones, which lead the peak by up to the 6th one's advance.
    const double harmonicsFrom = peak + size - (advance(5) + advance(6)) / 2 - 1;
    response.Linear = CutPart(block, peak - lead, std::min(end, harmonicsFrom), timeZero);
    response.Peak = peak - std::ceil(peak - lead);
    for (int order = TImpulseResponse::FirstHarmonic; order <= TImpulseResponse::LastHarmonic; ++order)
        response.Harmonics[static_cast<std::size_t>(order - TImpulseResponse::FirstHarmonic)] =
            CutPart(block, peak - (advance(order) + advance(order + 1)) / 2,
                    peak - (advance(order - 1) + advance(order)) / 2, timeZero - advance(order));
    return response;
}

TImpulseResponse ImpulseResponseOf(std::vector<double> samples, double frameRate, double timeZero)
{
    TImpulseResponse response;
    response.FrameRate = frameRate;
    response.StartHz =
        std::max(1.0, frameRate / static_cast<double>(std::max<std::size_t>(samples.size(), 1)));
    response.StopHz = 0.45 * frameRate;
    response.Peak = ImpulsePeak(samples);
    response.Linear.Samples = std::move(samples);
    response.Linear.Origin = timeZero;
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
          Smoothing(Analysis.Bins()), Power(Analysis.Bins()), Smoothed(Analysis.Bins()),
          Imaginary(Analysis.Bins()), SmoothedImaginary(Analysis.Bins())
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
    // The phase (degrees, unwrapped from the anchor bin on either side, equal to the wrapped phase
    // there) of the response smoothed as complex values with a delay of `delay` seconds taken off; the
    // delay's own phase is put back. Into Smoothed.
    void SmoothPhase(int fraction, double delay, std::size_t anchor)
    {
        const std::span<const std::complex<double>> spectrum = Analysis.Spectrum();
        const double binHz = Analysis.BinHz();
        for (std::size_t k = 0; k < spectrum.size(); ++k) {
            const std::complex<double> early =
                spectrum[k] * std::polar(1.0, 2 * std::numbers::pi * static_cast<double>(k) * binHz * delay);
            Power[k] = early.real();
            Imaginary[k] = early.imag();
        }
        Smoothing.Smooth(Power, Smoothed, fraction);
        Smoothing.Smooth(Imaginary, SmoothedImaginary, fraction);
        const auto wrapped = [&](std::size_t k) {
            return std::atan2(SmoothedImaginary[k], Smoothed[k]) * 180 / std::numbers::pi;
        };
        anchor = std::min(anchor, Smoothed.size() - 1);
        const double linear = -360 * binHz * delay; // degrees per bin
        // The phase without the delay, unwrapped; the delay's back on, a whole turn making it equal
        // the wrapped phase at the anchor.
        std::vector<double>& phase = Power;
        phase[anchor] = wrapped(anchor);
        for (std::size_t k = anchor + 1; k < phase.size(); ++k)
            phase[k] = phase[k - 1] + WrapDegrees(wrapped(k) - wrapped(k - 1));
        for (std::size_t k = anchor; k-- > 0;)
            phase[k] = phase[k + 1] + WrapDegrees(wrapped(k) - wrapped(k + 1));
        const double atAnchor = phase[anchor] + linear * static_cast<double>(anchor);
        const double turns = 360 * std::round((atAnchor - WrapDegrees(atAnchor)) / 360);
        for (std::size_t k = 0; k < phase.size(); ++k)
            Smoothed[k] = phase[k] + linear * static_cast<double>(k) - turns;
    }

    TResponseAnalysis Analysis;
    TOctaveSmoothing Smoothing;
    std::vector<double> Power, Smoothed, Imaginary, SmoothedImaginary;
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
    linear.Analyse(Response.Linear.Samples, Response.Linear.Origin, gate, reference, low, Response.StopHz);
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
    const auto phase = [&](TPhaseKind kind) -> std::vector<double>& {
        return curves.Phase[static_cast<std::size_t>(kind)];
    };
    Linear->SmoothPower(choice.Smoothing);
    sampled(curves.MagnitudeDb, [&](double f) { return ToDb(Linear->At(f)); });
    const std::size_t anchor = static_cast<std::size_t>(std::lround(low / linear.BinHz()));
    Linear->SmoothPhase(choice.Smoothing, Response.DelayFrames() / Response.FrameRate - reference, anchor);
    sampled(phase(TPhaseKind::Unwrapped), [&](double f) { return Linear->At(f); });
    const auto smoothedCurve = [&](std::span<const double> bins, std::vector<double>& into) {
        Linear->Smooth(bins, choice.Smoothing);
        sampled(into, [&](double f) { return Linear->At(f); });
    };
    smoothedCurve(linear.PhaseMinimum(), phase(TPhaseKind::Minimum));
    smoothedCurve(linear.GroupDelay(), curves.GroupDelay);
    // The excess phase from the two smoothed ones, brought within (-180, 180] at the valid band's low
    // edge.
    const std::vector<double>& unwrapped = phase(TPhaseKind::Unwrapped);
    const std::vector<double>& minimum = phase(TPhaseKind::Minimum);
    std::vector<double>& excess = phase(TPhaseKind::Excess);
    excess.resize(unwrapped.size());
    const std::size_t first = static_cast<std::size_t>(
        std::lower_bound(curves.Frequency.begin(), curves.Frequency.end(), low) - curves.Frequency.begin());
    const double turns =
        first < excess.size() ? 360 * std::round((unwrapped[first] - minimum[first]) / 360) : 0.0;
    for (std::size_t i = 0; i < excess.size(); ++i)
        excess[i] = unwrapped[i] - minimum[i] - turns;
    std::vector<double>& wrapped = phase(TPhaseKind::Wrapped);
    wrapped = unwrapped;
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
