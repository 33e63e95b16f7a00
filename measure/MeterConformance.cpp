// SPDX-License-Identifier: GPL-3.0-or-later
// The level meter's section of the conformance table: the program's own block analysis, fed with
// synthetic 16-bit signals, against the class 1 acceptance limits for sound level meters of
// IEC 61672-1:2013, tried as the periodic tests of IEC 61672-3:2013 try the electrical signal path.
// A clause or table cited without its part is one of IEC 61672-1:2013.

#include "measure/ConformanceTest.h"

#include "common/ChartModel.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/MeterFilters.h"
#include "measure/MeterPorts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

// The limits of a deviation from the expected value.
struct TLimits
{
    double Upper, Lower;
};

// Table 3: the A and C weightings at the nominal one-third-octave frequencies (the standard computes
// them at the exact frequencies 1000 x 10^(n/10) Hz) and their class 1 acceptance limits, upper and
// lower (none below at 10 Hz, 12.5 Hz and 20 kHz). Z is 0 dB with the same limits.
struct TWeightingRow
{
    double Nominal, A, C, Upper;
    std::optional<double> Lower;
};

constexpr std::array<TWeightingRow, 34> WeightingRows{{
    {10, -70.4, -14.3, 3.0, std::nullopt}, {12.5, -63.4, -11.2, 2.5, std::nullopt},
    {16, -56.7, -8.5, 2.0, -4.0},          {20, -50.5, -6.2, 2.0, -2.0},
    {25, -44.7, -4.4, 2.0, -1.5},          {31.5, -39.4, -3.0, 1.5, -1.5},
    {40, -34.6, -2.0, 1.0, -1.0},          {50, -30.2, -1.3, 1.0, -1.0},
    {63, -26.2, -0.8, 1.0, -1.0},          {80, -22.5, -0.5, 1.0, -1.0},
    {100, -19.1, -0.3, 1.0, -1.0},         {125, -16.1, -0.2, 1.0, -1.0},
    {160, -13.4, -0.1, 1.0, -1.0},         {200, -10.9, 0.0, 1.0, -1.0},
    {250, -8.6, 0.0, 1.0, -1.0},           {315, -6.6, 0.0, 1.0, -1.0},
    {400, -4.8, 0.0, 1.0, -1.0},           {500, -3.2, 0.0, 1.0, -1.0},
    {630, -1.9, 0.0, 1.0, -1.0},           {800, -0.8, 0.0, 1.0, -1.0},
    {1000, 0.0, 0.0, 0.7, -0.7},           {1250, 0.6, 0.0, 1.0, -1.0},
    {1600, 1.0, -0.1, 1.0, -1.0},          {2000, 1.2, -0.2, 1.0, -1.0},
    {2500, 1.3, -0.3, 1.0, -1.0},          {3150, 1.2, -0.5, 1.0, -1.0},
    {4000, 1.0, -0.8, 1.0, -1.0},          {5000, 0.5, -1.3, 1.5, -1.5},
    {6300, -0.1, -2.0, 1.5, -2.0},         {8000, -1.1, -3.0, 1.5, -2.5},
    {10000, -2.5, -4.4, 2.0, -3.0},        {12500, -4.3, -6.2, 2.0, -5.0},
    {16000, -6.6, -8.5, 2.5, -16.0},       {20000, -9.3, -11.2, 3.0, std::nullopt},
}};
constexpr int FirstWeightingBand = 10; // 1000 x 10^((10 - 30) / 10) = 10 Hz

// Table 4 (5.9): the reference responses to 4 kHz tonebursts of duration Tb relative to the steady
// level, as the table rounds them: F 10 lg(1 - e^(-Tb / 0.125 s)), S the same with 1 s (down to
// 2 ms), the sound exposure level 10 lg(Tb / 1 s); the class 1 acceptance limits of F and the sound
// exposure level in one column, those of S in one of their own. They hold for A, C and Z alike.
struct TToneburstRow
{
    double Milliseconds, F, E;
    TLimits FAndE;
    std::optional<double> S;
    TLimits SLimits;
};

constexpr std::array<TToneburstRow, 12> ToneburstRows{{
    {1000, 0.0, 0.0, {0.5, -0.5}, -2.0, {0.5, -0.5}},
    {500, -0.1, -3.0, {0.5, -0.5}, -4.1, {0.5, -0.5}},
    {200, -1.0, -7.0, {0.5, -0.5}, -7.4, {0.5, -0.5}},
    {100, -2.6, -10.0, {1.0, -1.0}, -10.2, {1.0, -1.0}},
    {50, -4.8, -13.0, {1.0, -1.0}, -13.1, {1.0, -1.0}},
    {20, -8.3, -17.0, {1.0, -1.0}, -17.0, {1.0, -1.5}},
    {10, -11.1, -20.0, {1.0, -1.0}, -20.0, {1.0, -2.0}},
    {5, -14.1, -23.0, {1.0, -1.0}, -23.0, {1.0, -2.5}},
    {2, -18.0, -27.0, {1.0, -1.5}, -27.0, {1.0, -3.0}},
    {1, -21.0, -30.0, {1.0, -2.0}, std::nullopt, {}},
    {0.5, -24.0, -33.0, {1.0, -2.5}, std::nullopt, {}},
    {0.25, -27.0, -36.0, {1.0, -3.0}, std::nullopt, {}},
}};
constexpr int ToneburstPositions = 16; // start positions tried within a block; the worst counts

// 5.8.2: the decay rates of F and S after a steady 4 kHz signal stops.
constexpr double DecayF = 34.7, DecayS = 4.3; // dB/s
constexpr TLimits DecayFLimits{3.8, -3.7}, DecaySLimits{0.8, -0.7};

// 5.6.5: level linearity deviations at 1 kHz, in steps of 5 dB as IEC 61672-3:2013, 16 takes them.
constexpr TLimits LinearityLimits{0.8, -0.8};
constexpr int LinearityRange = 60, LinearityStep = 5; // dB below the reference
// 5.6.6: a change of the input level by 1 dB to 10 dB changes the reading by as much.
constexpr TLimits LevelChangeLimits{0.3, -0.3};
constexpr int LargestLevelChange = 10; // dB

// 5.5.9: C and Z against A at 1 kHz (IEC 61672-3:2013, 14.2).
constexpr TLimits WeightingsAt1kHz{0.2, -0.2};
// 5.8.3: S and the time-averaged level against F at 1 kHz (IEC 61672-3:2013, 14.3).
constexpr TLimits TimeWeightingsAt1kHz{0.1, -0.1};

// Table 5 (5.13): the C-weighted peak sound level less the C-weighted level of the steady signal for
// one cycle and for half cycles, with the class 1 acceptance limits. IEC 61672-3:2013, 19 tries the
// 8 kHz cycle and the 500 Hz half cycles; the table's other two cycles are tried as well.
struct TPeakRow
{
    const char* Signal;
    double Nominal;
    int Band; // the exact frequency 1000 x 10^((Band - 30) / 10) Hz
    double Cycles, Sign, Expected, Limit;
};

constexpr std::array<TPeakRow, 5> PeakRows{{
    {"1 okres", 31.5, 15, 1, 1, 2.5, 2.0},
    {"1 okres", 500, 27, 1, 1, 3.5, 1.0},
    {"1 okres", 8000, 39, 1, 1, 3.4, 2.0},
    {"dodatni półokres", 500, 27, 0.5, 1, 2.4, 1.0},
    {"ujemny półokres", 500, 27, 0.5, -1, 2.4, 1.0},
}};
// A cycle may begin between two samples: these fractions of a frame are tried and the worst counts.
constexpr std::array<double, 4> SubsampleStarts{0, 0.25, 0.5, 0.75};

// 5.11.3: the input levels of a positive and a negative half cycle at which the overload indication
// first shows differ by no more than 1.5 dB. IEC 61672-3:2013, 20 raises 4 kHz half cycles in steps of
// 0.1 dB; here from 1 dB below to 1 dB above a full-scale amplitude.
constexpr TLimits OverloadLimits{1.5, -1.5};
constexpr int OverloadSteps = 10; // of 0.1 dB each way

// 5.10: repeated 4 kHz tonebursts, held to the limits of Table 4 for their duration.
struct TSequenceRow
{
    double On, Off; // s
    int Repeats;
    double Expected;   // 10 lg(on / (on + off))
    std::size_t Burst; // the row of Table 4 with the tonebursts' duration
};

constexpr std::array<TSequenceRow, 2> SequenceRows{{{1.0, 1.0, 2, -3.0, 0}, {0.1, 0.9, 4, -10.0, 3}}};

constexpr double TimeF = 0.125, TimeS = 1.0;                           // s
constexpr double ReferenceFrequency = 1000, ToneburstFrequency = 4000; // Hz
// 3 dB below full scale: room for the weightings' gain above 1 kHz without clipping the samples.
constexpr double ReferenceAmplitude = 23197;
constexpr double FullScaleAmplitude = 32767;
constexpr double SettlingTime = 0.25; // s for the filters to settle on a tone
constexpr double MeasuringTime = 0.5; // s of a steady tone measured
constexpr double SettledS = 3 * 1.0;  // s: S read after three of its time constants on the tone
constexpr double BurstTail = 0.05;    // s after a burst for the filters' tail
constexpr double TwoPi = 2 * std::numbers::pi;

// A signal as a function of the frame number since the rig started.
using TSignal = std::function<std::int16_t(long long frame)>;

TSignal Silence()
{
    return [](long long) { return std::int16_t{0}; };
}

// A sine of `amplitude` sample units from `begin` (a frame number, fractions allowed) for `length`
// frames, phase 0 at its beginning, rounded and limited to the 16-bit range as a converter gives it;
// silence outside.
TSignal Tone(double frequency, double amplitude, int frameRate, double begin = 0, double length = HUGE_VAL)
{
    return [=](long long frame) {
        const double t = static_cast<double>(frame) - begin;
        if (t < 0 || t >= length)
            return std::int16_t{0};
        const double sample = std::nearbyint(amplitude * std::sin(TwoPi * frequency / frameRate * t));
        return static_cast<std::int16_t>(std::clamp(sample, -32768.0, 32767.0));
    };
}

double BandFrequency(int band)
{
    return 1000 * std::pow(10.0, (band - 30) / 10.0);
}

// The program's level meter over ports that show nothing, fed block by block; both channels get the
// same signal and the left one is read. The statistics take in everything from the start.
class TRig
{
public:
    // The meter starts from rest on whatever comes first, as a recording starts on a running signal.
    TRig(const TConformanceSetup& setup, TFrequencyWeighting weighting, double averagingTime)
        : Rate(setup.FrameRate), Block(2 * static_cast<std::size_t>(std::max(setup.BlockFrames, 1)))
    {
        Ports.Rate = setup.FrameRate;
        Ports.Integer = true;
        State.FrequencyWeighting = weighting;
        State.AveragingTime = averagingTime;
        State.Statistics.Collecting = true;
        State.StartMeter = true;
        Meter =
            setup.MakeMeter ? setup.MakeMeter(State, Ports, Chart) : std::make_unique<TProgramMeter>(*this);
    }

    int BlockFrames() const { return static_cast<int>(Block.size() / 2); }
    long long FramesFed() const { return Frames; }
    long long FramesOf(double seconds) const { return std::llround(seconds * Rate); }
    double Seconds() const { return static_cast<double>(Frames) / Rate; }

    void Feed(long long frames, const TSignal& signal)
    {
        for (long long i = 0; i < frames; ++i) {
            const std::int16_t sample = signal(Frames++);
            SampleSquares += static_cast<double>(sample) * sample;
            ++SampleFrames;
            Block[2 * Filled] = Block[2 * Filled + 1] = static_cast<float>(sample / FullScaleUnits);
            if (++Filled == BlockFrames())
                Analyse();
        }
    }
    // At least `seconds` of the signal, then on to the end of a block.
    void FeedBlocks(double seconds, const TSignal& signal)
    {
        Feed(FramesOf(seconds), signal);
        if (Filled > 0)
            Feed(BlockFrames() - Filled, signal);
    }

    // The frames of the meter's start, before which nothing counts.
    long long StartFrames() const { return TMeterFilters::StartFrames(Rate); }
    // The statistics and the samples' own level start from here.
    void StartStatistics()
    {
        State.Statistics.Reset();
        SampleSquares = 0;
        SampleFrames = 0;
    }
    // The level of the samples fed since StartStatistics, computed here from the samples themselves:
    // the reference the meter's figures are held to, so that a wrong constant in the meter shows.
    double SamplesLevel() const
    {
        return 10 * std::log10(SampleSquares / static_cast<double>(SampleFrames) / (32767.0 * 32767.0)) + 3;
    }

    double Leq() const { return StatisticsFigures(State).Left.Leq; }
    double Lmax() const { return StatisticsFigures(State).Left.Lmax; }
    double Lpeak() const { return StatisticsFigures(State).Left.Lpeak; }
    double LE() const { return StatisticsFigures(State).Left.LE; }
    double Reading() const { return TLevelMeter::Level(State.AveragedMeanSquareL, LevelOffsetDb); }
    // Whether the tick that follows shows an overload.
    bool OverloadShown()
    {
        Meter->RefreshLevels();
        return Ports.Overloads > 0;
    }

    std::function<void()> AfterBlock;

private:
    // The program's own meter.
    class TProgramMeter final : public IMeterUnderTest
    {
    public:
        explicit TProgramMeter(TRig& rig) : Meter(rig.State, rig.Ports, rig.Chart, rig.Ports, rig.Ports) {}
        bool AnalyseBlock(float* samples, int& count) override { return Meter.AnalyseBlock(samples, count); }
        void RefreshLevels() override { Meter.RefreshLevels(); }

    private:
        TLevelMeter Meter;
    };

    void Analyse()
    {
        int count = static_cast<int>(Block.size());
        Meter->AnalyseBlock(Block.data(), count);
        Filled = 0;
        if (AfterBlock)
            AfterBlock();
    }

    int Rate;
    TMeasurementState State;
    TStandaloneMeterPorts Ports;
    TChartModel Chart;
    std::unique_ptr<IMeterUnderTest> Meter;
    std::vector<float> Block; // the 16-bit samples as the input hands them over
    int Filled = 0;
    long long Frames = 0;
    double SampleSquares = 0; // of the samples fed since StartStatistics
    long long SampleFrames = 0;
};

struct TSteady
{
    double Leq = 0, Reading = 0;
    double Samples = 0; // the samples' own level over the same frames as Leq
};

// A steady signal once the meter has started on it: its Leq over `seconds` (half a second unless
// said), the time-weighted level at the end, and the samples' own level.
TSteady Steady(const TConformanceSetup& setup, TFrequencyWeighting weighting, double averagingTime,
               const TSignal& signal, double seconds = MeasuringTime)
{
    TRig rig(setup, weighting, averagingTime);
    rig.FeedBlocks(SettlingTime, signal);
    rig.StartStatistics();
    rig.FeedBlocks(seconds, signal);
    return {rig.Leq(), rig.Reading(), rig.SamplesLevel()};
}

TSteady Steady(const TConformanceSetup& setup, TFrequencyWeighting weighting, double averagingTime,
               double frequency, double amplitude)
{
    return Steady(setup, weighting, averagingTime, Tone(frequency, amplitude, setup.FrameRate));
}

// The weighted level of a steady sine less the level of its samples.
double SteadyResponse(const TConformanceSetup& setup, double frequency)
{
    const TSteady steady = Steady(setup, setup.Weighting, TimeF, frequency, ReferenceAmplitude);
    return steady.Leq - steady.Samples;
}

double SteadyLevel(const TConformanceSetup& setup, double frequency)
{
    return Steady(setup, setup.Weighting, TimeF, frequency, ReferenceAmplitude).Leq;
}

// A sine with triangular dither of one step each way, from a generator of its own so that every run
// gives the same samples.
TSignal DitheredTone(double frequency, double amplitude, int frameRate)
{
    return [=](long long frame) {
        const auto uniform = [](std::uint64_t n) {
            n = (n ^ (n >> 31)) * 0x7fb5d329728ea185ULL;
            n = (n ^ (n >> 27)) * 0x81dadef4bc2dd44dULL;
            return static_cast<double>((n ^ (n >> 33)) >> 11) / 9007199254740992.0; // [0, 1)
        };
        const auto n = static_cast<std::uint64_t>(frame);
        const double dither = uniform(2 * n) - uniform(2 * n + 1);
        const double sample = std::nearbyint(
            amplitude * std::sin(TwoPi * frequency / frameRate * static_cast<double>(frame)) + dither);
        return static_cast<std::int16_t>(std::clamp(sample, -32768.0, 32767.0));
    };
}

// The deviation's room to the nearer limit: the smallest is the worst.
double Margin(double value, double expected, TLimits limits)
{
    const double deviation = value - expected;
    return std::min(limits.Upper - deviation, deviation - limits.Lower);
}

double Worst(const std::vector<double>& values, double expected, TLimits limits)
{
    return *std::min_element(values.begin(), values.end(), [&](double a, double b) {
        return Margin(a, expected, limits) < Margin(b, expected, limits);
    });
}

TConformanceRow Row(const QString& group, const QString& test, double expected,
                    std::optional<double> measured, TLimits limits,
                    const QString& unit = QStringLiteral(" dB"))
{
    return JudgedRow(group, test, expected, measured, limits.Lower, limits.Upper, unit);
}

// A signal above half the frame rate cannot be played.
TConformanceRow OutOfBand(TConformanceRow row)
{
    row.Note = QStringLiteral("poza pasmem");
    return row;
}

QString Hertz(double frequency)
{
    return NumberFormat::General(frequency) + QStringLiteral(" Hz");
}

QString Milliseconds(double milliseconds)
{
    return NumberFormat::General(milliseconds) + QStringLiteral(" ms");
}

QString Letter(const TConformanceSetup& setup)
{
    return WeightingLetter(setup.Weighting);
}

// ---- The rows

// Each tone's weighted level against the level of its own samples, 1 kHz included: a meter off by a
// constant at any frequency fails there.
void AddWeightingRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Korekcja częstotliwościowa %1 (tabl. 3)").arg(Letter(setup));
    for (std::size_t band = 0; band < WeightingRows.size(); ++band) {
        const TWeightingRow& limits = WeightingRows[band];
        const double exact = BandFrequency(static_cast<int>(band) + FirstWeightingBand);
        const double expected = setup.Weighting == TFrequencyWeighting::A   ? limits.A
                                : setup.Weighting == TFrequencyWeighting::C ? limits.C
                                                                            : 0.0;
        const QString test = QStringLiteral("Korekcja %1, %2").arg(Letter(setup), Hertz(limits.Nominal));
        const bool playable = exact < setup.FrameRate / 2.0;
        TConformanceRow row = JudgedRow(group, test, expected,
                                        playable ? std::optional(SteadyResponse(setup, exact)) : std::nullopt,
                                        limits.Lower, limits.Upper);
        rows.push_back(playable ? row : OutOfBand(row));
    }
}

// The two weightings against A at 1 kHz, from a dithered tone 20 dB below the reference, and the two
// time weightings against F; S is read once it has run on the tone for several of its time constants.
void AddOneKilohertzRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Korekcje i stałe czasowe przy 1 kHz (5.5.9, 5.8.3)");
    const TSignal dithered = DitheredTone(ReferenceFrequency, ReferenceAmplitude / 10, setup.FrameRate);
    const double a = Steady(setup, TFrequencyWeighting::A, TimeF, dithered).Leq;
    for (const TFrequencyWeighting weighting : {TFrequencyWeighting::C, TFrequencyWeighting::Z})
        rows.push_back(Row(group, QStringLiteral("L%1 − LA, 1 kHz").arg(WeightingLetter(weighting)), 0,
                           Steady(setup, weighting, TimeF, dithered).Leq - a, WeightingsAt1kHz));
    const TSignal tone = Tone(ReferenceFrequency, ReferenceAmplitude, setup.FrameRate);
    const TSteady fast = Steady(setup, setup.Weighting, TimeF, tone);
    const QString letter = Letter(setup);
    rows.push_back(Row(group, QStringLiteral("L%1S − L%1F, 1 kHz").arg(letter), 0,
                       Steady(setup, setup.Weighting, TimeS, tone, SettledS).Reading - fast.Reading,
                       TimeWeightingsAt1kHz));
    rows.push_back(Row(group, QStringLiteral("L%1eq − L%1F, 1 kHz").arg(letter), 0, fast.Leq - fast.Reading,
                       TimeWeightingsAt1kHz));
}

// The reading of a steady 1 kHz tone changed by `decibels` once the meter had read it.
double LevelChange(const TConformanceSetup& setup, double decibels)
{
    TRig rig(setup, setup.Weighting, TimeF);
    const TSignal tone = Tone(ReferenceFrequency, ReferenceAmplitude, setup.FrameRate);
    rig.FeedBlocks(2 * SettlingTime, tone);
    const double before = rig.Reading();
    // The same phase goes on at the new amplitude; twelve time constants let the reading settle.
    rig.FeedBlocks(12 * TimeF, Tone(ReferenceFrequency, ReferenceAmplitude * std::pow(10.0, decibels / 20),
                                    setup.FrameRate));
    return rig.Reading() - before;
}

void AddLinearityRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Liniowość poziomu 1 kHz (5.6.5, 5.6.6)");
    const auto reading = [&](double decibels) {
        return Steady(setup, setup.Weighting, TimeF, ReferenceFrequency,
                      ReferenceAmplitude * std::pow(10.0, decibels / 20))
            .Reading;
    };
    const double reference = reading(0);
    for (int step = LinearityStep; step <= LinearityRange; step += LinearityStep)
        rows.push_back(Row(group, QStringLiteral("Liniowość, -%1 dB").arg(step), -step,
                           reading(-step) - reference, LinearityLimits));
    for (int change = 1; change <= LargestLevelChange; ++change)
        rows.push_back(Row(group, QStringLiteral("Zmiana poziomu o -%1 dB").arg(change), -change,
                           LevelChange(setup, -change), LevelChangeLimits));
}

struct TBurstResponse
{
    double Max = 0, Exposure = 0;
};

// One 4 kHz toneburst after silence, starting `position` frames into a block: the largest
// time-weighted level and the sound exposure level, relative to the steady level.
TBurstResponse Toneburst(const TConformanceSetup& setup, double averagingTime, double milliseconds,
                         int position, double steady)
{
    TRig rig(setup, setup.Weighting, averagingTime);
    rig.Feed(rig.StartFrames() + position, Silence());
    rig.StartStatistics();
    const long long length = std::max(rig.FramesOf(milliseconds / 1000), 1LL);
    rig.Feed(length, Tone(ToneburstFrequency, ReferenceAmplitude, setup.FrameRate,
                          static_cast<double>(rig.FramesFed()), static_cast<double>(length)));
    rig.FeedBlocks(BurstTail, Silence());
    return {rig.Lmax() - steady, rig.LE() - steady};
}

// The responses at start positions spread over a block.
std::vector<TBurstResponse> Toneburst(const TConformanceSetup& setup, double averagingTime,
                                      double milliseconds, double steady)
{
    std::vector<TBurstResponse> responses;
    const int block = std::max(setup.BlockFrames, 1);
    for (int position = 0; position < ToneburstPositions; ++position)
        responses.push_back(
            Toneburst(setup, averagingTime, milliseconds, position * block / ToneburstPositions, steady));
    return responses;
}

bool ToneburstPlayable(const TConformanceSetup& setup)
{
    return ToneburstFrequency < setup.FrameRate / 2.0;
}

void AddToneburstRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Paczki tonu 4 kHz (5.9, tabl. 4)");
    const QString letter = Letter(setup);
    const bool playable = ToneburstPlayable(setup);
    const double steady = playable ? SteadyLevel(setup, ToneburstFrequency) : 0;
    std::vector<TConformanceRow> fast, slow, exposure;
    for (const TToneburstRow& burst : ToneburstRows) {
        const QString name = QStringLiteral("Paczka %1, L%2").arg(Milliseconds(burst.Milliseconds), letter);
        std::vector<double> maxima, exposures, slowMaxima;
        if (playable) {
            for (const TBurstResponse& response : Toneburst(setup, TimeF, burst.Milliseconds, steady)) {
                maxima.push_back(response.Max);
                exposures.push_back(response.Exposure);
            }
            if (burst.S)
                for (const TBurstResponse& response : Toneburst(setup, TimeS, burst.Milliseconds, steady))
                    slowMaxima.push_back(response.Max);
        }
        const auto worst = [&](const std::vector<double>& values, double expected, TLimits limits) {
            return values.empty() ? std::nullopt : std::optional(Worst(values, expected, limits));
        };
        const auto row = [&](const QString& suffix, double expected, const std::vector<double>& values,
                             TLimits limits) {
            const TConformanceRow judged =
                Row(group, name + suffix, expected, worst(values, expected, limits), limits);
            return playable ? judged : OutOfBand(judged);
        };
        fast.push_back(row(QStringLiteral("Fmax"), burst.F, maxima, burst.FAndE));
        exposure.push_back(row(QStringLiteral("E"), burst.E, exposures, burst.FAndE));
        if (burst.S)
            slow.push_back(row(QStringLiteral("Smax"), *burst.S, slowMaxima, burst.SLimits));
    }
    for (const std::vector<TConformanceRow>* part : {&fast, &slow, &exposure})
        rows.insert(rows.end(), part->begin(), part->end());
}

// Leq of 4 kHz tonebursts `on` seconds long every `on + off` seconds, `repeats` times over, from the
// sound exposure over exactly that time, relative to the steady level.
double SequenceLeq(const TConformanceSetup& setup, const TSequenceRow& sequence, double steady)
{
    TRig rig(setup, setup.Weighting, TimeF);
    rig.Feed(rig.StartFrames(), Silence());
    rig.StartStatistics();
    const long long on = rig.FramesOf(sequence.On), period = on + rig.FramesOf(sequence.Off);
    const TSignal burst =
        Tone(ToneburstFrequency, ReferenceAmplitude, setup.FrameRate, 0, static_cast<double>(on));
    const long long origin = rig.FramesFed();
    rig.Feed(period * sequence.Repeats, [&](long long frame) { return burst((frame - origin) % period); });
    rig.FeedBlocks(BurstTail, Silence());
    const double seconds = static_cast<double>(period * sequence.Repeats) / setup.FrameRate;
    return rig.LE() - 10 * std::log10(seconds) - steady;
}

void AddSequenceRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Powtarzane paczki tonu 4 kHz (5.10, tabl. 4)");
    const bool playable = ToneburstPlayable(setup);
    const double steady = playable ? SteadyLevel(setup, ToneburstFrequency) : 0;
    for (const TSequenceRow& sequence : SequenceRows) {
        const QString test =
            QStringLiteral("L%1eq, %2 s włączony, %3 s wyłączony")
                .arg(Letter(setup), NumberFormat::General(sequence.On), NumberFormat::General(sequence.Off));
        const TConformanceRow row =
            Row(group, test, sequence.Expected,
                playable ? std::optional(SequenceLeq(setup, sequence, steady)) : std::nullopt,
                ToneburstRows[sequence.Burst].FAndE);
        rows.push_back(playable ? row : OutOfBand(row));
    }
}

// A steady 4 kHz signal that stops at a block's end; the time-weighted level falls from there on. The
// rate is taken between the block ends nearest to `from` and `from + span` seconds after the stop.
double DecayRate(const TConformanceSetup& setup, double averagingTime, double from, double span)
{
    TRig rig(setup, setup.Weighting, averagingTime);
    const TSignal tone = Tone(ToneburstFrequency, ReferenceAmplitude, setup.FrameRate);
    rig.FeedBlocks(SettlingTime + std::max(averagingTime, SettlingTime), tone);
    const double stop = rig.Seconds();
    double firstTime = -1, firstLevel = 0, lastTime = -1, lastLevel = 0;
    rig.AfterBlock = [&] {
        const double after = rig.Seconds() - stop;
        if (firstTime < 0 && after >= from) {
            firstTime = after;
            firstLevel = rig.Reading();
        }
        if (lastTime < 0 && after >= from + span) {
            lastTime = after;
            lastLevel = rig.Reading();
        }
    };
    rig.FeedBlocks(from + span, Silence());
    return (firstLevel - lastLevel) / (lastTime - firstTime);
}

void AddDecayRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Szybkość zaniku (5.8.2)");
    const bool playable = ToneburstPlayable(setup);
    const auto row = [&](const QString& test, double expected, double averagingTime, double from, double span,
                         TLimits limits) {
        const TConformanceRow judged =
            Row(group, test, expected,
                playable ? std::optional(DecayRate(setup, averagingTime, from, span)) : std::nullopt, limits,
                QStringLiteral(" dB/s"));
        return playable ? judged : OutOfBand(judged);
    };
    rows.push_back(row(QStringLiteral("Szybkość zaniku, F"), DecayF, TimeF, 0.05, 0.5, DecayFLimits));
    rows.push_back(row(QStringLiteral("Szybkość zaniku, S"), DecayS, TimeS, 0.5, 2.0, DecaySLimits));
}

// The C-weighted peak of one signal of Table 5 less the C-weighted level of the steady sine it is
// taken from, the worst over starts between samples.
double PeakDifference(const TConformanceSetup& setup, const TPeakRow& peak)
{
    const double frequency = BandFrequency(peak.Band);
    const double steady = Steady(setup, TFrequencyWeighting::C, TimeF, frequency, ReferenceAmplitude).Leq;
    std::vector<double> differences;
    for (const double start : SubsampleStarts) {
        TRig rig(setup, TFrequencyWeighting::C, TimeF);
        rig.Feed(rig.StartFrames() + rig.BlockFrames() / 2, Silence());
        rig.StartStatistics();
        const double length = peak.Cycles * setup.FrameRate / frequency;
        rig.Feed(static_cast<long long>(std::ceil(length + start)),
                 Tone(frequency, peak.Sign * ReferenceAmplitude, setup.FrameRate,
                      static_cast<double>(rig.FramesFed()) + start, length));
        rig.FeedBlocks(BurstTail, Silence());
        differences.push_back(rig.Lpeak() - steady);
    }
    return Worst(differences, peak.Expected, {peak.Limit, -peak.Limit});
}

void AddPeakRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Poziom szczytowy C (5.13, tabl. 5)");
    for (const TPeakRow& peak : PeakRows) {
        const bool playable = BandFrequency(peak.Band) < setup.FrameRate / 2.0;
        const QString test =
            QStringLiteral("LCpeak − LC, %1 %2").arg(QString::fromUtf8(peak.Signal), Hertz(peak.Nominal));
        const TConformanceRow row = Row(group, test, peak.Expected,
                                        playable ? std::optional(PeakDifference(setup, peak)) : std::nullopt,
                                        {peak.Limit, -peak.Limit});
        rows.push_back(playable ? row : OutOfBand(row));
    }
}

// The level of a 4 kHz half cycle, in dB relative to a full-scale amplitude, at which the overload
// indication first shows; nothing when it does not within the steps.
std::optional<double> OverloadLevel(const TConformanceSetup& setup, double sign)
{
    const double length = 0.5 * setup.FrameRate / ToneburstFrequency;
    for (int step = -OverloadSteps; step <= OverloadSteps; ++step) {
        const double level = step / 10.0;
        TRig rig(setup, setup.Weighting, TimeF);
        rig.Feed(rig.StartFrames() + rig.BlockFrames() / 2, Silence());
        rig.Feed(static_cast<long long>(std::ceil(length)),
                 Tone(ToneburstFrequency, sign * FullScaleAmplitude * std::pow(10.0, level / 20),
                      setup.FrameRate, static_cast<double>(rig.FramesFed()), length));
        rig.FeedBlocks(0, Silence());
        if (rig.OverloadShown())
            return level;
    }
    return std::nullopt;
}

void AddOverloadRow(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString group = QStringLiteral("Wskazanie przesterowania (5.11.3)");
    const QString test = QStringLiteral("Półokres 4 kHz, dodatni − ujemny");
    if (!ToneburstPlayable(setup)) {
        rows.push_back(OutOfBand(Row(group, test, 0, std::nullopt, OverloadLimits)));
        return;
    }
    const std::optional<double> positive = OverloadLevel(setup, 1), negative = OverloadLevel(setup, -1);
    TConformanceRow row =
        Row(group, test, 0, positive && negative ? std::optional(*positive - *negative) : std::nullopt,
            OverloadLimits);
    if (!row.Measured)
        row.Note = QStringLiteral("brak wskazania");
    rows.push_back(row);
}

} // namespace

std::vector<TConformanceRow> MeterConformanceRows(const TConformanceSetup& setup)
{
    std::vector<TConformanceRow> rows;
    if (setup.FrameRate < TLevelMeter::MinimumWeightedRate)
        return rows;
    AddWeightingRows(setup, rows);
    AddOneKilohertzRows(setup, rows);
    AddLinearityRows(setup, rows);
    AddToneburstRows(setup, rows);
    AddSequenceRows(setup, rows);
    AddDecayRows(setup, rows);
    AddPeakRows(setup, rows);
    AddOverloadRow(setup, rows);
    return rows;
}
