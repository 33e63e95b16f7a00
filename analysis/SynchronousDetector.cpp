// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SynchronousDetector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr double HighestFraction = 0.49;   // of the frame rate: a harmonic fitted must lie below it
constexpr std::size_t AnchorFrames = 1024; // the oscillator is set afresh this often
constexpr std::size_t SmallestTransform = 1024;

// sum over n = 0 .. count - 1 of e^(i (step n + phase)), in closed form.
std::complex<double> PhasorSum(double step, double phase, std::size_t count)
{
    const double n = static_cast<double>(count);
    const double half = step / 2;
    const double s = std::sin(half);
    // sin(n x) / sin(x), and its limit n cos(n x) / cos(x) where sin(x) vanishes.
    const double ratio =
        std::abs(s) > 1e-9 ? std::sin(n * half) / s : n * std::cos(n * half) / std::cos(half);
    return std::polar(ratio, phase + half * (n - 1));
}

} // namespace

TSynchronousDetector::TSynchronousDetector(double frameRate, std::size_t longestWindow, int highestHarmonic,
                                           double bandLowHz, double bandHighHz)
    : Rate(frameRate > 0 ? frameRate : 48000.0), Highest(std::clamp(highestHarmonic, 1, MostHarmonics)),
      BandLow(bandLowHz), BandHigh(bandHighHz), Samples(std::max<std::size_t>(longestWindow, 2)),
      Work(std::bit_ceil(std::max(Samples.size(), SmallestTransform)))
{
    Spectrum.resize(Work.size() / 2 + 1);
    for (std::size_t size = SmallestTransform; size <= Work.size(); size *= 2)
        Transforms.push_back(std::make_unique<TRealFft>(size));
}

TSynchronousDetector::~TSynchronousDetector() = default;

void TSynchronousDetector::Begin(double step, double phase)
{
    Step = step;
    Phase = phase;
    Count = 0;
    Result = TResult{};
}

void TSynchronousDetector::Add(std::span<const float> samples, std::size_t stride)
{
    stride = std::max<std::size_t>(stride, 1);
    double peak = Result.Peak;
    for (std::size_t i = 0; i < samples.size() && Count < Samples.size(); i += stride) {
        const double sample = samples[i];
        peak = std::max(peak, std::abs(sample));
        Samples[Count++] = sample;
    }
    Result.Peak = peak;
}

const TSynchronousDetector::TResult& TSynchronousDetector::Finish()
{
    const double peak = Result.Peak;
    Result = TResult{};
    Result.Peak = peak;
    Result.Frames = Count;
    // The harmonics that lie below the highest fraction of the frame rate.
    const double frequency = std::abs(Step) / (2 * std::numbers::pi) * Rate;
    Fitted = 0;
    while (Fitted < Highest && (Fitted + 1) * frequency < HighestFraction * Rate)
        ++Fitted;
    const int terms = 1 + 2 * Fitted;
    if (Fitted == 0 || Count < static_cast<std::size_t>(terms) + 2 || !Fit(0, Count))
        return Result;
    for (int k = 1; k <= Fitted; ++k) {
        THarmonic& harmonic = Result.Harmonics[static_cast<std::size_t>(k)];
        harmonic.Measured = true;
        harmonic.Phasor = {Solution[static_cast<std::size_t>(2 * k)],
                           Solution[static_cast<std::size_t>(2 * k - 1)]};
    }
    Result.Offset = Solution[0];
    double explained = 0;
    for (int i = 0; i < terms; ++i)
        explained += Solution[static_cast<std::size_t>(i)] * Projection[static_cast<std::size_t>(i)];
    const double residual = std::max(SumOfSquares - explained, 0.0);
    const double n = static_cast<double>(Count);
    Result.NoiseRms = std::sqrt(residual / (n - terms));
    Result.AmplitudeError = Result.NoiseRms * std::sqrt(2 / n);
    const double fundamental = Result.Harmonics[1].Amplitude();
    if (fundamental > 0) {
        double harmonics = 0;
        for (int k = 2; k <= Fitted; ++k)
            harmonics += std::norm(Result.Harmonics[static_cast<std::size_t>(k)].Phasor);
        Result.ThdMeasured = Fitted >= 2;
        Result.Thd = std::sqrt(harmonics) / fundamental;
        MeasureDistortion();
    }
    FitHalves();
    return Result;
}

bool TSynchronousDetector::Fit(std::size_t first, std::size_t count)
{
    Correlate(first, count);
    return Solve(1 + 2 * Fitted, count);
}

// Each half fitted alone, the full fit's results kept. A half too short for the fit stays unfitted.
void TSynchronousDetector::FitHalves()
{
    const std::size_t half = Count / 2;
    const int terms = 1 + 2 * Fitted;
    if (half < static_cast<std::size_t>(terms) + 2)
        return;
    for (std::size_t h = 0; h < 2; ++h) {
        const std::size_t first = h * half, count = h == 0 ? half : Count - half;
        if (!Fit(first, count))
            return;
        double explained = 0;
        for (int i = 0; i < terms; ++i)
            explained += Solution[static_cast<std::size_t>(i)] * Projection[static_cast<std::size_t>(i)];
        const double n = static_cast<double>(count);
        const double noise = std::sqrt(std::max(SumOfSquares - explained, 0.0) / (n - terms));
        Result.Halves[h] = {Solution[2], Solution[1]};
        Result.HalfErrors[h] = std::max(noise * std::sqrt(2 / n), std::numeric_limits<double>::min());
    }
}

// The projections of the samples on the basis, and the basis' own products in closed form.
void TSynchronousDetector::Correlate(std::size_t first, std::size_t count)
{
    std::array<std::complex<double>, MostHarmonics + 1> sums{};
    double sum = 0, squares = 0;
    const std::complex<double> rotation = std::polar(1.0, Step);
    const double phase = Step * static_cast<double>(first) + Phase; // at the range's first frame
    std::complex<double> z;
    for (std::size_t n = 0; n < count; ++n) {
        if (n % AnchorFrames == 0)
            z = std::polar(1.0, Step * static_cast<double>(n) + phase);
        const double y = Samples[first + n];
        sum += y;
        squares += y * y;
        std::complex<double> w = z;
        for (int k = 1; k <= Fitted; ++k) {
            sums[static_cast<std::size_t>(k)] += y * w;
            w *= z;
        }
        z *= rotation;
    }
    SumOfSquares = squares;

    // S(m) = sum of e^(i m theta_n), m = 0 .. 2K; S(-m) is its conjugate.
    std::array<std::complex<double>, 2 * MostHarmonics + 1> s{};
    for (int m = 0; m <= 2 * Fitted; ++m)
        s[static_cast<std::size_t>(m)] = PhasorSum(m * Step, m * phase, count);
    const auto S = [&](int m) {
        return m >= 0 ? s[static_cast<std::size_t>(m)] : std::conj(s[static_cast<std::size_t>(-m)]);
    };
    const int terms = 1 + 2 * Fitted;
    const auto g = [&](int row, int column) -> double& {
        return Gram[static_cast<std::size_t>(row * terms + column)];
    };
    g(0, 0) = static_cast<double>(count);
    Projection[0] = sum;
    for (int k = 1; k <= Fitted; ++k) {
        const int c = 2 * k - 1, si = 2 * k; // cos k theta, sin k theta
        Projection[static_cast<std::size_t>(c)] = sums[static_cast<std::size_t>(k)].real();
        Projection[static_cast<std::size_t>(si)] = sums[static_cast<std::size_t>(k)].imag();
        g(0, c) = g(c, 0) = S(k).real();
        g(0, si) = g(si, 0) = S(k).imag();
        for (int l = 1; l <= Fitted; ++l) {
            const int lc = 2 * l - 1, ls = 2 * l;
            g(c, lc) = 0.5 * (S(k - l).real() + S(k + l).real());
            g(si, ls) = 0.5 * (S(k - l).real() - S(k + l).real());
            g(c, ls) = 0.5 * (S(k + l).imag() + S(l - k).imag()); // cos k sin l
            g(ls, c) = g(c, ls);
        }
    }
}

// Cholesky factorisation of the Gram matrix, then the two triangular solutions.
bool TSynchronousDetector::Solve(int size, std::size_t count)
{
    const auto g = [&](int row, int column) -> double& {
        return Gram[static_cast<std::size_t>(row * size + column)];
    };
    for (int j = 0; j < size; ++j) {
        double diagonal = g(j, j);
        for (int k = 0; k < j; ++k)
            diagonal -= g(j, k) * g(j, k);
        if (!(diagonal > 1e-9 * static_cast<double>(count)))
            return false;
        g(j, j) = std::sqrt(diagonal);
        for (int i = j + 1; i < size; ++i) {
            double value = g(i, j);
            for (int k = 0; k < j; ++k)
                value -= g(i, k) * g(j, k);
            g(i, j) = value / g(j, j);
        }
    }
    for (int i = 0; i < size; ++i) {
        double value = Projection[static_cast<std::size_t>(i)];
        for (int k = 0; k < i; ++k)
            value -= g(i, k) * Solution[static_cast<std::size_t>(k)];
        Solution[static_cast<std::size_t>(i)] = value / g(i, i);
    }
    for (int i = size - 1; i >= 0; --i) {
        double value = Solution[static_cast<std::size_t>(i)];
        for (int k = i + 1; k < size; ++k)
            value -= g(k, i) * Solution[static_cast<std::size_t>(k)];
        Solution[static_cast<std::size_t>(i)] = value / g(i, i);
    }
    return true;
}

// THD+N: the residual without the constant and the fundamental, Hann-windowed, its power in the band.
void TSynchronousDetector::MeasureDistortion()
{
    const std::complex<double> fundamental = Result.Harmonics[1].Phasor;
    const double n = static_cast<double>(Count);
    double windowSquares = 0;
    for (std::size_t i = 0; i < Count; ++i) {
        const double theta = Step * static_cast<double>(i) + Phase;
        const double fit =
            Result.Offset + fundamental.real() * std::sin(theta) + fundamental.imag() * std::cos(theta);
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / n);
        Work[i] = (Samples[i] - fit) * w;
        windowSquares += w * w;
    }
    TRealFft* transform = Transforms.back().get();
    for (const auto& candidate : Transforms)
        if (candidate->Size() >= Count) {
            transform = candidate.get();
            break;
        }
    const std::size_t size = transform->Size();
    transform->Forward(std::span<const double>(Work).first(Count),
                       std::span(Spectrum).first(transform->Bins()));
    const double binHz = Rate / static_cast<double>(size);
    const auto first = static_cast<std::size_t>(std::max(1.0, std::ceil(BandLow / binHz)));
    const auto last = static_cast<std::size_t>(
        std::min(static_cast<double>(size / 2 - 1), std::floor(std::min(BandHigh, Rate / 2) / binHz)));
    double power = 0;
    for (std::size_t k = first; k <= last; ++k)
        power += std::norm(Spectrum[k]);
    power *= 2 / (static_cast<double>(size) * windowSquares);
    Result.ThdN = std::sqrt(power) / (std::abs(fundamental) / std::numbers::sqrt2);
}
