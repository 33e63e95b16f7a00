// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ImpulsePeak.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace {

constexpr int Reach = 32;
constexpr double Beta = 9.0;
constexpr double Tolerance = 1e-6;

// The modified Bessel function of order 0 by its power series, which converges fast for the window's
// arguments (0 .. Beta); the library's general one is many times slower here.
double BesselI0(double x)
{
    const double quarter = x * x / 4;
    double sum = 1, term = 1;
    for (int k = 1; term > 1e-17 * sum; ++k) {
        term *= quarter / (double(k) * k);
        sum += term;
    }
    return sum;
}

// The response at a fractional index, interpolated from the samples around it (taps normalised to a
// gain of 1 at 0 Hz).
double Between(std::span<const double> impulse, double at)
{
    const auto centre = static_cast<std::ptrdiff_t>(std::floor(at));
    const auto size = static_cast<std::ptrdiff_t>(impulse.size());
    double sum = 0, weights = 0;
    for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(0, centre - Reach + 1);
         i <= std::min(size - 1, centre + Reach); ++i) {
        const double t = at - static_cast<double>(i);
        const double edge = t / Reach;
        const double sinc = t == 0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        const double window = BesselI0(Beta * std::sqrt(std::max(0.0, 1 - edge * edge)));
        sum += impulse[static_cast<std::size_t>(i)] * sinc * window;
        weights += sinc * window;
    }
    return weights != 0 ? sum / weights : sum;
}

} // namespace

double ImpulsePeak(std::span<const double> impulse)
{
    if (impulse.empty())
        return 0;
    const auto largest = static_cast<std::size_t>(
        std::max_element(impulse.begin(), impulse.end(),
                         [](double a, double b) { return std::abs(a) < std::abs(b); }) -
        impulse.begin());
    const double sign = impulse[largest] < 0 ? -1 : 1;
    // Golden-section search for the largest signed value between the two neighbours.
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    double low = static_cast<double>(largest) - 1, high = static_cast<double>(largest) + 1;
    double a = high - ratio * (high - low), b = low + ratio * (high - low);
    double valueA = sign * Between(impulse, a), valueB = sign * Between(impulse, b);
    while (high - low > Tolerance) {
        if (valueA > valueB) {
            high = b;
            b = a;
            valueB = valueA;
            a = high - ratio * (high - low);
            valueA = sign * Between(impulse, a);
        } else {
            low = a;
            a = b;
            valueA = valueB;
            b = low + ratio * (high - low);
            valueB = sign * Between(impulse, b);
        }
    }
    return (low + high) / 2;
}
