#include "measure/ConformanceTest.h"

#include "common/ChartModel.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/MeterPorts.h"

#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

// Expected values and class 1 tolerance limits of the international sound level meter standard
// IEC 61672-1:2002, as republished word for word in GOST 17187-2010:
// - Table 2: the A and C weightings at the nominal one-third-octave frequencies (computed by the
//   standard at the exact frequencies 1000 x 10^(n/10) Hz) and their tolerance limits;
// - Table 3: the reference responses to 4 kHz tonebursts of duration Tb relative to the steady level,
//   F and S: 10 lg(1 - exp(-Tb / tau)) with tau 0.125 s and 1 s, sound exposure: 10 lg(Tb / 1 s);
// - 5.8.3: the decay rates after a steady 4 kHz signal stops, 34.7 dB/s for F and 4.3 dB/s for S;
// - 5.5.5: level linearity errors within +-1.1 dB.
// The levels of a sequence switched on and off are held to the toneburst limits of the same duration.
struct TWeightingRow
{
    double Nominal, A, C, Upper;
    std::optional<double> Lower;
};

constexpr std::array<TWeightingRow, 34> WeightingRows{{
    {10, -70.4, -14.3, 3.5, std::nullopt}, {12.5, -63.4, -11.2, 3.0, std::nullopt},
    {16, -56.7, -8.5, 2.5, -4.5},          {20, -50.5, -6.2, 2.5, -2.5},
    {25, -44.7, -4.4, 2.5, -2.0},          {31.5, -39.4, -3.0, 2.0, -2.0},
    {40, -34.6, -2.0, 1.5, -1.5},          {50, -30.2, -1.3, 1.5, -1.5},
    {63, -26.2, -0.8, 1.5, -1.5},          {80, -22.5, -0.5, 1.5, -1.5},
    {100, -19.1, -0.3, 1.5, -1.5},         {125, -16.1, -0.2, 1.5, -1.5},
    {160, -13.4, -0.1, 1.5, -1.5},         {200, -10.9, 0.0, 1.5, -1.5},
    {250, -8.6, 0.0, 1.4, -1.4},           {315, -6.6, 0.0, 1.4, -1.4},
    {400, -4.8, 0.0, 1.4, -1.4},           {500, -3.2, 0.0, 1.4, -1.4},
    {630, -1.9, 0.0, 1.4, -1.4},           {800, -0.8, 0.0, 1.4, -1.4},
    {1000, 0.0, 0.0, 1.1, -1.1},           {1250, 0.6, 0.0, 1.4, -1.4},
    {1600, 1.0, -0.1, 1.6, -1.6},          {2000, 1.2, -0.2, 1.6, -1.6},
    {2500, 1.3, -0.3, 1.6, -1.6},          {3150, 1.2, -0.5, 1.6, -1.6},
    {4000, 1.0, -0.8, 1.6, -1.6},          {5000, 0.5, -1.3, 2.1, -2.1},
    {6300, -0.1, -2.0, 2.1, -2.6},         {8000, -1.1, -3.0, 2.1, -3.1},
    {10000, -2.5, -4.4, 2.6, -3.6},        {12500, -4.3, -6.2, 3.0, -6.0},
    {16000, -6.6, -8.5, 3.5, -17.0},       {20000, -9.3, -11.2, 4.0, std::nullopt},
}};
constexpr int FirstWeightingBand = 10; // 1000 x 10^((10 - 30) / 10) = 10 Hz

struct TToneburstRow
{
    double Milliseconds, F;
    std::optional<double> S;
    double E, Upper, Lower;
};

constexpr std::array<TToneburstRow, 12> ToneburstRows{{
    {1000, 0.0, -2.0, 0.0, 0.8, -0.8},
    {500, -0.1, -4.1, -3.0, 0.8, -0.8},
    {200, -1.0, -7.4, -7.0, 0.8, -0.8},
    {100, -2.6, -10.2, -10.0, 1.3, -1.3},
    {50, -4.8, -13.1, -13.0, 1.3, -1.3},
    {20, -8.3, -17.0, -17.0, 1.3, -1.3},
    {10, -11.1, -20.0, -20.0, 1.3, -1.3},
    {5, -14.1, -23.0, -23.0, 1.3, -1.3},
    {2, -18.0, -27.0, -27.0, 1.3, -1.8},
    {1, -21.0, std::nullopt, -30.0, 1.3, -2.3},
    {0.5, -24.0, std::nullopt, -33.0, 1.3, -2.8},
    {0.25, -27.0, std::nullopt, -36.0, 1.3, -3.3},
}};

constexpr double DecayF = 34.7, DecayFUpper = 3.8, DecayFLower = -3.7; // dB/s
constexpr double DecayS = 4.3, DecaySUpper = 0.8, DecaySLower = -0.7;
constexpr double LinearityLimit = 1.1; // dB
constexpr int LinearityRange = 60;     // dB below the reference, in steps of LinearityStep
constexpr int LinearityStep = 5;

constexpr double TimeF = 0.125, TimeS = 1.0;                           // s
constexpr double ReferenceFrequency = 1000, ToneburstFrequency = 4000; // Hz
// 3 dB below full scale: room for the weightings' gain above 1 kHz without clipping the samples.
constexpr double ReferenceAmplitude = 23197;
constexpr double TwoPi = 2 * std::numbers::pi;

// A signal as a function of the frame number since the rig started.
using TSignal = std::function<std::int16_t(long long frame)>;

TSignal Silence()
{
    return [](long long) { return std::int16_t{0}; };
}

// A sine starting at phase 0 on frame `start`; silence before it.
TSignal Sine(double frequency, double amplitude, int frameRate, long long start = 0)
{
    return [=](long long frame) {
        if (frame < start)
            return std::int16_t{0};
        const double cycles = std::fmod(static_cast<double>(frame - start) * frequency / frameRate, 1.0);
        return static_cast<std::int16_t>(std::lround(amplitude * std::sin(TwoPi * cycles)));
    };
}

class TRig
{
public:
    TRig(const TConformanceSetup& setup, double averagingTime)
        : Rate(setup.FrameRate), Block(2 * static_cast<std::size_t>(std::max(setup.BlockFrames, 128)))
    {
        Ports.Rate = setup.FrameRate;
        State.FrequencyWeighting = setup.Weighting;
        State.AveragingTime = averagingTime;
    }

    int BlockFrames() const { return static_cast<int>(Block.size() / 2); }
    long long FramesFed() const { return Frames; }
    long long FramesOf(double seconds) const { return std::llround(seconds * Rate); }
    double Seconds() const { return static_cast<double>(Frames) / Rate; }

    // Both channels get the same signal; the left one is read.
    void Feed(long long frames, const TSignal& signal)
    {
        for (long long i = 0; i < frames; ++i) {
            const std::int16_t sample = signal(Frames++);
            Block[2 * Filled] = Block[2 * Filled + 1] = sample;
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

    void StartStatistics()
    {
        State.Statistics.Reset();
        State.Statistics.Collecting = true;
    }
    double Leq() const { return StatisticsFigures(State).Left.Leq; }
    double Lmax() const { return StatisticsFigures(State).Left.Lmax; }
    double LE() const { return StatisticsFigures(State).Left.LE; }
    double TimeWeightedLevel() const { return TLevelMeter::Level(State.AveragedMeanSquareL, LevelOffsetDb); }

    std::function<void()> AfterBlock;

private:
    void Analyse()
    {
        int size = static_cast<int>(Block.size() * sizeof(std::int16_t));
        Meter.AnalyseBlock(reinterpret_cast<char*>(Block.data()), size);
        Filled = 0;
        if (AfterBlock)
            AfterBlock();
    }

    int Rate;
    TMeasurementState State;
    TStandaloneMeterPorts Ports; // the program's level meter over ports that show nothing
    TChartModel Chart;
    TLevelMeter Meter{State, Ports, Chart, Ports, Ports};
    std::vector<std::int16_t> Block;
    int Filled = 0;
    long long Frames = 0;
};

// Leq of a steady sine once the filters and the average have settled.
double SteadyLevel(const TConformanceSetup& setup, double frequency, double amplitude)
{
    TRig rig(setup, TimeF);
    const TSignal sine = Sine(frequency, amplitude, setup.FrameRate);
    rig.FeedBlocks(0.5, sine);
    rig.StartStatistics();
    rig.FeedBlocks(2.0, sine);
    return rig.Leq();
}

TConformanceRow Row(const QString& test, double expected, std::optional<double> measured,
                    std::optional<double> lower, double upper, bool decayRate = false)
{
    constexpr double Slack = 1e-9; // the limits themselves pass
    TConformanceRow row{test, expected, measured, lower, upper, decayRate, false};
    row.Passed = measured && *measured <= expected + upper + Slack &&
                 (!lower || *measured >= expected + *lower - Slack);
    return row;
}

QString Hertz(double frequency)
{
    return NumberFormat::General(frequency) + QStringLiteral(" Hz");
}

void AddWeightingRows(const TConformanceSetup& setup, double reference, std::vector<TConformanceRow>& rows)
{
    const QString letter = WeightingLetter(setup.Weighting);
    for (std::size_t band = 0; band < WeightingRows.size(); ++band) {
        const TWeightingRow& limits = WeightingRows[band];
        const double exact =
            1000 * std::pow(10.0, (static_cast<double>(band) + FirstWeightingBand - 30) / 10);
        std::optional<double> measured;
        if (exact < setup.FrameRate / 2.0)
            measured = SteadyLevel(setup, exact, ReferenceAmplitude) - reference;
        const double expected = setup.Weighting == TFrequencyWeighting::A   ? limits.A
                                : setup.Weighting == TFrequencyWeighting::C ? limits.C
                                                                            : 0.0;
        rows.push_back(Row(QStringLiteral("Korekcja %1, %2").arg(letter, Hertz(limits.Nominal)), expected,
                           measured, limits.Lower, limits.Upper));
    }
}

// One toneburst after silence that starts a little way into a block, as a real burst would; the
// largest time-weighted level and the sound exposure level, relative to the steady level.
struct TBurstResponse
{
    double Max = 0, Exposure = 0;
};

TBurstResponse Toneburst(const TConformanceSetup& setup, double averagingTime, double milliseconds,
                         double steady)
{
    TRig rig(setup, averagingTime);
    rig.StartStatistics();
    rig.FeedBlocks(0.25, Silence());
    rig.Feed(rig.BlockFrames() * 3 / 8, Silence());
    const long long start = rig.FramesFed();
    rig.Feed(std::max(rig.FramesOf(milliseconds / 1000), 1LL),
             Sine(ToneburstFrequency, ReferenceAmplitude, setup.FrameRate, start));
    rig.FeedBlocks(averagingTime, Silence());
    return {rig.Lmax() - steady, rig.LE() - steady};
}

QString Milliseconds(double milliseconds)
{
    return NumberFormat::General(milliseconds) + QStringLiteral(" ms");
}

bool ToneburstPlayable(const TConformanceSetup& setup)
{
    return ToneburstFrequency < setup.FrameRate / 2.0;
}

void AddToneburstRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const QString letter = WeightingLetter(setup.Weighting);
    const bool playable = ToneburstPlayable(setup);
    const double steady = playable ? SteadyLevel(setup, ToneburstFrequency, ReferenceAmplitude) : 0;
    std::vector<TConformanceRow> slow, exposure;
    for (const TToneburstRow& burst : ToneburstRows) {
        const QString name =
            QStringLiteral("Paczka 4 kHz %1, L%2").arg(Milliseconds(burst.Milliseconds), letter);
        std::optional<TBurstResponse> fast, s;
        if (playable) {
            fast = Toneburst(setup, TimeF, burst.Milliseconds, steady);
            if (burst.S)
                s = Toneburst(setup, TimeS, burst.Milliseconds, steady);
        }
        rows.push_back(Row(name + QStringLiteral("Fmax"), burst.F,
                           fast ? std::optional(fast->Max) : std::nullopt, burst.Lower, burst.Upper));
        exposure.push_back(Row(name + QStringLiteral("E"), burst.E,
                               fast ? std::optional(fast->Exposure) : std::nullopt, burst.Lower,
                               burst.Upper));
        if (burst.S)
            slow.push_back(Row(name + QStringLiteral("Smax"), *burst.S,
                               s ? std::optional(s->Max) : std::nullopt, burst.Lower, burst.Upper));
    }
    rows.insert(rows.end(), slow.begin(), slow.end());
    rows.insert(rows.end(), exposure.begin(), exposure.end());
}

// A steady 4 kHz signal that stops at a block's end; the time-weighted level falls from there on. The
// rate is taken between the block ends nearest to `from` and `from + span` seconds after the stop.
double DecayRate(const TConformanceSetup& setup, double averagingTime, double from, double span)
{
    TRig rig(setup, averagingTime);
    rig.FeedBlocks(10 * averagingTime, Sine(ToneburstFrequency, ReferenceAmplitude, setup.FrameRate));
    const double stop = rig.Seconds();
    double firstTime = -1, firstLevel = 0, lastTime = -1, lastLevel = 0;
    rig.AfterBlock = [&] {
        const double after = rig.Seconds() - stop;
        if (firstTime < 0 && after >= from) {
            firstTime = after;
            firstLevel = rig.TimeWeightedLevel();
        }
        if (lastTime < 0 && after >= from + span) {
            lastTime = after;
            lastLevel = rig.TimeWeightedLevel();
        }
    };
    rig.FeedBlocks(from + span, Silence());
    return (firstLevel - lastLevel) / (lastTime - firstTime);
}

void AddDecayRows(const TConformanceSetup& setup, std::vector<TConformanceRow>& rows)
{
    const bool playable = ToneburstPlayable(setup);
    const auto rate = [&](double averagingTime, double from, double span) {
        return playable ? std::optional(DecayRate(setup, averagingTime, from, span)) : std::nullopt;
    };
    rows.push_back(Row(QStringLiteral("Szybkość zaniku, F"), DecayF, rate(TimeF, 0.05, 0.5), DecayFLower,
                       DecayFUpper, true));
    rows.push_back(Row(QStringLiteral("Szybkość zaniku, S"), DecayS, rate(TimeS, 0.5, 5.0), DecaySLower,
                       DecaySUpper, true));
}

void AddLinearityRows(const TConformanceSetup& setup, double reference, std::vector<TConformanceRow>& rows)
{
    for (int step = LinearityStep; step <= LinearityRange; step += LinearityStep) {
        const double amplitude = ReferenceAmplitude * std::pow(10.0, -step / 20.0);
        rows.push_back(Row(QStringLiteral("Liniowość 1 kHz, -%1 dB").arg(step), -step,
                           SteadyLevel(setup, ReferenceFrequency, amplitude) - reference, -LinearityLimit,
                           LinearityLimit));
    }
}

// Leq of a 1 kHz signal switched on for `on` and off for `off` seconds, `repeats` times over.
double SequenceLeq(const TConformanceSetup& setup, double on, double off, int repeats)
{
    TRig rig(setup, TimeF);
    rig.StartStatistics();
    const TSignal sine = Sine(ReferenceFrequency, ReferenceAmplitude, setup.FrameRate);
    for (int i = 0; i < repeats; ++i) {
        rig.Feed(rig.FramesOf(on), sine);
        rig.Feed(rig.FramesOf(off), Silence());
    }
    rig.FeedBlocks(0, Silence());
    return rig.Leq();
}

void AddSequenceRows(const TConformanceSetup& setup, double reference, std::vector<TConformanceRow>& rows)
{
    const QString name = QStringLiteral("L%1eq, ").arg(WeightingLetter(setup.Weighting));
    const TToneburstRow& second = ToneburstRows[0];
    const TToneburstRow& tenth = ToneburstRows[3];
    const auto sequence = [&](double on, double off) {
        return name + QStringLiteral("%1 s włączony, %2 s wyłączony")
                          .arg(NumberFormat::General(on), NumberFormat::General(off));
    };
    rows.push_back(Row(sequence(1.0, 1.0), -3.0, SequenceLeq(setup, 1.0, 1.0, 2) - reference, second.Lower,
                       second.Upper));
    rows.push_back(Row(sequence(0.1, 0.9), -10.0, SequenceLeq(setup, 0.1, 0.9, 4) - reference, tenth.Lower,
                       tenth.Upper));
}

QString Unit(const TConformanceRow& row)
{
    return row.DecayRate ? QStringLiteral(" dB/s") : QStringLiteral(" dB");
}

} // namespace

std::vector<TConformanceRow> RunConformanceTest(const TConformanceSetup& setup)
{
    std::vector<TConformanceRow> rows;
    if (setup.FrameRate < TLevelMeter::MinimumWeightedRate)
        return rows;
    // The steady 1 kHz level that the relative responses, the linearity and the sequences refer to.
    const double reference = SteadyLevel(setup, ReferenceFrequency, ReferenceAmplitude);
    AddWeightingRows(setup, reference, rows);
    AddToneburstRows(setup, rows);
    AddDecayRows(setup, rows);
    AddLinearityRows(setup, reference, rows);
    AddSequenceRows(setup, reference, rows);
    return rows;
}

QString ExpectedText(const TConformanceRow& row)
{
    return NumberFormat::Fixed(row.Expected, 0, 1) + Unit(row);
}

QString MeasuredText(const TConformanceRow& row)
{
    if (!row.Measured)
        return QStringLiteral("poza pasmem");
    return NumberFormat::Fixed(*row.Measured, 0, 2) + Unit(row);
}

QString ToleranceText(const TConformanceRow& row)
{
    const QString upper = QStringLiteral("+") + NumberFormat::Fixed(row.Upper, 0, 1);
    if (!row.Lower)
        return upper + QStringLiteral(" / -∞") + Unit(row);
    if (*row.Lower == -row.Upper)
        return QStringLiteral("±") + NumberFormat::Fixed(row.Upper, 0, 1) + Unit(row);
    return upper + QStringLiteral(" / ") + NumberFormat::Fixed(*row.Lower, 0, 1) + Unit(row);
}

QString VerdictText(const TConformanceRow& row)
{
    return row.Passed ? QStringLiteral("Zgodny") : QStringLiteral("Niezgodny");
}
