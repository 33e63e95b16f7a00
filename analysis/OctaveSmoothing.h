// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <vector>

// Fractional-octave smoothing of a quantity given on the bins of a transform (bin k at k * binHz Hz):
// each bin becomes the plain mean over the bins within half a 1/fraction octave on either side of it
// (at least the bin itself). Smooth power, not decibels, for a magnitude. fraction 0 copies the input.
// The constructor allocates; Smooth allocates nothing.
class TOctaveSmoothing
{
public:
    static constexpr int Finest = 48;

    explicit TOctaveSmoothing(std::size_t bins);

    std::size_t Bins() const { return Sums.size() - 1; }
    // input and output: Bins() values; fraction 0 or 1 .. Finest.
    void Smooth(std::span<const double> input, std::span<double> output, int fraction);

private:
    std::vector<double> Sums; // running sums, Sums[k] = input[0] + .. + input[k - 1]
};
