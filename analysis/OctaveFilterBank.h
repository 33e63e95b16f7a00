// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/FractionalOctave.h"
#include "analysis/SecondOrderSections.h"

#include <cstddef>
#include <span>
#include <vector>

// A bank of fractional-octave band filters over both channels of a stream, with each band's
// time-weighted level, its largest value and its energy mean.
//
// Conventions:
// - Bands: base-10 (analysis/FractionalOctave.h), b = 1, 3, 6, 12 or 24 bands an octave, every band whose
//   exact midband lies from 10 Hz to 20 kHz and whose upper band edge lies below half the frame rate.
// - Filters: each band a Butterworth band-pass designed by the bilinear transform with its band edges
//   prewarped, so that its response is 3 dB down at both edges; of the lowest order from 3 on whose
//   relative attenuation keeps the class 1 limits of IEC 61260-1:2014 with 0.1 dB to spare everywhere
//   below half its rate (near half the frame rate the warping widens a band, which a higher order
//   mends). A band that no order up to 8 brings within the limits is left out. The gain is exactly 1
//   at the exact midband frequency, so a sine there reads its own mean square.
// - Decimation: the stream is halved step by step, each step a Chebyshev type II low-pass (order 8,
//   85 dB from 0.35 of its input rate, under 0.0001 dB of droop below 0.15 of it) and every second
//   sample. A band runs at the lowest of these rates at which everything from its midband up to its
//   G^4 breakpoint lies below 0.3 of the rate: there the step's low-pass leaves the band untouched,
//   whatever folds back over the step's half rate lands where the band itself is 70 dB down, and all
//   else is 85 dB down before it folds. So the cost per octave of bands halves with every octave down.
// - Levels: mean squares in the input's unit squared. The time weighting is the exponential average
//   of the squared band signal, sample by sample at the band's rate, with time constant Tau: from a
//   step it reaches 1 - e^-1 of the new value after Tau seconds. Maximum is the largest time-weighted
//   value and Mean the plain energy mean, both since Reset.
class TOctaveFilterBank
{
public:
    static constexpr std::size_t ChunkFrames = 1024; // frames filtered at a time, whatever Process gets
    static constexpr double LowestMidband = 10, HighestMidband = 20000;
    static constexpr double DesignMargin = 0.1; // dB kept from every class 1 limit

    // The bands whose exact midbands lie from `lowest` to `highest` Hz (within the bank's own range).
    TOctaveFilterBank(int bandsPerOctave, double frameRate, double timeConstant,
                      double lowest = LowestMidband, double highest = HighestMidband);
    TOctaveFilterBank(const TOctaveFilterBank&) = delete;
    TOctaveFilterBank& operator=(const TOctaveFilterBank&) = delete;

    int BandsPerOctave() const { return PerOctave; }
    double FrameRate() const { return Rate; }
    int BandCount() const { return static_cast<int>(Filters.size()); }
    const FractionalOctave::TBand& Band(int band) const { return At(band).Layout; }
    int Order(int band) const { return static_cast<int>(At(band).Sections.size()); }
    double BandRate(int band) const; // frames/s at which the band runs

    void SetTimeConstant(double seconds); // from the next frame on
    // What a band's filter gives, chunk by chunk at the band's rate (BandRate), for those that keep the
    // band signals themselves rather than their levels.
    class TBandSink
    {
    public:
        virtual void Take(int band, std::span<const TStereo> samples) = 0;

    protected:
        ~TBandSink() = default;
    };

    // Frames of both channels, in order; no allocation. With a sink, every band's output goes to it too.
    void Process(std::span<const TStereo> frames, TBandSink* sink = nullptr);
    // Maximum and Mean start again; the filters and the time weighting go on.
    void Reset();
    // Everything starts again from rest, as for a new stream.
    void Restart();

    TStereo TimeWeighted(int band) const { return At(band).TimeWeighted; }
    TStereo Maximum(int band) const { return At(band).Maximum; }
    TStereo Mean(int band) const;

    // How long after the first frame of a signal the bank's filters (every band, after the decimation
    // steps before it) take until their start-up has decayed by `decayDb`, seconds: what a measurement
    // lets pass before it counts.
    double SettleSeconds(double decayDb) const;

    // The gain (dB) of the whole road to a band, decimation steps included, for a steady sine of
    // `frequency` Hz at the bank's input: what the band reads of it against its midband.
    double ResponseDb(int band, double frequency) const;

private:
    struct TBandFilter
    {
        FractionalOctave::TBand Layout;
        int Stage = 0;
        std::vector<TSecondOrderSection> Sections;
        std::vector<TSecondOrderState> States;
        double Weight = 0; // of the newest squared sample in the time weighting
        TStereo TimeWeighted{}, Maximum{}, Energy{};
        double Samples = 0; // since Reset, at the band's rate
    };
    struct TStage
    {
        double Rate = 0;
        std::vector<TSecondOrderState> AntiAlias; // the low-pass before this stage's halving
        std::vector<TStereo> Samples;             // this stage's part of the current chunk
        std::size_t Count = 0;
        bool Keep = false; // whether the next low-passed sample is kept
        std::vector<std::size_t> Bands;
    };

    const TBandFilter& At(int band) const { return Filters[static_cast<std::size_t>(band)]; }
    void Run(TBandFilter& band, std::span<const TStereo> samples, TStereo* output);
    template <std::size_t Order, bool Keep>
    void RunOrder(TBandFilter& band, std::span<const TStereo> samples, TStereo* output);
    void Halve(std::span<const TStereo> from, TStage& to);

    int PerOctave;
    double Rate;
    double Tau;
    std::vector<TSecondOrderSection> AntiAliasDesign;
    std::vector<TBandFilter> Filters;
    std::vector<TStage> Stages;
    std::vector<TStereo> Output; // a band's part of the current chunk, for a sink
};
