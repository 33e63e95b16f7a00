// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/RealTimeAnalyser.h"

#include "measure/LevelMeter.h"
#include "measure/MeasurementState.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

static_assert(std::endian::native == std::endian::little, "blocks hold little-endian samples");

namespace {

constexpr std::size_t ChunkFrames = TOctaveFilterBank::ChunkFrames;

TSecondOrderSection Section(const TWeightingSection& section)
{
    return {section.B0, section.B1, section.B2, section.A1, section.A2};
}

// The meter's level of a mean square, in double precision: tens of thousands of bins a picture make
// the extended precision of the read-outs too slow here, and a picture needs no more.
double Level(double meanSquare, double calibration)
{
    if (!(meanSquare > 0))
        return TLevelMeter::SilenceLevel;
    return std::max(10 * std::log10(meanSquare / double(FullScaleSquare)) + LevelOffsetDb + calibration,
                    TLevelMeter::SilenceLevel);
}

} // namespace

TRealTimeAnalyser::TRealTimeAnalyser(int frameRate, const TSpectrumSettings& settings)
    : Rate(frameRate), Chosen(settings), Chunk(ChunkFrames), History(settings.FftSize)
{
    if (settings.BandsPerOctave > 0)
        Bands =
            std::make_unique<TOctaveFilterBank>(settings.BandsPerOctave, frameRate, settings.TimeConstant);
    // The meter's own weighting filters; below the rate they are built for the meter measures
    // unweighted, and so does the analyser.
    if (settings.Weighting != TFrequencyWeighting::Z && frameRate >= TLevelMeter::MinimumWeightedRate) {
        const TWeightingDesign design = DesignWeighting(frameRate);
        Weighting = {Section(design.LowCut), Section(design.HighCut)};
        if (settings.Weighting == TFrequencyWeighting::A)
            Weighting.push_back(Section(design.MidCut));
        WeightingStates.resize(Weighting.size());
    }
    for (std::size_t channel = 0; channel < Spectra.size(); ++channel) {
        Spectra[channel] = std::make_unique<TFftAnalyser>(settings.FftSize, settings.Window);
        Frame[channel].resize(settings.FftSize);
    }
    SetAveraging(settings.Averaging);
}

void TRealTimeAnalyser::SetTimeConstant(double seconds)
{
    Chosen.TimeConstant = seconds;
    if (Bands)
        Bands->SetTimeConstant(seconds);
}

void TRealTimeAnalyser::SetAveraging(TFftAnalyser::TAveraging averaging)
{
    Chosen.Averaging = averaging;
    for (const auto& spectrum : Spectra)
        spectrum->SetAveraging(averaging);
}

double TRealTimeAnalyser::SettleSeconds() const
{
    return ::SettleSeconds(Weighting, Rate, SettleDecayDb) +
           (Bands ? Bands->SettleSeconds(SettleDecayDb) : 0.0);
}

void TRealTimeAnalyser::CountFrom(long long start, long long frames)
{
    CountStart = std::max(start, FramesSeen);
    CountEnd = CountStart + std::max(frames, 0LL);
    FramesSinceReset = 0;
    // Bands take no spectrum.
    NextSpectrum =
        Bands ? std::numeric_limits<long long>::max() : CountStart + static_cast<long long>(History.size());
    if (CountStart == FramesSeen)
        Reset();
}

void TRealTimeAnalyser::CountBandsOnceSettled()
{
    if (Bands)
        CountFrom(std::llround(SettleSeconds() * Rate), std::numeric_limits<long long>::max() / 2);
}

void TRealTimeAnalyser::AnalyseBlock(const float* buffer, int frames)
{
    if (CountStart < 0)
        return Analyse(buffer, frames);
    // The block cut where the stretch starts, at its spectrum frames' ends and where it ends.
    for (int done = 0; done < frames && FramesSeen < CountEnd;) {
        const long long next = FramesSeen < CountStart ? CountStart : std::min(CountEnd, NextSpectrum);
        const int count = static_cast<int>(std::min<long long>(frames - done, next - FramesSeen));
        Analyse(buffer + 2 * static_cast<std::size_t>(done), count);
        done += count;
        if (FramesSeen == CountStart)
            Reset();
        if (FramesSeen == NextSpectrum && UpdateSpectrum())
            NextSpectrum += static_cast<long long>(History.size() / 2);
    }
}

void TRealTimeAnalyser::Analyse(const float* buffer, int frames)
{
    for (int done = 0; done < frames;) {
        const int count = std::min(frames - done, static_cast<int>(ChunkFrames));
        const float* frame = buffer + 2 * static_cast<std::size_t>(done);
        for (int i = 0; i < count; ++i)
            Chunk[static_cast<std::size_t>(i)] =
                TStereo{double(frame[2 * i]), double(frame[2 * i + 1])} * FullScaleUnits;
        const std::span<TStereo> chunk(Chunk.data(), static_cast<std::size_t>(count));
        Weight(chunk);
        if (Bands)
            Bands->Process(chunk);
        for (const TStereo x : chunk) {
            History[Newest] = x;
            Newest = (Newest + 1) % History.size();
        }
        done += count;
    }
    if (FramesSeen >= CountStart) // nothing counts before a counted stretch
        FramesSinceReset += frames;
    FramesSeen += frames;
}

void TRealTimeAnalyser::Weight(std::span<TStereo> frames)
{
    if (Weighting.empty())
        return;
    for (TStereo& x : frames)
        for (std::size_t i = 0; i < Weighting.size(); ++i)
            x = Step(Weighting[i], WeightingStates[i], x);
    FlushTiny(WeightingStates);
}

bool TRealTimeAnalyser::UpdateSpectrum()
{
    const std::size_t size = History.size();
    if (FramesSeen < static_cast<long long>(size))
        return false;
    for (std::size_t n = 0, from = Newest; n < size; ++n, from = from + 1 == size ? 0 : from + 1) {
        Frame[0][n] = History[from][0];
        Frame[1][n] = History[from][1];
    }
    // The exponential average moves as far as Tau says for the time since the last frame.
    const double elapsed = double(FramesSeen - FramesAtLastSpectrum) / Rate;
    FramesAtLastSpectrum = FramesSeen;
    for (std::size_t channel = 0; channel < Spectra.size(); ++channel) {
        if (Chosen.Averaging == TFftAnalyser::TAveraging::Exponential)
            Spectra[channel]->SetAveraging(Chosen.Averaging, 1 - std::exp(-elapsed / Chosen.TimeConstant));
        Spectra[channel]->Add(Frame[channel]);
    }
    return true;
}

void TRealTimeAnalyser::Reset()
{
    if (Bands)
        Bands->Reset();
    for (const auto& spectrum : Spectra)
        spectrum->Reset();
    FramesSinceReset = 0;
}

std::vector<TBandReading> TRealTimeAnalyser::BandReadings(const std::array<double, 2>& calibration) const
{
    std::vector<TBandReading> readings;
    for (int band = 0; Bands && band < Bands->BandCount(); ++band) {
        TBandReading reading{Bands->Band(band).Nominal, Bands->Band(band).Midband, {}, {}, {}};
        const TStereo level = Bands->TimeWeighted(band), leq = Bands->Mean(band), lmax = Bands->Maximum(band);
        for (std::size_t channel = 0; channel < 2; ++channel) {
            const int lane = static_cast<int>(channel);
            reading.Level[channel] = Level(level[lane], calibration[channel]);
            reading.Leq[channel] = Level(leq[lane], calibration[channel]);
            reading.Lmax[channel] = Level(lmax[lane], calibration[channel]);
        }
        readings.push_back(reading);
    }
    return readings;
}

TSpectrumReading TRealTimeAnalyser::SpectrumReading(const std::array<double, 2>& calibration, bool density,
                                                    std::size_t mostPoints) const
{
    const std::size_t bins = Spectra[0]->Bins();
    const double binWidth = double(Rate) / double(Spectra[0]->Size());
    const double perHertz = density ? 10 * std::log10(Spectra[0]->NoiseBandwidth(Rate)) : 0;
    // Shares of equal width on a logarithmic scale from bin 1 to the last bin; a share ends at the
    // first bin of the next one.
    const double perShare = mostPoints > 0 ? std::log(double(bins - 1)) / double(mostPoints) : 0;
    const auto shareEnd = [&](std::size_t first) {
        if (mostPoints == 0)
            return first + 1;
        const double share = std::floor(std::log(double(first)) / perShare);
        return std::max(first + 1, static_cast<std::size_t>(std::ceil(std::exp((share + 1) * perShare))));
    };
    TSpectrumReading reading;
    for (std::size_t first = 1; first < bins;) {
        const std::size_t last = std::min(shareEnd(first), bins);
        reading.Frequency.push_back(std::sqrt(double(first) * double(last - 1)) * binWidth);
        for (std::size_t channel = 0; channel < 2; ++channel) {
            const std::span<const double> power = Spectra[channel]->Power(),
                                          peak = Spectra[channel]->PeakHold();
            const double loudest = *std::max_element(power.begin() + std::ptrdiff_t(first),
                                                     power.begin() + std::ptrdiff_t(last));
            const double highest =
                *std::max_element(peak.begin() + std::ptrdiff_t(first), peak.begin() + std::ptrdiff_t(last));
            reading.Level[channel].push_back(Level(loudest, calibration[channel] - perHertz));
            reading.Peak[channel].push_back(Level(highest, calibration[channel] - perHertz));
        }
        first = last;
    }
    return reading;
}

QString BandsText(int bandsPerOctave)
{
    return bandsPerOctave == 1 ? QStringLiteral("1/1 oktawy")
                               : QStringLiteral("1/%1 oktawy").arg(bandsPerOctave);
}

QString WindowText(TFftAnalyser::TWindow window)
{
    switch (window) {
    case TFftAnalyser::TWindow::Hann:
        return QStringLiteral("Hann");
    case TFftAnalyser::TWindow::BlackmanHarris:
        return QStringLiteral("Blackman-Harris");
    case TFftAnalyser::TWindow::FlatTop:
        break;
    }
    return QStringLiteral("flat-top");
}

QString AveragingText(TFftAnalyser::TAveraging averaging)
{
    switch (averaging) {
    case TFftAnalyser::TAveraging::None:
        return QStringLiteral("bez uśredniania");
    case TFftAnalyser::TAveraging::Linear:
        return QStringLiteral("uśrednianie liniowe");
    case TFftAnalyser::TAveraging::Exponential:
        break;
    }
    return QStringLiteral("uśrednianie wykładnicze");
}

QString TimeWeightingLetter(double timeConstant)
{
    return timeConstant >= 0.5 ? QStringLiteral("S") : QStringLiteral("F");
}
