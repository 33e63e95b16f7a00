// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/OctaveSmoothing.h"

#include <algorithm>
#include <cmath>

TOctaveSmoothing::TOctaveSmoothing(std::size_t bins) : Sums(bins + 1) {}

void TOctaveSmoothing::Smooth(std::span<const double> input, std::span<double> output, int fraction)
{
    const std::size_t bins = std::min({Bins(), input.size(), output.size()});
    if (fraction <= 0) {
        std::copy_n(input.begin(), bins, output.begin());
        return;
    }
    Sums[0] = 0;
    for (std::size_t k = 0; k < bins; ++k)
        Sums[k + 1] = Sums[k] + input[k];
    const double half = std::exp2(0.5 / std::min(fraction, Finest));
    for (std::size_t k = 0; k < bins; ++k) {
        const double centre = static_cast<double>(k);
        const auto low = std::min(k, static_cast<std::size_t>(std::ceil(centre / half)));
        const auto high = std::clamp(static_cast<std::size_t>(std::floor(centre * half)), k, bins - 1);
        output[k] = (Sums[high + 1] - Sums[low]) / static_cast<double>(high + 1 - low);
    }
}
