// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/OctaveFilterBank.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>

using FractionalOctave::TBand;

namespace {

constexpr int MinimumOrder = 3, MaximumOrder = 8;
constexpr int AntiAliasOrder = 8;
constexpr double AntiAliasAttenuation = 85; // dB
constexpr double AntiAliasEdge = 0.35;      // of the rate the low-pass runs at
constexpr double StagePassband = 0.3;       // of a stage's rate: where its bands must end
constexpr int MostStages = 16;
constexpr int CheckSteps = 24; // response checks between two breakpoints of the limits
constexpr double Pi = std::numbers::pi;

using TComplex = std::complex<double>;

// The s plane of the bilinear transform s = (1 - z^-1) / (1 + z^-1): the frequency f of a stream of
// `rate` frames/s lies at s = j tan(pi f / rate).
double Warped(double frequency, double rate)
{
    return std::tan(Pi * frequency / rate);
}

TComplex ToZ(TComplex s)
{
    return (1.0 + s) / (1.0 - s);
}

// Denominator 1 + A1 z^-1 + A2 z^-2 of two z-plane poles, conjugate or both real.
void SetPoles(TSecondOrderSection& section, TComplex a, TComplex b)
{
    section.A1 = -(a + b).real();
    section.A2 = (a * b).real();
}

// The band-pass of the Butterworth low-pass of `order` poles through s -> (s^2 + w0^2) / (s B): each
// low-pass pole p gives the two roots of s^2 - p B s + w0^2. Every section takes one pair of conjugate
// poles (or two real ones, which a wide warped band can have) with a zero at z = 1 and one at z = -1,
// and is scaled to unity at the midband.
std::vector<TSecondOrderSection> ButterworthBandPass(int order, const TBand& band, double rate)
{
    const double lower = Warped(band.Lower, rate), upper = Warped(band.Upper, rate);
    const double width = upper - lower, centre = lower * upper;
    std::vector<TComplex> complexPoles;
    std::vector<double> realPoles;
    for (int m = 0; m < order; ++m) {
        const TComplex p = std::polar(1.0, Pi * (2 * m + order + 1) / (2.0 * order));
        const TComplex root = std::sqrt(p * p * width * width - 4 * centre);
        for (const TComplex s : {(p * width + root) / 2.0, (p * width - root) / 2.0}) {
            const TComplex z = ToZ(s);
            if (std::abs(z.imag()) <= 1e-12)
                realPoles.push_back(z.real());
            else if (z.imag() > 0)
                complexPoles.push_back(z); // its conjugate comes from the conjugate low-pass pole
        }
    }
    std::sort(realPoles.begin(), realPoles.end());
    std::vector<TSecondOrderSection> sections;
    for (const TComplex z : complexPoles) {
        TSecondOrderSection section;
        SetPoles(section, z, std::conj(z));
        sections.push_back(section);
    }
    for (std::size_t i = 0; i + 1 < realPoles.size(); i += 2) {
        TSecondOrderSection section;
        SetPoles(section, realPoles[i], realPoles[i + 1]);
        sections.push_back(section);
    }
    for (TSecondOrderSection& section : sections) {
        section.B0 = 1;
        section.B2 = -1;
        const double gain = 1 / Gain({&section, 1}, band.Midband, rate);
        section.B0 = gain;
        section.B2 = -gain;
    }
    return sections;
}

// The low-pass before each halving: Chebyshev type II, its stopband from AntiAliasEdge of its rate.
// The poles are the reciprocals of the type I poles of the same order and of ripple parameter
// 1 / sqrt(10^(As/10) - 1), scaled by the stopband edge; the zeros lie at j edge / cos(theta).
std::vector<TSecondOrderSection> ChebyshevLowPass()
{
    const double edge = Warped(AntiAliasEdge, 1.0);
    const double ripple = 1 / std::sqrt(std::pow(10.0, AntiAliasAttenuation / 10) - 1);
    const double mu = std::asinh(1 / ripple) / AntiAliasOrder;
    std::vector<TSecondOrderSection> sections;
    for (int m = 1; m <= AntiAliasOrder / 2; ++m) {
        const double theta = (2 * m - 1) * Pi / (2.0 * AntiAliasOrder);
        const TComplex typeOne(-std::sinh(mu) * std::sin(theta), std::cosh(mu) * std::cos(theta));
        const TComplex pole = ToZ(edge / typeOne);
        const TComplex zero = ToZ(TComplex(0, edge / std::cos(theta)));
        TSecondOrderSection section;
        SetPoles(section, pole, std::conj(pole));
        section.B1 = -2 * zero.real();
        section.B2 = 1;
        const double gain = 1 / Gain({&section, 1}, 0, 1.0);
        section.B0 = gain;
        section.B1 *= gain;
        section.B2 = gain;
        sections.push_back(section);
    }
    return sections;
}

double Attenuation(std::span<const TSecondOrderSection> sections, double frequency, double rate)
{
    return -20 * std::log10(std::max(Gain(sections, frequency, rate), 1e-20));
}

// The normalised frequencies Omega at which a design is checked against the class 1 limits: every
// breakpoint and a fine grid between them, with the limits there.
struct TCheckPoint
{
    double Omega;
    FractionalOctave::TLimits Limits;
};

std::vector<TCheckPoint> CheckPoints(int bandsPerOctave)
{
    using namespace FractionalOctave;
    const std::vector<TBreakpoint> breakpoints = ClassOneBreakpoints(bandsPerOctave);
    std::vector<TCheckPoint> points;
    for (std::size_t i = 0; i + 1 < breakpoints.size(); ++i)
        for (int step = 0; step < CheckSteps; ++step) {
            const double omega =
                breakpoints[i].Omega *
                std::pow(breakpoints[i + 1].Omega / breakpoints[i].Omega, double(step) / CheckSteps);
            points.push_back(
                {omega, step == 0 ? breakpoints[i].Limits : ClassOneLimits(bandsPerOctave, omega)});
        }
    points.push_back({breakpoints.back().Omega, breakpoints.back().Limits});
    return points;
}

// Whether the relative attenuation keeps the class 1 limits with the margin at every check point
// below half the rate, and above the highest one up to half the rate (where the limit stays that of
// the highest).
bool KeepsClassOne(std::span<const TSecondOrderSection> sections, const TBand& band,
                   std::span<const TCheckPoint> points, double rate)
{
    const double nyquist = rate / 2 * (1 - 1e-9);
    const auto keeps = [&](double frequency, const FractionalOctave::TLimits& limits) {
        const double attenuation = Attenuation(sections, frequency, rate);
        return attenuation >= limits.Minimum + TOctaveFilterBank::DesignMargin &&
               attenuation <= limits.Maximum - TOctaveFilterBank::DesignMargin;
    };
    for (const TCheckPoint& point : points)
        if (band.Midband * point.Omega < nyquist && !keeps(band.Midband * point.Omega, point.Limits))
            return false;
    const double highest = band.Midband * points.back().Omega;
    for (int step = 1; step <= CheckSteps && highest < nyquist; ++step)
        if (!keeps(highest * std::pow(nyquist / highest, double(step) / CheckSteps), points.back().Limits))
            return false;
    return true;
}

// The frequency at which a sine of `frequency` appears after keeping every second sample of a stream
// that then runs at `rate`.
double Folded(double frequency, double rate)
{
    const double folded = std::fmod(frequency, rate);
    return folded > rate / 2 ? rate - folded : folded;
}

} // namespace

TOctaveFilterBank::TOctaveFilterBank(int bandsPerOctave, double frameRate, double timeConstant, double lowest,
                                     double highest)
    : PerOctave(bandsPerOctave), Rate(frameRate), Tau(timeConstant), AntiAliasDesign(ChebyshevLowPass())
{
    if (bandsPerOctave < 1 || !(frameRate > 0) || !(timeConstant > 0))
        throw std::invalid_argument("TOctaveFilterBank: bad bands, rate or time constant");
    const std::vector<TCheckPoint> points = CheckPoints(bandsPerOctave);
    const double reach = points.back().Omega;
    int stages = 1;
    for (const TBand& layout : FractionalOctave::Bands(bandsPerOctave, std::max(lowest, LowestMidband),
                                                       std::min(highest, HighestMidband))) {
        if (layout.Upper >= Rate / 2)
            continue;
        TBandFilter band;
        band.Layout = layout;
        while (band.Stage < MostStages &&
               layout.Midband * reach <= StagePassband * Rate / std::pow(2.0, band.Stage + 1))
            ++band.Stage;
        const double rate = Rate / std::pow(2.0, band.Stage);
        for (int order = MinimumOrder; order <= MaximumOrder && band.Sections.empty(); ++order) {
            std::vector<TSecondOrderSection> sections = ButterworthBandPass(order, layout, rate);
            if (KeepsClassOne(sections, layout, points, rate))
                band.Sections = std::move(sections);
        }
        if (band.Sections.empty())
            continue;
        band.States.resize(band.Sections.size());
        stages = std::max(stages, band.Stage + 1);
        Filters.push_back(std::move(band));
    }
    Stages.resize(static_cast<std::size_t>(stages));
    for (std::size_t k = 0; k < Stages.size(); ++k) {
        TStage& stage = Stages[k];
        stage.Rate = Rate / std::pow(2.0, static_cast<double>(k));
        if (k > 0) {
            stage.AntiAlias.resize(AntiAliasDesign.size());
            stage.Samples.resize((ChunkFrames >> k) + 1);
        }
    }
    for (std::size_t i = 0; i < Filters.size(); ++i)
        Stages[static_cast<std::size_t>(Filters[i].Stage)].Bands.push_back(i);
    Output.resize(ChunkFrames);
    SetTimeConstant(timeConstant);
}

double TOctaveFilterBank::BandRate(int band) const
{
    return Stages[static_cast<std::size_t>(At(band).Stage)].Rate;
}

void TOctaveFilterBank::SetTimeConstant(double seconds)
{
    Tau = seconds;
    for (TBandFilter& band : Filters)
        band.Weight = 1 - std::exp(-1 / (Tau * Stages[static_cast<std::size_t>(band.Stage)].Rate));
}

void TOctaveFilterBank::Reset()
{
    for (TBandFilter& band : Filters) {
        band.Maximum = TStereo{};
        band.Energy = TStereo{};
        band.Samples = 0;
    }
}

void TOctaveFilterBank::Restart()
{
    Reset();
    for (TBandFilter& band : Filters) {
        std::fill(band.States.begin(), band.States.end(), TSecondOrderState{});
        band.TimeWeighted = TStereo{};
    }
    for (TStage& stage : Stages) {
        std::fill(stage.AntiAlias.begin(), stage.AntiAlias.end(), TSecondOrderState{});
        stage.Keep = false;
        stage.Count = 0;
    }
}

TStereo TOctaveFilterBank::Mean(int band) const
{
    const TBandFilter& filter = At(band);
    return filter.Samples > 0 ? filter.Energy / filter.Samples : TStereo{};
}

void TOctaveFilterBank::Process(std::span<const TStereo> frames, TBandSink* sink)
{
    for (std::size_t offset = 0; offset < frames.size(); offset += ChunkFrames) {
        std::span<const TStereo> samples =
            frames.subspan(offset, std::min(ChunkFrames, frames.size() - offset));
        for (std::size_t k = 0; k < Stages.size(); ++k) {
            TStage& stage = Stages[k];
            if (k > 0) {
                Halve(samples, stage);
                samples = std::span<const TStereo>(stage.Samples.data(), stage.Count);
            }
            for (const std::size_t band : stage.Bands) {
                Run(Filters[band], samples, sink ? Output.data() : nullptr);
                if (sink)
                    sink->Take(static_cast<int>(band),
                               std::span<const TStereo>(Output.data(), samples.size()));
            }
        }
    }
}

void TOctaveFilterBank::Halve(std::span<const TStereo> from, TStage& to)
{
    to.Count = 0;
    for (const TStereo x : from) {
        TStereo y = x;
        for (std::size_t i = 0; i < AntiAliasDesign.size(); ++i)
            y = Step(AntiAliasDesign[i], to.AntiAlias[i], y);
        if (to.Keep)
            to.Samples[to.Count++] = y;
        to.Keep = !to.Keep;
    }
    FlushTiny(to.AntiAlias);
}

// The band filters with their order fixed at compile time, so that the sections' memory stays in
// registers through the loop.
template <std::size_t Order, bool Keep>
void TOctaveFilterBank::RunOrder(TBandFilter& band, std::span<const TStereo> samples, TStereo* output)
{
    std::array<TSecondOrderSection, Order> sections;
    std::array<TSecondOrderState, Order> states;
    std::copy_n(band.Sections.begin(), Order, sections.begin());
    std::copy_n(band.States.begin(), Order, states.begin());
    const double weight = band.Weight;
    TStereo weighted = band.TimeWeighted, maximum = band.Maximum, energy{};
    for (const TStereo x : samples) {
        TStereo y = x;
        for (std::size_t i = 0; i < Order; ++i)
            y = Step(sections[i], states[i], y);
        if constexpr (Keep)
            *output++ = y;
        const TStereo square = y * y;
        energy += square;
        weighted += weight * (square - weighted);
        maximum = maximum > weighted ? maximum : weighted;
    }
    std::copy_n(states.begin(), Order, band.States.begin());
    band.TimeWeighted = weighted;
    band.Maximum = maximum;
    band.Energy += energy;
    band.Samples += static_cast<double>(samples.size());
    FlushTiny(band.States);
}

void TOctaveFilterBank::Run(TBandFilter& band, std::span<const TStereo> samples, TStereo* output)
{
    static_assert(MinimumOrder == 3 && MaximumOrder == 8);
    const auto run = [&]<std::size_t Order>() {
        output ? RunOrder<Order, true>(band, samples, output) : RunOrder<Order, false>(band, samples, output);
    };
    switch (band.Sections.size()) {
    case 3:
        return run.operator()<3>();
    case 4:
        return run.operator()<4>();
    case 5:
        return run.operator()<5>();
    case 6:
        return run.operator()<6>();
    case 7:
        return run.operator()<7>();
    default:
        return run.operator()<8>();
    }
}

double TOctaveFilterBank::SettleSeconds(double decayDb) const
{
    double longest = 0;
    for (const TBandFilter& band : Filters) {
        double seconds =
            ::SettleSeconds(band.Sections, Stages[static_cast<std::size_t>(band.Stage)].Rate, decayDb);
        for (int k = 1; k <= band.Stage; ++k)
            seconds +=
                ::SettleSeconds(AntiAliasDesign, Stages[static_cast<std::size_t>(k - 1)].Rate, decayDb);
        longest = std::max(longest, seconds);
    }
    return longest;
}

double TOctaveFilterBank::ResponseDb(int band, double frequency) const
{
    const TBandFilter& filter = At(band);
    double gain = 1, seen = frequency;
    for (int k = 1; k <= filter.Stage; ++k) {
        const double rate = Stages[static_cast<std::size_t>(k - 1)].Rate;
        gain *= Gain(AntiAliasDesign, seen, rate);
        seen = Folded(seen, rate / 2);
    }
    gain *= Gain(filter.Sections, seen, BandRate(band));
    return 20 * std::log10(std::max(gain, 1e-20));
}
