// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

// Fractional-octave bands with base-10 midbands and the class 1 acceptance limits of a band filter's
// relative attenuation, after IEC 61260-1:2014.
//
// Conventions: b bands an octave (1, 3, 6, 12, 24); the octave frequency ratio is G = 10^(3/10) and
// the reference frequency 1000 Hz. Band x (an integer, 0 at or just above 1 kHz) has the exact
// midband fm = 1000 G^(x/b) for odd b and 1000 G^((2x + 1) / (2b)) for even b, and the band edges
// fm G^(-1/(2b)) and fm G^(1/(2b)). Frequencies are in Hz; the relative attenuation is in dB,
// positive where the filter passes less than at its midband.
namespace FractionalOctave {

inline constexpr double ReferenceFrequency = 1000;
double OctaveRatio(); // G = 10^(3/10)

struct TBand
{
    int Index = 0;               // x
    double Midband = 0;          // exact
    double Nominal = 0;          // what a label shows: the preferred numbers of 1/1 and 1/3 octave (31.5, 63,
                                 // 125...), the exact midband to three significant digits otherwise
    double Lower = 0, Upper = 0; // band edges
};

TBand Band(int bandsPerOctave, int index);
// The bands whose exact midbands lie from `lowest` to `highest`, in ascending order.
std::vector<TBand> Bands(int bandsPerOctave, double lowest, double highest);

// The acceptance limits at one normalised frequency Omega = f / fm. No maximum is +infinity.
struct TLimits
{
    double Minimum = 0, Maximum = 0;
};

// A breakpoint of the limits. Clause 5.10, Table 1 (class 1) gives them for octave bands at
// Omega = G^e, e = 0, 1/8, 1/4, 3/8, 1/2, 1, 2, 3, 4, and at the reciprocals; a 1/b-octave filter has
// them at the same relative distance from its band edge (clause 5.10):
// Omega_b = 1 + (G^(1/(2b)) - 1) / (G^(1/2) - 1) (G^e - 1) above the midband, 1 / Omega_b below it.
// At the band edges Table 1 holds a maximum for the passband side and a minimum for the stopband
// side; one breakpoint carries both.
struct TBreakpoint
{
    double Exponent = 0; // e, negative below the midband
    double Omega = 0;
    TLimits Limits;
};

// The 17 breakpoints of the class 1 limits, lowest Omega first.
std::vector<TBreakpoint> ClassOneBreakpoints(int bandsPerOctave);
// The limits at any Omega: between two breakpoints the program holds a filter to the straight line
// joining them on a logarithmic frequency scale, and beyond G^4 to the 70 dB of G^4.
TLimits ClassOneLimits(int bandsPerOctave, double omega);

} // namespace FractionalOctave
