// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/RoomAcoustics.h"

#include "analysis/FractionalOctave.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double StartBelowPeak = 0.01; // the start: 20 dB below the largest squared sample
constexpr double Floor = 1e-20;         // re the peak: digital silence gets a level, never -infinity
constexpr double NoiseTail = 0.1;       // of the response: where the noise is estimated at least
constexpr double FirstMarginDb = 10;    // the first regression ends this far above the noise
constexpr double LateMarginDb = 5;      // the late decay ends this far above the noise
constexpr double LateRangeDb = 20;      // and spans this much
constexpr double IntervalsPer10Db = 5;
constexpr int MostIterations = 5;
constexpr double CurveStepSeconds = 0.001;
constexpr double FitRate = 4000; // points a second of the decay curve that the fits take
constexpr double EdtRange = 20, T20Range = 35, T30Range = 45; // dB of INR each figure needs

double Db(double power)
{
    return 10 * std::log10(power);
}

// The accumulators of a least-squares line, x taken from an origin to keep the sums well conditioned.
struct TLeastSquares
{
    double Origin = 0;
    double N = 0, Sx = 0, Sy = 0, Sxx = 0, Sxy = 0, Syy = 0;

    void Add(double x, double y)
    {
        x -= Origin;
        N += 1;
        Sx += x;
        Sy += y;
        Sxx += x * x;
        Sxy += x * y;
        Syy += y * y;
    }
    double Slope() const { return (N * Sxy - Sx * Sy) / (N * Sxx - Sx * Sx); }
    double Intercept() const { return (Sy - Slope() * Sx) / N - Slope() * Origin; }
    double SquaredCorrelation() const
    {
        const double cxy = N * Sxy - Sx * Sy, cxx = N * Sxx - Sx * Sx, cyy = N * Syy - Sy * Sy;
        return cyy > 0 ? cxy * cxy / (cxx * cyy) : 1.0;
    }
};

// A line through interval levels: dB per sample and dB at sample 0.
struct TLine
{
    double Slope = 0, Intercept = 0;
    double At(double index) const { return Intercept + Slope * index; }
    double Where(double level) const { return (level - Intercept) / Slope; }
};

} // namespace

// The squared band signals of a filter bank, as it hands them over.
struct TRoomAcoustics::TBandSet final : TOctaveFilterBank::TBandSink
{
    TBandSet(int bandsPerOctave, double rate, std::size_t longest, double lowest, double highest)
        : Bank(bandsPerOctave, rate, 1.0, lowest, highest)
    {
        for (int band = 0; band < Bank.BandCount(); ++band)
            Energy.emplace_back(static_cast<std::size_t>(
                std::ceil(static_cast<double>(longest) * Bank.BandRate(band) / rate) + 2));
        Count.resize(Energy.size());
        Decays.resize(Energy.size());
    }

    void Take(int band, std::span<const TStereo> samples) override
    {
        std::vector<double>& energy = Energy[static_cast<std::size_t>(band)];
        std::size_t& count = Count[static_cast<std::size_t>(band)];
        for (const TStereo y : samples)
            if (count < energy.size())
                energy[count++] = y[0] * y[0];
    }

    void Filter(std::span<const TStereo> frames)
    {
        Bank.Restart();
        std::fill(Count.begin(), Count.end(), 0);
        Bank.Process(frames, this);
    }

    std::span<const double> Of(int band) const
    {
        return {Energy[static_cast<std::size_t>(band)].data(), Count[static_cast<std::size_t>(band)]};
    }

    TOctaveFilterBank Bank;
    std::vector<std::vector<double>> Energy;
    std::vector<std::size_t> Count;
    std::vector<TDecay> Decays;
};

// What the index needs of a band's decay: its samples from the start to the crossing, and the tail.
struct TRoomAcoustics::TDecay
{
    std::size_t Start = 0, End = 0;
    SpeechTransmission::TTail Tail; // From counted from the start
    double Noise = 0;               // mean square taken off every sample
    bool Found = false;
};

TRoomAcoustics::TRoomAcoustics(int bandsPerOctave, double frameRate, std::size_t longestFrames,
                               std::span<const TSecondOrderSection> aWeighting)
    : Rate(frameRate), Longest(std::max<std::size_t>(longestFrames, 1)),
      AWeighting(aWeighting.begin(), aWeighting.end())
{
    const bool thirds = bandsPerOctave == 3;
    Table = thirds ? std::make_unique<TBandSet>(3, Rate, Longest, 45, 11000)
                   : std::make_unique<TBandSet>(1, Rate, Longest, 60, 8500);
    if (thirds)
        Speech = std::make_unique<TBandSet>(1, Rate, Longest, 120, 8500);
    Energy.resize(Longest);
    Remaining.resize(Longest + 1);
    Frames.resize(Longest);
    Levels.resize(Longest);
    Curve.resize(Longest);
    Figures.BandsPerOctave = thirds ? 3 : 1;
    const auto curve = static_cast<std::size_t>(static_cast<double>(Longest) / (CurveStepSeconds * Rate)) + 2;
    const auto reserve = [&](TRoomBand& band) {
        band.Envelope.reserve(curve);
        band.Decay.reserve(curve);
    };
    Figures.Bands.resize(static_cast<std::size_t>(Table->Bank.BandCount()));
    for (std::size_t i = 0; i < Figures.Bands.size(); ++i) {
        const FractionalOctave::TBand& layout = Table->Bank.Band(static_cast<int>(i));
        Figures.Bands[i].Nominal = layout.Nominal;
        Figures.Bands[i].Midband = layout.Midband;
        Figures.Bands[i].Bandwidth = layout.Upper - layout.Lower;
        reserve(Figures.Bands[i]);
    }
    Figures.BroadbandA.Weighting = 'A';
    reserve(Figures.BroadbandZ);
    reserve(Figures.BroadbandA);
    reserve(SpeechBand);
    AStates.resize(AWeighting.size());
}

TRoomAcoustics::~TRoomAcoustics() = default;

const TRoomFigures& TRoomAcoustics::Analyse(std::span<const double> response,
                                            const SpeechTransmission::TConditions* conditions)
{
    response = response.first(std::min(response.size(), Longest));
    const std::span<TStereo> frames(Frames.data(), response.size());
    for (std::size_t n = 0; n < response.size(); ++n)
        frames[n] = TStereo{response[n], 0};
    Table->Filter(frames);
    for (std::size_t i = 0; i < Figures.Bands.size(); ++i)
        AnalyseEnergy(Table->Of(static_cast<int>(i)), Table->Bank.BandRate(static_cast<int>(i)),
                      Figures.Bands[i].Midband, Figures.Bands[i], Table->Decays[i]);

    const std::span<double> energy(Energy.data(), response.size());
    TDecay broadband;
    for (std::size_t n = 0; n < response.size(); ++n)
        energy[n] = response[n] * response[n];
    AnalyseEnergy(energy, Rate, 0, Figures.BroadbandZ, broadband);
    if (!AWeighting.empty()) {
        std::fill(AStates.begin(), AStates.end(), TSecondOrderState{});
        for (std::size_t n = 0; n < response.size(); ++n) {
            TStereo y = frames[n];
            for (std::size_t i = 0; i < AWeighting.size(); ++i)
                y = Step(AWeighting[i], AStates[i], y);
            energy[n] = y[0] * y[0];
        }
        AnalyseEnergy(energy, Rate, 0, Figures.BroadbandA, broadband);
    } else {
        Figures.BroadbandA.Refusal = TRoomRefusal::NoDecay;
    }

    // The index's octaves: the table's own, or a pass of their own beside the thirds.
    TBandSet* octaves = Table.get();
    if (Speech) {
        Speech->Filter(frames);
        octaves = Speech.get();
    }
    std::array<SpeechTransmission::TModulations, SpeechTransmission::OctaveCount> mtf{};
    int found = 0;
    for (int band = 0; band < octaves->Bank.BandCount(); ++band) {
        const double nominal = octaves->Bank.Band(band).Nominal;
        const auto at =
            std::find(SpeechTransmission::Octaves.begin(), SpeechTransmission::Octaves.end(), nominal);
        if (at == SpeechTransmission::Octaves.end())
            continue;
        TDecay& decay = octaves->Decays[static_cast<std::size_t>(band)];
        if (Speech)
            AnalyseEnergy(octaves->Of(band), octaves->Bank.BandRate(band), octaves->Bank.Band(band).Midband,
                          SpeechBand, decay);
        if (!decay.Found)
            continue;
        const std::span<const double> own = octaves->Of(band).subspan(decay.Start, decay.End - decay.Start);
        mtf[static_cast<std::size_t>(at - SpeechTransmission::Octaves.begin())] =
            SpeechTransmission::ModulationTransfer(own, octaves->Bank.BandRate(band), decay.Noise,
                                                   decay.Tail);
        ++found;
    }
    Figures.StiValid = found == SpeechTransmission::OctaveCount;
    Figures.Sti =
        Figures.StiValid ? SpeechTransmission::Index(mtf, conditions) : SpeechTransmission::TIndex{};
    return Figures;
}

namespace {

// The mean levels (dB) of the intervals of `length` samples from `from` on, into `levels`; their count.
std::size_t IntervalLevels(std::span<const double> energy, std::size_t from, std::size_t length, double floor,
                           std::span<double> levels)
{
    std::size_t count = 0;
    for (std::size_t at = from; at + length <= energy.size() && count < levels.size(); at += length) {
        double sum = 0;
        for (std::size_t n = at; n < at + length; ++n)
            sum += energy[n];
        levels[count++] = Db(std::max(sum / static_cast<double>(length), floor));
    }
    return count;
}

double MeanFrom(std::span<const double> energy, std::size_t from)
{
    double sum = 0;
    for (std::size_t n = from; n < energy.size(); ++n)
        sum += energy[n];
    return sum / static_cast<double>(std::max<std::size_t>(energy.size() - from, 1));
}

// The line through the interval levels first .. last (inclusive), on the sample axis.
TLine IntervalLine(std::span<const double> levels, std::size_t first, std::size_t last, std::size_t from,
                   std::size_t length)
{
    TLeastSquares fit;
    const auto centre = [&](std::size_t j) {
        return static_cast<double>(from + j * length) + 0.5 * static_cast<double>(length - 1);
    };
    fit.Origin = centre(first);
    for (std::size_t j = first; j <= last; ++j)
        fit.Add(centre(j), levels[j]);
    return {fit.Slope(), fit.Intercept()};
}

} // namespace

// Lundeby's iteration over the band's energy from its start on. Gives the late decay's line (dB per
// sample, on the energy's own index), the noise's mean square and where the line meets it; false when the
// energy does not decay above the noise.
static bool LateDecay(std::span<const double> energy, std::size_t start, double rate, double midband,
                      double floor, std::span<double> levels, TLine& line, double& noise, double& crossing)
{
    const std::size_t size = energy.size();
    if (size < start + 16)
        return false;
    const auto tailFrom =
        start + static_cast<std::size_t>((1 - NoiseTail) * static_cast<double>(size - start));
    const double first = midband > 0 ? std::clamp(5 / midband, 0.01, 0.05) : 0.01;
    std::size_t length = std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(first * rate)));
    noise = std::max(MeanFrom(energy, tailFrom), floor);
    std::size_t count = IntervalLevels(energy, start, length, floor, levels);
    if (count < 3)
        return false;
    auto peak =
        static_cast<std::size_t>(std::max_element(levels.begin(), levels.begin() + count) - levels.begin());
    std::size_t last = peak;
    while (last + 1 < count && levels[last + 1] > Db(noise) + FirstMarginDb)
        ++last;
    if (last == peak)
        return false;
    line = IntervalLine(levels, peak, last, start, length);
    if (!(line.Slope < 0))
        return false;
    crossing = line.Where(Db(noise));
    for (int iteration = 0; iteration < MostIterations; ++iteration) {
        length = std::clamp<std::size_t>(
            static_cast<std::size_t>(std::lround(10 / -line.Slope / IntervalsPer10Db)), 1,
            (size - start) / 4);
        // The noise from 5 dB below the crossing on, over at least the last tenth.
        const double from = crossing + LateMarginDb / -line.Slope;
        const auto noiseFrom = from >= static_cast<double>(tailFrom)
                                   ? tailFrom
                                   : std::max(start, static_cast<std::size_t>(std::max(from, 0.0)));
        noise = std::max(MeanFrom(energy, noiseFrom), floor);
        count = IntervalLevels(energy, start, length, floor, levels);
        if (count < 3)
            break;
        peak = static_cast<std::size_t>(std::max_element(levels.begin(), levels.begin() + count) -
                                        levels.begin());
        const double top = Db(noise) + LateMarginDb + LateRangeDb, bottom = Db(noise) + LateMarginDb;
        std::size_t begin = peak;
        while (begin + 1 < count && levels[begin] > top)
            ++begin;
        std::size_t end = begin;
        while (end + 1 < count && levels[end + 1] >= bottom)
            ++end;
        if (end <= begin)
            break;
        const TLine late = IntervalLine(levels, begin, end, start, length);
        if (!(late.Slope < 0))
            break;
        line = late;
        const double moved = std::abs(line.Where(Db(noise)) - crossing);
        crossing = line.Where(Db(noise));
        if (moved < static_cast<double>(length))
            break;
    }
    return true;
}

void TRoomAcoustics::AnalyseEnergy(std::span<const double> energy, double rate, double midband,
                                   TRoomBand& band, TDecay& decay)
{
    band.Refusal = TRoomRefusal::NoDecay;
    band.Inr = band.NoiseDb = band.Crossing = band.Curvature = TRoomBand::Missing;
    band.C50 = band.C80 = band.D50 = band.Ts = TRoomBand::Missing;
    band.Envelope.clear();
    band.Decay.clear();
    band.Start = 0;
    for (TDecayFit* fit : {&band.Edt, &band.T20, &band.T30})
        *fit = TDecayFit{};
    band.Edt.RangeNeeded = EdtRange;
    band.T20.RangeNeeded = T20Range;
    band.T30.RangeNeeded = T30Range;
    decay = TDecay{};
    if (energy.empty())
        return;

    const double largest = *std::max_element(energy.begin(), energy.end());
    if (!(largest > 0))
        return;
    const double floor = largest * Floor;
    std::size_t start = 0;
    while (energy[start] < StartBelowPeak * largest)
        ++start;
    band.Start = static_cast<double>(start) / rate;

    // The peak level: the largest mean square over a short window.
    const double window = midband > 0 ? std::clamp(4 / midband, 0.001, 0.05) : 0.001;
    const std::size_t width = std::min(
        energy.size(), std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(window * rate))));
    double sum = 0, peak = 0;
    for (std::size_t n = 0; n < energy.size(); ++n) {
        sum += energy[n];
        if (n >= width)
            sum -= energy[n - width];
        peak = std::max(peak, sum);
    }
    peak = std::max(peak / static_cast<double>(width), floor);

    TLine line;
    double noise = 0, crossing = 0;
    if (!LateDecay(energy, start, rate, midband, floor, Levels, line, noise, crossing))
        return;
    band.Refusal = TRoomRefusal::None;
    band.Inr = Db(peak) - Db(noise);
    band.NoiseDb = -band.Inr;

    // The integration's end, and the late decay continued from there.
    const std::size_t end = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::clamp(std::ceil(crossing), 0.0, double(energy.size()))), start + 2,
        energy.size());
    band.Crossing = static_cast<double>(end - start) / rate;
    const double first = std::pow(10.0, line.At(static_cast<double>(end)) / 10);
    const double ratio = std::pow(10.0, line.Slope / 10);
    const double tail = first / (1 - ratio);
    // The noise's mean square is taken off every sample before the crossing as well.
    const auto clean = [&](std::size_t n) { return energy[n] - noise; };
    Remaining[end] = tail;
    // Never below the compensation's own energy: past the point where the noise's scatter outweighs the
    // decay the curve would otherwise plunge.
    for (std::size_t n = end; n-- > start;)
        Remaining[n] = std::max(Remaining[n + 1] + clean(n), tail);
    const double total = Remaining[start];
    if (!(total > 0)) {
        band.Refusal = TRoomRefusal::NoDecay;
        return;
    }
    decay = {start, end, {static_cast<double>(end - start), first, ratio}, noise, true};
    const auto decayDb = [&](std::size_t n) { return Db(std::max(Remaining[n], total * Floor) / total); };

    // The decay curve on a grid of at most FitRate points a second, which the fits take.
    const std::size_t grid = std::max<std::size_t>(1, static_cast<std::size_t>(rate / FitRate));
    std::size_t points = 0;
    for (std::size_t n = start; n < end && points < Curve.size(); n += grid)
        Curve[points++] = decayDb(n);
    const auto gridSeconds = [&](std::size_t j) { return static_cast<double>(j * grid) / rate; };
    for (TDecayFit* fit : {&band.Edt, &band.T20, &band.T30}) {
        const double upper = fit == &band.Edt ? 0 : -5;
        const double lower = fit == &band.Edt ? -10 : fit == &band.T20 ? -25 : -35;
        if (band.Inr < fit->RangeNeeded) {
            fit->Refusal = TRoomRefusal::ShortRange;
            continue;
        }
        std::size_t from = 0;
        while (from < points && Curve[from] > upper)
            ++from;
        std::size_t to = from;
        while (to < points && Curve[to] > lower)
            ++to;
        if (to >= points || to <= from + 1) {
            fit->Refusal = TRoomRefusal::CurveTooShort;
            continue;
        }
        TLeastSquares squares;
        for (std::size_t j = from; j <= to; ++j)
            squares.Add(gridSeconds(j), Curve[j]);
        fit->Refusal = TRoomRefusal::None;
        fit->Slope = squares.Slope();
        fit->Intercept = squares.Intercept();
        fit->Seconds = -60 / fit->Slope;
        fit->Xi = 1000 * (1 - squares.SquaredCorrelation());
        fit->From = gridSeconds(from);
        fit->To = gridSeconds(to);
        if (band.Bandwidth > 0)
            fit->BandwidthTime = band.Bandwidth * fit->Seconds;
    }
    if (band.T20.Refusal == TRoomRefusal::None && band.T30.Refusal == TRoomRefusal::None)
        band.Curvature = 100 * (band.T30.Seconds / band.T20.Seconds - 1);

    // The energy up to a time after the start, between samples linearly.
    const auto upTo = [&](double time) {
        const double at = static_cast<double>(start) + time * rate;
        if (at >= static_cast<double>(end))
            return total - first * std::pow(ratio, at - static_cast<double>(end)) / (1 - ratio);
        const auto whole = static_cast<std::size_t>(at);
        return total - Remaining[whole] + (at - static_cast<double>(whole)) * clean(whole);
    };
    const auto clarity = [&](double time) {
        const double early = upTo(time), late = total - early;
        return late > total * 1e-12 ? 10 * std::log10(early / late) : TRoomBand::Missing;
    };
    band.C50 = clarity(0.05);
    band.C80 = clarity(0.08);
    band.D50 = 100 * upTo(0.05) / total;
    double moment = 0;
    for (std::size_t n = start; n < end; ++n)
        moment += static_cast<double>(n - start) * clean(n);
    moment += first * (static_cast<double>(end - start) / (1 - ratio) + ratio / ((1 - ratio) * (1 - ratio)));
    band.Ts = 1000 * moment / total / rate;

    // The curves for drawing.
    const std::size_t step =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(CurveStepSeconds * rate)));
    band.CurveStep = static_cast<double>(step) / rate;
    for (std::size_t at = start;
         at + step <= energy.size() && band.Envelope.size() < band.Envelope.capacity(); at += step) {
        double mean = 0;
        for (std::size_t n = at; n < at + step; ++n)
            mean += energy[n];
        band.Envelope.push_back(
            static_cast<float>(Db(std::max(mean / static_cast<double>(step), floor) / peak)));
        if (at < end && band.Decay.size() < band.Decay.capacity())
            band.Decay.push_back(static_cast<float>(decayDb(at)));
    }
}
