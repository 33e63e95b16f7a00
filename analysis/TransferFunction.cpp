// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/TransferFunction.h"

#include "analysis/ImpulseResponse.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double Degrees = 180 / std::numbers::pi;
constexpr double MagnitudeFloor = 1e-10; // -200 dB
constexpr double EmptyBin = 1e-12;       // of the strongest reference bin's power: -120 dB
constexpr double LowestHz = 10, HighestShare = 0.45;
constexpr double PinkCorner = 20; // Hz

} // namespace

TTransferEstimator::TTransferEstimator(std::size_t size)
    : Transform(size), Window(size, 1.0), Windowed(size), X(Transform.Bins()), Y(Transform.Bins()),
      Sxx(Transform.Bins()), Syy(Transform.Bins()), Sxy(Transform.Bins()), SumXx(Transform.Bins()),
      SumYy(Transform.Bins()), SumXy(Transform.Bins())
{
}

void TTransferEstimator::SetWindow(TWindow window)
{
    const std::size_t size = Window.size();
    for (std::size_t n = 0; n < size; ++n)
        Window[n] = window == TWindow::Rectangular
                        ? 1.0
                        : 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(n) / double(size));
    Reset();
}

void TTransferEstimator::SetAveraging(TAveraging averaging, int frames)
{
    Averaging = averaging;
    Depth = std::max(frames, 1);
    const std::size_t held = averaging == TAveraging::Count ? std::size_t(Depth) * Bins() : 0;
    if (HeldXx.size() < held) {
        HeldXx.resize(held);
        HeldYy.resize(held);
        HeldXy.resize(held);
    }
    Reset();
}

void TTransferEstimator::Reset()
{
    Count = 0;
    std::fill(Sxx.begin(), Sxx.end(), 0.0);
    std::fill(Syy.begin(), Syy.end(), 0.0);
    std::fill(Sxy.begin(), Sxy.end(), std::complex<double>());
    std::fill(SumXx.begin(), SumXx.end(), 0.0);
    std::fill(SumYy.begin(), SumYy.end(), 0.0);
    std::fill(SumXy.begin(), SumXy.end(), std::complex<double>());
}

int TTransferEstimator::Averaged() const
{
    if (Averaging == TAveraging::Infinite)
        return static_cast<int>(std::min<long long>(Count, 1'000'000'000));
    return static_cast<int>(std::min<long long>(Count, Depth));
}

void TTransferEstimator::Add(std::span<const double> reference, std::span<const double> measured)
{
    const std::size_t size = Window.size(), bins = Bins();
    for (const auto& [input, output] : {std::pair{reference, &X}, std::pair{measured, &Y}}) {
        for (std::size_t n = 0; n < size; ++n)
            Windowed[n] = n < input.size() ? input[n] * Window[n] : 0.0;
        Transform.Forward(Windowed, *output);
    }
    ++Count;
    if (Averaging == TAveraging::Count) {
        // The frame in the place of the one that leaves the count, into the sums; every time the ring
        // comes round the sums are taken again from what it holds, so that no rounding builds up.
        const std::size_t slot = std::size_t((Count - 1) % Depth) * bins;
        const bool full = Count > Depth;
        for (std::size_t k = 0; k < bins; ++k) {
            const std::complex<double> cross = std::conj(X[k]) * Y[k];
            const auto xx = float(std::norm(X[k])), yy = float(std::norm(Y[k]));
            const auto xy = std::complex<float>(cross);
            if (full) {
                SumXx[k] -= HeldXx[slot + k];
                SumYy[k] -= HeldYy[slot + k];
                SumXy[k] -= std::complex<double>(HeldXy[slot + k]);
            }
            HeldXx[slot + k] = xx;
            HeldYy[slot + k] = yy;
            HeldXy[slot + k] = xy;
            SumXx[k] += xx;
            SumYy[k] += yy;
            SumXy[k] += std::complex<double>(xy);
        }
        if (full && slot == 0)
            Sum();
        const double scale = 1.0 / double(Averaged());
        for (std::size_t k = 0; k < bins; ++k) {
            Sxx[k] = SumXx[k] * scale;
            Syy[k] = SumYy[k] * scale;
            Sxy[k] = SumXy[k] * scale;
        }
        return;
    }
    const double weight = Averaging == TAveraging::Exponential
                              ? std::max(1.0 / double(Count), 1.0 / double(Depth))
                              : 1.0 / double(Count);
    for (std::size_t k = 0; k < bins; ++k) {
        Sxx[k] += weight * (std::norm(X[k]) - Sxx[k]);
        Syy[k] += weight * (std::norm(Y[k]) - Syy[k]);
        Sxy[k] += weight * (std::conj(X[k]) * Y[k] - Sxy[k]);
    }
}

void TTransferEstimator::Sum()
{
    const std::size_t bins = Bins();
    std::fill(SumXx.begin(), SumXx.end(), 0.0);
    std::fill(SumYy.begin(), SumYy.end(), 0.0);
    std::fill(SumXy.begin(), SumXy.end(), std::complex<double>());
    for (std::size_t frame = 0; frame < std::size_t(Depth); ++frame)
        for (std::size_t k = 0, at = frame * bins; k < bins; ++k, ++at) {
            SumXx[k] += HeldXx[at];
            SumYy[k] += HeldYy[at];
            SumXy[k] += std::complex<double>(HeldXy[at]);
        }
}

double TTransferEstimator::Coherence(std::size_t bin) const
{
    const double powers = Sxx[bin] * Syy[bin];
    return powers > 0 ? std::clamp(std::norm(Sxy[bin]) / powers, 0.0, 1.0) : 0.0;
}

TTransferCurveMaker::TTransferCurveMaker(std::size_t bins, double frameRate)
    : BinHz(frameRate / double(2 * (bins - 1))), Smoothing(bins), Real(bins), Imaginary(bins),
      Coherence(bins), Smoothed(bins)
{
    // The bins themselves where they lie further apart than the grid's step, so that nothing is made up
    // between two bins where the response may bend between them; the logarithmic steps above.
    const double top = std::min(HighestShare * frameRate, BinHz * double(bins - 2));
    const double step = std::exp2(1.0 / TTransferCurves::PointsPerOctave);
    for (double f = std::ceil(LowestHz / BinHz) * BinHz; f <= top;) {
        Frequency.push_back(f);
        f = f * step - f < BinHz ? (std::round(f / BinHz) + 1) * BinHz : f * step;
    }
}

void TTransferCurveMaker::Compute(const TTransferEstimator& estimate, double takenOff, double putBack,
                                  int smoothing, TTransferCurves& curves)
{
    const std::span<const std::complex<double>> cross = estimate.Gxy();
    const std::span<const double> reference = estimate.Gxx();
    const std::size_t bins = std::min(cross.size(), Real.size());
    // A bin whose reference holds no more than rounding has no H, whatever its coherence says.
    const double empty = EmptyBin * *std::max_element(reference.begin(), reference.begin() + bins);
    for (std::size_t k = 0; k < bins; ++k) {
        const double coherence = reference[k] > empty ? estimate.Coherence(k) : 0.0;
        const std::complex<double> h =
            reference[k] > empty
                ? cross[k] / reference[k] *
                      std::polar(coherence, 2 * std::numbers::pi * double(k) * BinHz * takenOff)
                : std::complex<double>();
        Real[k] = h.real();
        Imaginary[k] = h.imag();
        Coherence[k] = coherence;
    }
    for (std::vector<double>* values : {&Real, &Imaginary, &Coherence}) {
        Smoothing.Smooth(*values, Smoothed, smoothing);
        values->swap(Smoothed);
    }
    const std::size_t points = Frequency.size();
    curves.Frequency.assign(Frequency.begin(), Frequency.end());
    curves.MagnitudeDb.resize(points);
    curves.PhaseDegrees.resize(points);
    curves.Coherence.resize(points);
    for (std::size_t i = 0; i < points; ++i) {
        const double f = Frequency[i], weight = ValueAt(Coherence, BinHz, f);
        std::complex<double> h;
        if (weight > 0)
            h = std::complex<double>(ValueAt(Real, BinHz, f), ValueAt(Imaginary, BinHz, f)) / weight *
                std::polar(1.0, -2 * std::numbers::pi * f * putBack);
        curves.MagnitudeDb[i] = 20 * std::log10(std::max(std::abs(h), MagnitudeFloor));
        curves.PhaseDegrees[i] = std::abs(h) > 0 ? std::arg(h) * Degrees : 0.0;
        if (curves.PhaseDegrees[i] <= -180)
            curves.PhaseDegrees[i] += 360;
        curves.Coherence[i] = std::clamp(weight, 0.0, 1.0);
    }
}

std::vector<double> PeriodicPinkNoise(std::size_t size, double frameRate, std::uint32_t seed)
{
    TRealFft transform(size);
    std::vector<std::complex<double>> spectrum(transform.Bins());
    std::uint32_t state = seed ? seed : 1u;
    const auto uniform = [&state] { // xorshift, 0 .. 1
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 4294967296.0;
    };
    const double binHz = frameRate / double(size);
    for (std::size_t k = 1; k + 1 < spectrum.size(); ++k) {
        const double f = double(k) * binHz;
        const double power = f >= PinkCorner ? PinkCorner / f : f / PinkCorner;
        spectrum[k] = std::polar(std::sqrt(power), 2 * std::numbers::pi * uniform());
    }
    std::vector<double> period(size);
    transform.Inverse(spectrum, period);
    double energy = 0;
    for (const double x : period)
        energy += x * x;
    const double scale = energy > 0 ? std::sqrt(double(size) / energy) : 0.0;
    for (double& x : period)
        x *= scale;
    return period;
}
