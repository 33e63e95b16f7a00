// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ResponseAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double Degrees = 180 / std::numbers::pi;
constexpr double MagnitudeFloor = 1e-10; // -200 dB
constexpr double CepstrumFloor = 1e-6;   // of the strongest bin: -120 dB
constexpr double SilentBin = 1e-300;     // a bin this small has no group delay of its own

// Rises from 0 at `from` to 1 at `to` (either order of the two).
double Taper(double time, double from, double to)
{
    if (from == to)
        return 1;
    const double x = std::clamp((time - from) / (to - from), 0.0, 1.0);
    return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
}

} // namespace

double WrapDegrees(double degrees)
{
    return degrees - 360 * std::ceil((degrees - 180) / 360);
}

double TGate::Weight(double time) const
{
    if (time < Start || time > End)
        return 0;
    const bool halfHann = Shape == TGateShape::HalfHann;
    if (time <= Peak) {
        const double rampEnd = halfHann ? Peak : Start + TukeyTaper * (Peak - Start);
        return Taper(time, Start, rampEnd);
    }
    const double rampStart = halfHann ? Peak : End - TukeyTaper * (End - Peak);
    return time <= rampStart ? 1 : Taper(time, End, rampStart);
}

double TGate::LowestValidHz() const
{
    return End > Peak ? 1 / (End - Peak) : 0;
}

TResponseAnalysis::TResponseAnalysis(std::size_t size, double frameRate)
    : Fft(size), Rate(frameRate), Time(size), Weighted(size), Response(Fft.Bins()), Moment(Fft.Bins()),
      Magnitude(Fft.Bins()), Wrapped(Fft.Bins()), Unwrapped(Fft.Bins()), Minimum(Fft.Bins()),
      Excess(Fft.Bins()), Delay(Fft.Bins())
{
}

double TResponseAnalysis::Place(std::span<const double> impulse, double origin, const TGate& gate,
                                double phaseReference, bool moment)
{
    const auto n = static_cast<std::ptrdiff_t>(Size());
    const double reference = origin + phaseReference * Rate; // fractional sample index
    const auto whole = static_cast<std::ptrdiff_t>(std::floor(reference));
    const auto first =
        std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(std::ceil(origin + gate.Start * Rate)));
    const auto last =
        std::min({static_cast<std::ptrdiff_t>(impulse.size()) - 1,
                  static_cast<std::ptrdiff_t>(std::floor(origin + gate.End * Rate)), first + n - 1});
    std::fill(Time.begin(), Time.end(), 0.0);
    if (moment)
        std::fill(Weighted.begin(), Weighted.end(), 0.0);
    for (std::ptrdiff_t i = first; i <= last; ++i) {
        const double sample =
            gate.Weight((static_cast<double>(i) - origin) / Rate) * impulse[static_cast<std::size_t>(i)];
        const std::ptrdiff_t offset = i - whole; // from the reference, in whole frames
        const auto at = static_cast<std::size_t>(((offset % n) + n) % n);
        Time[at] = sample;
        if (moment)
            Weighted[at] = static_cast<double>(offset) * sample;
    }
    return reference - static_cast<double>(whole);
}

void TResponseAnalysis::AnalyseMagnitude(std::span<const double> impulse, double origin, const TGate& gate)
{
    Place(impulse, origin, gate, 0, false);
    Fft.Forward(Time, Response);
    for (std::size_t k = 0; k < Response.size(); ++k)
        Magnitude[k] = 20 * std::log10(std::max(std::abs(Response[k]), MagnitudeFloor));
}

void TResponseAnalysis::Analyse(std::span<const double> impulse, double origin, const TGate& gate,
                                double phaseReference, double lowHz, double highHz)
{
    const auto n = static_cast<std::ptrdiff_t>(Size());
    const double fraction = Place(impulse, origin, gate, phaseReference, true);
    Fft.Forward(Time, Response);
    Fft.Forward(Weighted, Moment);

    const double omegaStep = 2 * std::numbers::pi / static_cast<double>(n);
    for (std::size_t k = 0; k < Response.size(); ++k) {
        const std::complex<double> block = Response[k];
        if (fraction != 0) // a reference between two frames
            Response[k] = block * std::polar(1.0, omegaStep * static_cast<double>(k) * fraction);
        const double power = std::norm(block);
        const double delayFrames = power > SilentBin ? (Moment[k] * std::conj(block)).real() / power : 0.0;
        Delay[k] = (delayFrames - fraction) / Rate;
        Magnitude[k] = 20 * std::log10(std::max(std::abs(Response[k]), MagnitudeFloor));
        Wrapped[k] = std::arg(Response[k]) * Degrees;
    }
    const std::size_t anchor = BinOf(lowHz);
    UnwrapFrom(anchor);
    MinimumPhase(anchor, std::max(anchor, BinOf(highHz)));
    const double turns = std::round((Unwrapped[anchor] - Minimum[anchor]) / 360);
    for (std::size_t k = 0; k < Excess.size(); ++k)
        Excess[k] = Unwrapped[k] - Minimum[k] - 360 * turns;
}

std::size_t TResponseAnalysis::BinOf(double frequency) const
{
    return static_cast<std::size_t>(
        std::clamp(std::round(frequency / BinHz()), 0.0, static_cast<double>(Response.size() - 1)));
}

void TResponseAnalysis::UnwrapFrom(std::size_t anchor)
{
    Unwrapped[anchor] = Wrapped[anchor];
    for (std::size_t k = anchor + 1; k < Wrapped.size(); ++k)
        Unwrapped[k] = Unwrapped[k - 1] + WrapDegrees(Wrapped[k] - Wrapped[k - 1]);
    for (std::size_t k = anchor; k-- > 0;)
        Unwrapped[k] = Unwrapped[k + 1] + WrapDegrees(Wrapped[k] - Wrapped[k + 1]);
}

// The real cepstrum of the magnitude, folded onto positive quefrencies, is the complex cepstrum of the
// minimum-phase response; its transform's imaginary part is that response's phase.
void TResponseAnalysis::MinimumPhase(std::size_t low, std::size_t high)
{
    double strongest = 0;
    for (std::size_t k = low; k <= high; ++k)
        strongest = std::max(strongest, std::abs(Response[k]));
    const double floor = std::max(strongest * CepstrumFloor, MagnitudeFloor);
    for (std::size_t k = 0; k < Response.size(); ++k)
        Moment[k] = std::log(std::max(std::abs(Response[std::clamp(k, low, high)]), floor));
    Fft.Inverse(Moment, Time);
    const std::size_t n = Size();
    const double scale = 1.0 / static_cast<double>(n);
    std::fill(Weighted.begin(), Weighted.end(), 0.0);
    Weighted[0] = Time[0] * scale;
    for (std::size_t i = 1; i < (n + 1) / 2; ++i)
        Weighted[i] = 2 * Time[i] * scale;
    if (n % 2 == 0)
        Weighted[n / 2] = Time[n / 2] * scale;
    Fft.Forward(Weighted, Moment);
    for (std::size_t k = 0; k < Minimum.size(); ++k)
        Minimum[k] = Moment[k].imag() * Degrees;
}
