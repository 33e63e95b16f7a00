// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/FractionalOctave.h"

#include <array>
#include <cmath>
#include <limits>

namespace FractionalOctave {

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();
// Exact values on the limits of a range (10 Hz for 1/3 octave, say) count as inside.
constexpr double RangeSlack = 1e-9;

// IEC 61260-1:2014, clause 5.10, Table 1: the class 1 acceptance limits on the relative attenuation
// of an octave-band filter at Omega = G^e, for e >= 0 (the same holds at G^-e). At e = 1/2 the
// maximum is that of the passband side (G^(1/2) approached from below) and the minimum that of the
// stopband side (approached from above).
struct TTableRow
{
    double Exponent;
    TLimits Limits;
};
constexpr std::array<TTableRow, 9> ClassOneTable{{
    {0.0, {-0.4, 0.4}},
    {1.0 / 8, {-0.4, 0.5}},
    {1.0 / 4, {-0.4, 0.7}},
    {3.0 / 8, {-0.4, 1.4}},
    {1.0 / 2, {1.2, 5.3}},
    {1.0, {16.6, Infinity}},
    {2.0, {40.5, Infinity}},
    {3.0, {60.0, Infinity}},
    {4.0, {70.0, Infinity}},
}};
constexpr std::size_t EdgeRow = 4;
// Just inside the band edge the minimum is still the passband's; just outside the maximum is none.
constexpr double PassbandMinimum = -0.4;

// The octave preferred numbers of one decade of 1/3-octave midbands (the R10 series).
constexpr std::array<double, 10> ThirdOctaveNumbers{1.0, 1.25, 1.6, 2.0, 2.5, 3.15, 4.0, 5.0, 6.3, 8.0};

double Exponent(int bandsPerOctave, int index)
{
    const int odd = bandsPerOctave % 2 == 0 ? 1 : 0;
    return static_cast<double>(2 * index + odd) / (2.0 * bandsPerOctave);
}

// The third-octave preferred number of band n of 1/3 octave (n = 0: 1000 Hz).
double PreferredThird(int n)
{
    const int decade = n >= 0 ? n / 10 : -((-n + 9) / 10);
    return ThirdOctaveNumbers[static_cast<std::size_t>(n - 10 * decade)] * std::pow(10.0, decade + 3);
}

double ThreeSignificantDigits(double value)
{
    const double scale = std::pow(10.0, std::floor(std::log10(value)) - 2);
    return std::round(value / scale) * scale;
}

double MappedOmega(int bandsPerOctave, double octaveExponent)
{
    const double g = OctaveRatio();
    const double factor = (std::pow(g, 1.0 / (2 * bandsPerOctave)) - 1) / (std::sqrt(g) - 1);
    return 1 + factor * (std::pow(g, octaveExponent) - 1);
}

// Straight lines on a logarithmic frequency scale: the share of the way from a to b at x.
double Between(double a, double b, double x)
{
    return std::log(x / a) / std::log(b / a);
}

} // namespace

double OctaveRatio()
{
    return std::pow(10.0, 0.3);
}

TBand Band(int bandsPerOctave, int index)
{
    TBand band;
    band.Index = index;
    band.Midband = ReferenceFrequency * std::pow(OctaveRatio(), Exponent(bandsPerOctave, index));
    const double half = std::pow(OctaveRatio(), 1.0 / (2 * bandsPerOctave));
    band.Lower = band.Midband / half;
    band.Upper = band.Midband * half;
    if (bandsPerOctave == 1 || bandsPerOctave == 3)
        band.Nominal = PreferredThird(index * (3 / bandsPerOctave));
    else
        band.Nominal = ThreeSignificantDigits(band.Midband);
    return band;
}

std::vector<TBand> Bands(int bandsPerOctave, double lowest, double highest)
{
    // x from the exponent: log_G(f / 1000) b, less the even bands' half step.
    const double perBand = std::log(OctaveRatio()) / bandsPerOctave;
    const double shift = bandsPerOctave % 2 == 0 ? 0.5 : 0.0;
    const int first =
        static_cast<int>(std::ceil(std::log(lowest / ReferenceFrequency) / perBand - shift - RangeSlack));
    const int last =
        static_cast<int>(std::floor(std::log(highest / ReferenceFrequency) / perBand - shift + RangeSlack));
    std::vector<TBand> bands;
    for (int index = first; index <= last; ++index)
        bands.push_back(Band(bandsPerOctave, index));
    return bands;
}

std::vector<TBreakpoint> ClassOneBreakpoints(int bandsPerOctave)
{
    std::vector<TBreakpoint> points;
    for (std::size_t row = ClassOneTable.size(); row-- > 1;)
        points.push_back({-ClassOneTable[row].Exponent,
                          1 / MappedOmega(bandsPerOctave, ClassOneTable[row].Exponent),
                          ClassOneTable[row].Limits});
    for (const TTableRow& row : ClassOneTable)
        points.push_back({row.Exponent, MappedOmega(bandsPerOctave, row.Exponent), row.Limits});
    return points;
}

TLimits ClassOneLimits(int bandsPerOctave, double omega)
{
    const double above = omega >= 1 ? omega : 1 / omega; // the limits are the same at 1 / Omega
    std::size_t row = 0;
    while (row + 1 < ClassOneTable.size() &&
           MappedOmega(bandsPerOctave, ClassOneTable[row + 1].Exponent) <= above)
        ++row;
    const double from = MappedOmega(bandsPerOctave, ClassOneTable[row].Exponent);
    if (row + 1 == ClassOneTable.size() || above == from)
        return ClassOneTable[row].Limits;
    const double to = MappedOmega(bandsPerOctave, ClassOneTable[row + 1].Exponent);
    const double share = Between(from, to, above);
    TLimits here = ClassOneTable[row].Limits, next = ClassOneTable[row + 1].Limits;
    if (row + 1 == EdgeRow)
        next.Minimum = PassbandMinimum; // approaching the edge from inside
    if (row >= EdgeRow)
        return {here.Minimum + share * (next.Minimum - here.Minimum), Infinity};
    return {here.Minimum + share * (next.Minimum - here.Minimum),
            here.Maximum + share * (next.Maximum - here.Maximum)};
}

} // namespace FractionalOctave
