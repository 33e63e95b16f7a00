// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/FftAnalyser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

// Cosine-sum windows, w[n] = sum of (-1)^k a_k cos(2 pi k n / N), periodic (N in the denominator).
// Blackman-Harris: the four-term minimum sidelobe window (-92 dB). Flat-top: the five-term window
// whose passband is flat to 0.01 dB over a bin, so a sine reads its level wherever it lies.
std::span<const double> Coefficients(TFftAnalyser::TWindow window)
{
    static constexpr std::array<double, 2> Hann{0.5, 0.5};
    static constexpr std::array<double, 4> BlackmanHarris{0.35875, 0.48829, 0.14128, 0.01168};
    static constexpr std::array<double, 5> FlatTop{0.21557895, 0.41663158, 0.277263158, 0.083578947,
                                                   0.006947368};
    switch (window) {
    case TFftAnalyser::TWindow::Hann:
        return Hann;
    case TFftAnalyser::TWindow::BlackmanHarris:
        return BlackmanHarris;
    case TFftAnalyser::TWindow::FlatTop:
        break;
    }
    return FlatTop;
}

} // namespace

TFftAnalyser::TFftAnalyser(std::size_t size, TWindow window)
    : Transform(size), Window(size), Windowed(size), Spectrum(Transform.Bins()), Average(Transform.Bins()),
      Peak(Transform.Bins())
{
    if (size < 4 || (size & (size - 1)) != 0)
        throw std::invalid_argument("TFftAnalyser: size not a power of two");
    const std::span<const double> a = Coefficients(window);
    for (std::size_t n = 0; n < size; ++n) {
        double w = 0;
        for (std::size_t k = 0; k < a.size(); ++k)
            w += (k % 2 == 0 ? 1 : -1) * a[k] * std::cos(2 * std::numbers::pi * double(k * n) / double(size));
        Window[n] = w;
        Coherent += w;
        Energy += w * w;
    }
}

double TFftAnalyser::NoiseBandwidth(double frameRate) const
{
    return frameRate * Energy / (Coherent * Coherent);
}

void TFftAnalyser::SetAveraging(TAveraging averaging, double weight)
{
    Averaging = averaging;
    Weight = std::clamp(weight, 0.0, 1.0);
}

void TFftAnalyser::Reset()
{
    Count = 0;
    std::fill(Average.begin(), Average.end(), 0.0);
    std::fill(Peak.begin(), Peak.end(), 0.0);
}

void TFftAnalyser::Add(std::span<const double> frame)
{
    const std::size_t size = Size();
    for (std::size_t n = 0; n < size; ++n)
        Windowed[n] = n < frame.size() ? frame[n] * Window[n] : 0;
    Transform.Forward(Windowed, Spectrum);
    // |X[k]| = A Coherent / 2 for a sine of amplitude A on bin k; A^2 / 2 = 2 |X|^2 / Coherent^2. The
    // bins at 0 and at half the rate have no mirror image to add.
    const double scale = 2 / (Coherent * Coherent);
    ++Count;
    const double weight = Averaging == TAveraging::Linear ? 1.0 / static_cast<double>(Count)
                          : Averaging == TAveraging::Exponential && Count > 1 ? Weight
                                                                              : 1.0;
    for (std::size_t k = 0; k < Spectrum.size(); ++k) {
        const double power = std::norm(Spectrum[k]) * (k == 0 || k == size / 2 ? scale / 2 : scale);
        Average[k] += weight * (power - Average[k]);
        Peak[k] = std::max(Peak[k], power);
    }
}
