// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/OctaveFilterBank.h"
#include "analysis/SecondOrderSections.h"
#include "analysis/SpeechTransmission.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

// Room acoustic figures of an impulse response, per octave or third-octave band (the class 1 bands of
// TOctaveFilterBank: octaves 63 Hz to 8 kHz, thirds 50 Hz to 10 kHz) and broadband (unweighted and A), with
// the speech transmission index (SpeechTransmission.h) from the octaves 125 Hz to 8 kHz.
//
// Conventions:
// - The response's samples are in any unit: every figure is a ratio. Times are seconds from the band's
//   start, where its squared signal first comes within 20 dB of its largest value (ISO 3382-1), so the
//   band filters' own delay does not count.
// - Energy e(n) is the squared band signal at the band's rate. The background noise is handled as
//   Lundeby et al. (1995) do: the noise's mean square from the tail, the point where the late decay
//   meets it, and the late decay's slope, found again and again until the point settles. The energy, less
//   the noise's mean square, is summed up to that point and the late decay's exponential continuation
//   beyond it is added.
// - The decay curve (backward integration) is 10 lg of the energy remaining after t over the whole, dB,
//   0 at the start. EDT, T20 and T30 are -60 / slope of the least-squares line over 0 to -10, -5 to -25
//   and -5 to -35 dB of it, s; each fit's non-linearity is xi = 1000 (1 - r^2), per mille, and the
//   curvature C = 100 (T30 / T20 - 1), % (ISO 3382-2, Annex B).
// - INR: the band's peak level (its mean square over a short window, 4 periods of the midband within
//   1 to 50 ms; 1 ms broadband) above the noise level, dB. EDT needs 20, T20 35 and T30 45 dB of it.
// - C50, C80 (dB): energy up to 50 or 80 ms over the energy after; D50: energy up to 50 ms over all, %;
//   Ts: the energy's centre of time, ms.
// - B*T: the band filter's bandwidth (between its band edges, Hz) times a reverberation figure, s. The
//   filter's own ringing lengthens a decay that is short against it: the slope of a decay is measured
//   true when B*T is at least 16 (Jacobsen, J. Sound Vib. 115, 1987; the usual criterion of room
//   measurements), and the early decay needs more. The lowest thirds of short rooms fall below it.
// - A figure that cannot be had is NaN, with the reason in its refusal.

// A band filter whose B*T is smaller than this may lengthen the decay it passes.
inline constexpr double SmallestBandwidthTime = 16;

enum class TRoomRefusal : std::uint8_t {
    None,
    NoDecay,      // the band's energy does not decay above its noise
    ShortRange,   // INR below what the figure needs
    CurveTooShort // the decay curve ends above the fit's lower end
};

struct TDecayFit
{
    static constexpr double Missing = std::numeric_limits<double>::quiet_NaN();
    double Seconds = Missing;        // the reverberation time the slope gives
    double Xi = Missing;             // per mille
    double From = 0, To = 0;         // s: the part of the decay curve fitted
    double Slope = 0, Intercept = 0; // the fitted line: dB/s, dB at 0 s
    double RangeNeeded = 0;          // dB of INR
    double BandwidthTime = Missing;  // B*T of the band and this figure; NaN broadband or refused
    TRoomRefusal Refusal = TRoomRefusal::NoDecay;
};

struct TRoomBand
{
    static constexpr double Missing = std::numeric_limits<double>::quiet_NaN();
    double Nominal = 0, Midband = 0; // Hz; 0 for a broadband result
    double Bandwidth = 0;            // Hz, of the band filter; 0 for a broadband result
    char Weighting = 'Z';            // of a broadband result
    TRoomRefusal Refusal = TRoomRefusal::NoDecay;
    double Start = 0;          // s on the response's own axis (from its first sample)
    double Inr = Missing;      // dB
    double NoiseDb = Missing;  // the noise level re the peak level, dB (-INR)
    double Crossing = Missing; // s: where the late decay meets the noise (the integration's end)
    TDecayFit Edt, T20, T30;
    double Curvature = Missing; // %
    double C50 = Missing, C80 = Missing, D50 = Missing, Ts = Missing;
    // For drawing, every CurveStep seconds from the start: the band's level re its peak (dB, all of the
    // response) and the decay curve (dB, up to the crossing point).
    double CurveStep = 0.001;
    std::vector<float> Envelope, Decay;
};

struct TRoomFigures
{
    int BandsPerOctave = 1;
    std::vector<TRoomBand> Bands;
    TRoomBand BroadbandZ, BroadbandA;
    bool StiValid = false; // false when an octave of it has no decay
    SpeechTransmission::TIndex Sti;
};

// The figures of responses of up to `longestFrames` at one frame rate. The constructor designs the band
// filters and allocates; Analyse allocates nothing.
class TRoomAcoustics
{
public:
    // aWeighting: the sections of the A weighting at the frame rate (none: no A result).
    TRoomAcoustics(int bandsPerOctave, double frameRate, std::size_t longestFrames,
                   std::span<const TSecondOrderSection> aWeighting);
    ~TRoomAcoustics();
    TRoomAcoustics(const TRoomAcoustics&) = delete;
    TRoomAcoustics& operator=(const TRoomAcoustics&) = delete;

    std::size_t LongestFrames() const { return Longest; }
    // conditions: the speech level and noise for the full index; null for the reverberation-only one.
    // A response longer than LongestFrames() is cut there.
    const TRoomFigures& Analyse(std::span<const double> response,
                                const SpeechTransmission::TConditions* conditions);

private:
    struct TBandSet;
    struct TDecay;

    void AnalyseEnergy(std::span<const double> energy, double rate, double midband, TRoomBand& band,
                       TDecay& decay);

    double Rate;
    std::size_t Longest;
    std::vector<TSecondOrderSection> AWeighting;
    std::unique_ptr<TBandSet> Table;  // the table's bands
    std::unique_ptr<TBandSet> Speech; // the octaves of the index, when the table holds thirds
    std::vector<double> Energy, Remaining;
    std::vector<TStereo> Frames;
    std::vector<double> Levels; // of Lundeby's intervals
    std::vector<double> Curve;  // the decay curve that the fits take, dB
    std::vector<TSecondOrderState> AStates;
    TRoomBand SpeechBand; // an octave of the index beside the thirds
    TRoomFigures Figures;
};
