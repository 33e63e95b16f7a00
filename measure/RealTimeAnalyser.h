// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/FftAnalyser.h"
#include "analysis/OctaveFilterBank.h"
#include "analysis/SecondOrderSections.h"
#include "measure/FrequencyWeighting.h"

#include <QString>
#include <array>
#include <memory>
#include <vector>

// What the spectrum analyser measures and how.
struct TSpectrumSettings
{
    int BandsPerOctave = 3;     // 1, 3, 6, 12 or 24
    std::size_t FftSize = 8192; // 1024 .. 65536, a power of two
    TFftAnalyser::TWindow Window = TFftAnalyser::TWindow::FlatTop;
    TFftAnalyser::TAveraging Averaging = TFftAnalyser::TAveraging::Exponential;
    TFrequencyWeighting Weighting = TFrequencyWeighting::Z;
    double TimeConstant =
        0.125; // s: the bands' time weighting (F 0.125, S 1) and the FFT's exponential average

    bool operator==(const TSpectrumSettings&) const = default;
};

// One band of both channels as the read-outs show levels: dB with the meter's reference, offset and
// the channel's calibration. Level is the time-weighted level now, Leq and Lmax run since Reset.
struct TBandReading
{
    double Nominal = 0, Midband = 0; // Hz
    std::array<double, 2> Level{}, Leq{}, Lmax{};
};

// The FFT spectrum of both channels in dB (per bin, or per hertz as a density), with the peak hold.
struct TSpectrumReading
{
    std::vector<double> Frequency; // Hz, bin 1 on: the bin at 0 Hz shows nothing on a logarithmic axis
    std::array<std::vector<double>, 2> Level, Peak;
};

// The spectrum analyser's engine: input blocks of both channels, weighted with the meter's A or C
// filters (at the full frame rate, before anything else), through the fractional-octave filter bank
// and into a history from which the FFT spectrum is taken. Block analysis allocates nothing; live
// (the window), it does no transform either: the transform runs when UpdateSpectrum is asked for it by
// the drawing timer. A measurement over a stretch of the stream (CountFrom: the command line) counts
// only once the filters have settled, and takes its spectrum frames within the block analysis, every
// half frame exactly, whatever the blocks' sizes; the live bands (CountBandsOnceSettled: the window)
// likewise count their Leq and Lmax only once the filters have settled.
class TRealTimeAnalyser
{
public:
    TRealTimeAnalyser(int frameRate, const TSpectrumSettings& settings);
    TRealTimeAnalyser(const TRealTimeAnalyser&) = delete;
    TRealTimeAnalyser& operator=(const TRealTimeAnalyser&) = delete;

    int FrameRate() const { return Rate; }
    const TSpectrumSettings& Settings() const { return Chosen; }
    // The time constant and the FFT's averaging change in place; anything else needs a new engine.
    void SetTimeConstant(double seconds);
    void SetAveraging(TFftAnalyser::TAveraging averaging);

    // Stereo float frames, as the input delivers them (full scale 1.0, taken in FullScaleUnits).
    void AnalyseBlock(const float* samples, int frames);
    // A transform of the newest FftSize frames of each channel, folded into the averages and the peak
    // holds; false, and nothing done, until that many frames have come.
    bool UpdateSpectrum();
    // The band's Leq and Lmax, the spectrum's averages and peak holds start again.
    void Reset();

    // How long the weighting and band filters take, from a signal's first frame, until their start-up
    // from rest has decayed far below anything a band reads (SettleDecayDb), s.
    static constexpr double SettleDecayDb = 100;
    double SettleSeconds() const;
    // Counts the `frames` frames from frame `start` of the stream (frames since construction) alone:
    // Reset there, a spectrum frame ending at every half frame from then on (the first one once a
    // whole frame has come), nothing analysed after them. The filters run on every frame before, and
    // SecondsSinceReset stays 0 until the stretch starts.
    void CountFrom(long long start, long long frames);
    // Live: the bands' Leq and Lmax count from the frame at which the filters have settled on, with
    // no end; a Reset before then still waits for it. Nothing changes for the FFT spectrum, whose
    // frames UpdateSpectrum takes.
    void CountBandsOnceSettled();
    long long FramesAnalysed() const { return FramesSeen; }

    double SecondsSinceReset() const { return double(FramesSinceReset) / Rate; }
    long long SpectrumFrames() const { return Spectra[0]->Frames(); }
    const TOctaveFilterBank& Bank() const { return *Bands; } // with bands only

    // calibration: dB added to each channel's levels (the sound-pressure recording's offsets). No
    // bands, no readings.
    std::vector<TBandReading> BandReadings(const std::array<double, 2>& calibration) const;
    // density: dB/Hz rather than the level a sine would show in its bin. With mostPoints, bins are
    // gathered on a logarithmic frequency scale into that many points at most, each the loudest bin of
    // its share (a picture needs no more points than it has pixels; every bin is kept where they are
    // fewer); with 0 every bin is a point.
    TSpectrumReading SpectrumReading(const std::array<double, 2>& calibration, bool density,
                                     std::size_t mostPoints = 0) const;

private:
    void Weight(std::span<TStereo> frames);
    void Analyse(const float* samples, int frames);

    int Rate;
    TSpectrumSettings Chosen;
    std::vector<TSecondOrderSection> Weighting;
    std::vector<TSecondOrderState> WeightingStates;
    std::unique_ptr<TOctaveFilterBank> Bands;
    std::array<std::unique_ptr<TFftAnalyser>, 2> Spectra;
    std::vector<TStereo> Chunk;   // the block, converted and weighted, a part at a time
    std::vector<TStereo> History; // the newest FftSize frames, a ring
    std::size_t Newest = 0;       // where the next frame goes
    long long FramesSeen = 0, FramesSinceReset = 0, FramesAtLastSpectrum = 0;
    // A counted stretch: its first frame and the one after it, and where the next spectrum frame ends;
    // -1: none.
    long long CountStart = -1, CountEnd = -1, NextSpectrum = -1;
    std::array<std::vector<double>, 2> Frame; // one channel's frame for the transform
};

// "1/3 oktawy", "FFT 8192, okno Hann", ... for headers, captions and files.
QString BandsText(int bandsPerOctave);
QString WindowText(TFftAnalyser::TWindow window);
QString AveragingText(TFftAnalyser::TAveraging averaging);
QString TimeWeightingLetter(double timeConstant); // "F", "S"
