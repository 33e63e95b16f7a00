// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <span>

// The speech transmission index by the indirect method of IEC 60268-16:2020 (edition 5): from the squared
// impulse response in the seven octaves 125 Hz to 8 kHz, male speech.
//
// Conventions:
// - The modulation transfer function of an octave is Schroeder's
//     m(F) = |sum e(n) exp(-j 2 pi F n / rate)| / sum e(n)
//   over the squared octave response e from its start on, at the 14 modulation frequencies 0.63 to
//   12.5 Hz; an exponential tail (the late decay continued past where the measurement's noise begins) is
//   summed in closed form.
// - Without the speech level and the background noise the index is the reverberation-only one: m(F)
//   as it is. With them (dB SPL at the listener: the A-weighted speech level, the noise per octave), the
//   speech's octave levels follow the male test-signal spectrum of clause A.6.1, and each m(F) is
//   multiplied by Is / (Is + In + Iam + Irt): Is the speech's and In the noise's intensity in the octave,
//   Iam the auditory masking by the octave below (its speech and noise level L gives the masking slope
//   amdB of Table A.2 and Iam = 10^(amdB/10) times that octave's intensity), Irt the absolute speech
//   reception threshold of Table A.3.
// - m is kept within 0 .. 1; the effective signal-to-noise ratio 10 lg(m / (1 - m)) is clipped to
//   +-15 dB; TI = (SNR + 15) / 30; the octave's MTI is the mean of its 14 TIs; the index is
//   sum alpha_k MTI_k - sum beta_k sqrt(MTI_k MTI_k+1) with the male weighting factors of Table A.1,
//   at most 1.
namespace SpeechTransmission {

inline constexpr int OctaveCount = 7, ModulationCount = 14;
inline constexpr std::array<double, OctaveCount> Octaves = {125, 250, 500, 1000, 2000, 4000, 8000};
inline constexpr std::array<double, ModulationCount> Modulations = {0.63, 0.8, 1.0, 1.25, 1.6, 2.0,  2.5,
                                                                    3.15, 4.0, 5.0, 6.3,  8.0, 10.0, 12.5};

using TModulations = std::array<double, ModulationCount>;
using TOctaveValues = std::array<double, OctaveCount>;

// What the full index needs beside the response: dB SPL at the listener.
struct TConditions
{
    double SpeechLevel = 60; // A-weighted
    TOctaveValues NoiseLevels{};
};

// The exponential tail that continues a squared response: from index `From` on, e(From + i) = First r^i.
struct TTail
{
    double From = 0, First = 0, Ratio = 0;
};

// m(F) of one octave: `energy` from the response's start on (index 0), at `rate` samples/s, less the
// noise's mean square `noise`, its samples up to tail.From, the tail after them.
TModulations ModulationTransfer(std::span<const double> energy, double rate, double noise, const TTail& tail);

// The speech's octave levels at an A-weighted speech level (clause A.6.1 spectrum), dB SPL.
TOctaveValues SpeechLevels(double levelA);

struct TIndex
{
    double Value = 0;
    bool Full = false; // with the speech level and noise corrections
    TOctaveValues Mti{};
    std::array<TModulations, OctaveCount> Mtf{}; // as used: corrected and within 0 .. 1
};

// The index from the reverberation's m(F) of the seven octaves; conditions null: reverberation only.
TIndex Index(const std::array<TModulations, OctaveCount>& reverberation, const TConditions* conditions);

} // namespace SpeechTransmission
