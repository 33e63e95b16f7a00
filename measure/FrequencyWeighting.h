// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

// The frequency weighting of the meter, in the order of the options dialog's items.
enum class TFrequencyWeighting : std::uint8_t { A = 0, C = 1, Z = 2 };

// The weighting of a stored item number; anything unknown is Z, the unweighted meter.
TFrequencyWeighting WeightingFromItem(int item);
QString WeightingLetter(TFrequencyWeighting weighting); // "A", "C", "Z"
QString LevelUnit(TFrequencyWeighting weighting);       // "dB(A)", "dB(C)", and "dB" for Z

// One second-order section, y = (B0 + B1 z^-1 + B2 z^-2) / (1 + A1 z^-1 + A2 z^-2) x.
struct TWeightingSection
{
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
};

// The A and C weightings at one frame rate as three sections. C is LowCut then HighCut, each scaled
// so that C reads 0 dB at 1 kHz; A is C followed by MidCut, scaled so that A reads 0 dB at 1 kHz.
// The shared part lets one pass give the A-weighted signal and the C-weighted peak together.
struct TWeightingDesign
{
    TWeightingSection LowCut;  // s^2 / (s + w1)^2
    TWeightingSection HighCut; // w4^2 / (s + w4)^2
    TWeightingSection MidCut;  // s^2 / ((s + w2)(s + w3))
};

TWeightingDesign DesignWeighting(int frameRate);

// The defining analog response, in dB relative to 1 kHz (0 for Z).
double AnalyticResponseDb(TFrequencyWeighting weighting, double frequency);
// The response of a design at a frame rate, in dB (0 for Z).
double DesignResponseDb(const TWeightingDesign& design, TFrequencyWeighting weighting, double frequency,
                        int frameRate);
