// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/RecordingPorts.h"
#include "measure/SineGenerator.h"

#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct TFakeInput final : IStreamInfo
{
    bool IsRunning = true;
    int Rate = 48000;
    bool Integer = false;
    bool Running() const override { return IsRunning; }
    int FrameRate() const override { return Rate; }
    bool IntegerSamples() const override { return Integer; }
};

struct TFakeWindow final : IMeterWindow
{
    QString Text[2];
    int TextChanges = 0;
    bool Red[2] = {false, false};
    int Beeps = 0;
    bool StartEnabled = true;
    double AxisMin = 0, AxisMax = 0;
    int TimeAxisAutomatic = 0;
    int Active = 0;
    int ClockUpdates = 0, SweepSteps = 0;

    void SetReadoutText(int channel, const QString& text) override
    {
        Text[channel] = text;
        ++TextChanges;
    }
    void SetReadoutRed(int channel, bool red) override { Red[channel] = red; }
    void Beep() override { ++Beeps; }
    bool StartButtonEnabled() const override { return StartEnabled; }
    void SetLevelAxisRange(double minimum, double maximum) override
    {
        AxisMin = minimum;
        AxisMax = maximum;
    }
    void SetTimeAxisAutomatic() override { ++TimeAxisAutomatic; }
    int ActiveSeries() const override { return Active; }
    void UpdateClockPanel() override { ++ClockUpdates; }
    void SweepStep() override { ++SweepSteps; }
};

struct TFakeSink final : IAcquisitionSink
{
    std::vector<double> Values;
    void Enqueue(double value) override { Values.push_back(value); }
};

struct TFakeClock final : IClock
{
    std::int64_t Now = 0; // ms
    std::int64_t Counter() const override { return Now; }
    std::int64_t CounterFrequency() const override { return 1000; }
    QTime TimeOfDay() const override { return QTime(12, 0).addMSecs(int(Now)); }
};

// A meter over fakes, with the state of a running recording.
struct TRig
{
    TMeasurementState State;
    TFakeInput Input;
    TChartModel Chart;
    TFakeSink Sink;
    TFakeWindow Window;
    TFakeClock Clock;
    TLevelMeter Meter{State, Input, Chart, Sink, Window, Clock};

    TRig() { State.CounterFrequency = 1000; }

    // 16-bit samples, handed over as the input of a 16-bit stream hands them over.
    void Feed(const std::vector<std::int16_t>& interleaved)
    {
        Input.Integer = true;
        std::vector<float> samples(interleaved.size());
        IntegerToFloat(reinterpret_cast<const char*>(interleaved.data()), samples.data(), int(samples.size()),
                       16);
        FeedFloat(std::move(samples));
    }
    void FeedFloat(std::vector<float> samples)
    {
        int count = int(samples.size());
        QVERIFY(Meter.AnalyseBlock(samples.data(), count));
        QCOMPARE(count, int(samples.size()));
    }
    // A block of `frames` frames with the given left and right sample functions of the index.
    template <typename L, typename R> void Feed(int frames, L left, R right)
    {
        std::vector<std::int16_t> s;
        for (int i = 0; i < frames; ++i) {
            s.push_back(std::int16_t(left(i)));
            s.push_back(std::int16_t(right(i)));
        }
        Feed(s);
    }
    void FeedConstant(int frames, int left, int right)
    {
        Feed(
            frames, [=](int) { return left; }, [=](int) { return right; });
    }
};

const QChar Separators[] = {QLatin1Char(','), QLatin1Char('.')};

// A 16-bit sample goes through a float on its way to the meter: it comes back within a float's
// precision (a few parts in 10^8), and so do its squares and levels.
bool Near(long double value, long double expected, long double relative = 1e-6L)
{
    return std::abs(value - expected) <= relative * std::abs(expected);
}
bool NearDb(double value, double expected)
{
    return std::abs(value - expected) < 1e-5;
}

QString Shown(const char* text, QChar separator)
{
    return QString::fromLatin1(text).replace(QLatin1Char('.'), separator);
}

} // namespace

class TestLevelMeter : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    void FourFrameBlockMeanSquaresAndExtremes()
    {
        TRig rig;
        rig.Feed({1000, 0, -1000, 0, 1000, 0, -1000, 0});
        QVERIFY(Near(rig.State.BlockMeanSquareL, 1000000.0L));
        QCOMPARE(rig.State.BlockMeanSquareR, 0.0L);
        QVERIFY(Near(rig.State.PeakMinL, -1000));
        QVERIFY(Near(rig.State.PeakMaxL, 1000));
        QCOMPARE(rig.State.PeakMinR, 0.0);
        QCOMPARE(rig.State.PeakMaxR, 0.0);
        // Extremes fold into the running ones, which start at 0.
        rig.FeedConstant(4, 5, 7);
        QVERIFY(Near(rig.State.PeakMinL, -1000));
        QVERIFY(Near(rig.State.PeakMaxR, 7));
        QCOMPARE(rig.State.PeakMinR, 0.0);
    }

    // The exact sum divided once agrees with adding (a * a) / N sample by sample.
    void MeanSquareAgreesWithThePerSampleSum()
    {
        QRandomGenerator random(3);
        for (const int frames : {128, 1500, 4097}) {
            TRig rig;
            std::vector<std::int16_t> s(std::size_t(frames) * 2);
            for (auto& v : s)
                v = std::int16_t(random.bounded(65536) - 32768);
            s[0] = -32768;
            rig.Feed(s);
            long double left = 0, right = 0;
            for (int i = 0; i < frames; ++i) {
                left += (long double)(s[2 * i] * s[2 * i]) / frames;
                right += (long double)(s[2 * i + 1] * s[2 * i + 1]) / frames;
            }
            QVERIFY(Near(rig.State.BlockMeanSquareL, left));
            QVERIFY(Near(rig.State.BlockMeanSquareR, right));
        }
    }

    // The average follows every sample, y += (s - y)(1 - e^(-1 / (48000 x 1 s))), whatever the blocks:
    // a step reads the same after one block of 1500 frames as after three of 500.
    void TimeWeightingFollowsEverySample()
    {
        const long double expected = 10000 * -std::expm1(-1500.0L / 48000);
        TRig whole, parts;
        whole.FeedConstant(1500, 100, 0);
        for (int block = 0; block < 3; ++block)
            parts.FeedConstant(500, 100, 0);
        QVERIFY(Near(whole.State.AveragedMeanSquareL, expected));
        QVERIFY(Near(parts.State.AveragedMeanSquareL, expected));
        QVERIFY(Near(whole.State.AveragedMeanSquareL, parts.State.AveragedMeanSquareL, 1e-12L));
        QCOMPARE(whole.State.AveragedMeanSquareR, 0.0L);

        // A new averaging time or frame rate counts from the very next block.
        whole.State.AveragingTime = 0.125;
        whole.Input.Rate = 96000;
        const long double before = whole.State.AveragedMeanSquareL;
        whole.FeedConstant(1500, 0, 0);
        QVERIFY(std::abs(whole.State.AveragedMeanSquareL - before * std::exp(-1500.0L / (96000 * 0.125L))) <
                1e-9L);
    }

    // A steady tone reads its own level within a hundredth of a dB with F and S, once the settling
    // restart has started the average on it (without it S is still far below); I holds the peaks of
    // its 35 ms average's ripple, a hundredth more at 1 kHz.
    void RestartedTimeWeightingReadsASteadyToneAtOnce()
    {
        const auto tone = [](int i) { return std::lrint(20000 * std::sin(2 * M_PI * i / 48)); };
        for (const int item : {0, 1, 2}) {
            TRig rig, unprimed;
            for (TRig* r : {&rig, &unprimed}) {
                r->State.AveragingTime = std::array{1.0, 0.125, 0.035}[item];
                r->State.ImpulseWeighting = item == 2;
            }
            rig.State.RestartTimeWeighting = true;
            for (int block = 0; block < 64; ++block) { // 0.17 s in short blocks
                rig.Feed(128, tone, tone);
                unprimed.Feed(128, tone, tone);
            }
            QVERIFY(!rig.State.RestartTimeWeighting);
            const double level = TLevelMeter::Level(rig.State.AveragedMeanSquareL, 3);
            const double steady = TLevelMeter::Level(rig.State.BlockMeanSquareL, 3);
            QVERIFY2(std::abs(level - steady) < (item == 2 ? 0.02 : 0.01),
                     qPrintable(QString("%1: %2").arg(item).arg(level - steady)));
            if (item == 0)
                QVERIFY(TLevelMeter::Level(unprimed.State.AveragedMeanSquareL, 3) < steady - 3);
        }
    }

    // A low tone already playing when a recording starts: its first reading and every later one are
    // the samples' level plus the weighting, within 0.1 dB and the ripple the time constant leaves of
    // the tone's squares, whatever the tone's phase at the start; the statistics start with them.
    // The weighting filters' answer to the tone's sudden first sample would otherwise stay in S for
    // seconds (5 dB at 25 Hz through A).
    void ARecordingStartsOnARunningToneAsLaterOn()
    {
        constexpr int Rate = 48000, Block = 1500, Amplitude = 3277; // -20 dBFS
        const TWeightingDesign design = DesignWeighting(Rate);
        const double samples = TLevelMeter::Level(Amplitude * double(Amplitude) / 2, LevelOffsetDb);
        for (const double frequency : {20.0, 25.0, 31.5, 40.0, 63.0})
            for (const TFrequencyWeighting weighting : {TFrequencyWeighting::A, TFrequencyWeighting::C})
                for (const double time : {1.0, 0.125})
                    for (const double phase : {0.0, 0.9, 2.1}) {
                        TRig rig;
                        rig.State.FrequencyWeighting = weighting;
                        rig.State.AveragingTime = time;
                        rig.State.StartMeter = true;
                        rig.State.Statistics.Collecting = true; // a measurement delay of 0
                        const double step = 2 * M_PI * frequency / Rate;
                        int frame = 0;
                        const auto tone = [&](int i) {
                            return std::lrint(Amplitude * std::sin(phase + step * (frame + i)));
                        };
                        const double expected =
                            samples + DesignResponseDb(design, weighting, frequency, Rate);
                        // The ripple of the squares' exponential average, as a level.
                        const double ripple =
                            10 * std::log10(1 + 1 / std::hypot(1, 4 * M_PI * frequency * time)) + 0.1;
                        const QString where = QString("%1 Hz %2 %3 s phase %4")
                                                  .arg(frequency)
                                                  .arg(WeightingLetter(weighting))
                                                  .arg(time)
                                                  .arg(phase);
                        double worst = 0;
                        for (int block = 0; block < 4 * Rate / Block; ++block, frame += Block) {
                            rig.Feed(Block, tone, tone);
                            if (!rig.State.MeterReady)
                                continue;
                            const double reading =
                                TLevelMeter::Level(rig.State.AveragedMeanSquareL, LevelOffsetDb);
                            worst = std::max(worst, std::abs(reading - expected));
                        }
                        QVERIFY2(worst < ripple, qPrintable(where + QString(": %1 dB").arg(worst)));
                        const TStatisticsFigures figures = StatisticsFigures(rig.State);
                        QVERIFY2(
                            std::abs(figures.Left.Lmax - expected) < ripple &&
                                std::abs(figures.Left.Lmin - expected) < ripple,
                            qPrintable(
                                where +
                                QString(": Lmax %1, Lmin %2").arg(figures.Left.Lmax).arg(figures.Left.Lmin)));
                        QVERIFY2(std::abs(figures.Left.Leq - expected) < 0.1, qPrintable(where));
                        QVERIFY(std::abs(figures.Duration - (4.0 - 0.25)) < Block / double(Rate));
                    }
    }

    // A start from rest forgets the last run: its filters' ringing reaches no peak of the next.
    void AStartForgetsTheLastRun()
    {
        TRig rig;
        rig.State.FrequencyWeighting = TFrequencyWeighting::C;
        rig.FeedConstant(1500, 30000, 30000); // the filters ring after this step
        rig.State.StartMeter = true;
        rig.State.Statistics.Collecting = true;
        for (int block = 0; block < 16; ++block)
            rig.FeedConstant(1500, 0, 0);
        QCOMPARE(StatisticsFigures(rig.State).Left.Lpeak, TLevelMeter::SilenceLevel);
    }

    // F and I: a step up follows 125 ms and 35 ms; after a stop F falls 34.7 dB/s and I, held by its
    // detector, 2.9 dB/s.
    void FastAndImpulseRiseAndFall()
    {
        struct TCase
        {
            double Time;
            bool Impulse;
            double Rise, Fall; // s, dB/s
        };
        for (const TCase c : {TCase{0.125, false, 0.125, 34.74}, TCase{0.035, true, 0.035, 2.9}}) {
            TRig rig;
            rig.State.AveragingTime = c.Time;
            rig.State.ImpulseWeighting = c.Impulse;
            rig.FeedConstant(480, 1000, 0); // 10 ms
            QVERIFY(std::abs(rig.State.AveragedMeanSquareL / 1e6L - -std::expm1(-0.01L / c.Rise)) < 1e-6L);
            for (int block = 0; block < 100; ++block)
                rig.FeedConstant(480, 1000, 0);
            const auto level = [&] { return TLevelMeter::Level(rig.State.AveragedMeanSquareL, 0); };
            for (int block = 0; block < 50; ++block) // 0.5 s: the 35 ms average is far below the detector
                rig.FeedConstant(480, 0, 0);
            const double from = level();
            for (int block = 0; block < 100; ++block)
                rig.FeedConstant(480, 0, 0);
            QVERIFY2(std::abs(from - level() - c.Fall) < 0.01, qPrintable(QString::number(from - level())));
        }
    }

    // No averaging time, rate or block length may make the average diverge or turn into NaN.
    void AverageStaysFiniteForAnySettings()
    {
        for (const double time : {0.0, -1.0, 0.001, std::nan(""), HUGE_VAL}) {
            for (const int rate : {0, -48000, 8000}) {
                TRig rig;
                rig.State.AveragingTime = time;
                rig.Input.Rate = rate;
                for (int i = 0; i < 200; ++i)
                    rig.FeedConstant(8192, i % 2 ? 30000 : 3, -32768);
                const long double a = rig.State.AveragedMeanSquareL;
                QVERIFY2(std::isfinite(double(a)) && a >= 0 && a <= 30000.0L * 30000 * 1.000001L,
                         qPrintable(QString("%1 %2").arg(time).arg(rate)));
                rig.Meter.RefreshLevels();
                QVERIFY(std::isfinite(rig.State.LevelL) && std::isfinite(rig.State.LevelR));
            }
        }
        TRig rig;
        int empty = 1;
        QVERIFY(rig.Meter.AnalyseBlock(nullptr, empty)); // shorter than a frame: nothing to do
        QCOMPARE(rig.State.AveragedMeanSquareL, 0.0L);
    }

    void FullScaleReadings_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << Separators[0];
        QTest::newRow("point") << Separators[1];
    }

    // A full-scale sine reads -0.0103 dB, shown as zero; a full-scale square wave 3.0 dB.
    void FullScaleReadings()
    {
        QFETCH(QChar, separator);
        NumberFormat::SetDecimalSeparator(separator);
        TRig rig;
        rig.State.NoAveraging = true;
        rig.State.TimeCalibrationR = -20.25;
        // 1600 frames are 100 periods of 16: the exact sine's mean square is 32767^2 / 2 to rounding.
        rig.Feed(
            1600, [](int i) { return std::lrint(32767 * std::sin(2 * M_PI * i / 16)); },
            [](int i) { return i % 2 ? 32767 : -32767; });
        rig.Meter.Tick();
        QVERIFY(std::abs(rig.State.LevelL - (3 - 10 * std::log10(2.0))) < 1e-4);
        QCOMPARE(rig.Window.Text[0], Shown("0.0dB", separator));
        QCOMPARE(rig.State.LevelR, 3.0);
        QCOMPARE(rig.Window.Text[1], Shown("-17.2dB", separator)); // 3 - 20.25, ties to even
        QCOMPARE(rig.Window.ClockUpdates, 1);
    }

    // Digital silence reads the one floor everywhere, never -inf or NaN.
    void SilenceGivesTheFloorEverywhere()
    {
        TRig rig;
        rig.State.AcquisitionOn = true;
        rig.State.TimeCalibrationL = 1.5;
        rig.FeedConstant(1500, 0, 0);
        rig.Meter.Tick();
        QCOMPARE(rig.State.LevelL, TLevelMeter::SilenceLevel);
        QCOMPARE(rig.State.BlockLevelR, TLevelMeter::SilenceLevel);
        QCOMPARE(rig.Sink.Values.at(1), TLevelMeter::SilenceLevel + 1.5);
        QCOMPARE(rig.Sink.Values.at(2), TLevelMeter::SilenceLevel);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).Y(0), TLevelMeter::SilenceLevel);
        QCOMPARE(rig.Window.Text[1], NumberFormat::Fixed(TLevelMeter::SilenceLevel, 2, 1) + "dB");
        // An average decayed towards zero stays at the floor, not thousands of dB below it.
        QCOMPARE(TLevelMeter::Level(1e-4000L, 3), TLevelMeter::SilenceLevel);
        QVERIFY(TLevelMeter::Level(1.0L / 1000000, 3) > TLevelMeter::SilenceLevel); // one LSB in a million
        rig.Meter.CaptureCalibrationLevels();
        QCOMPARE(rig.State.BlockLevelL, TLevelMeter::SilenceLevel);
    }

    // A sample that reaches full scale with either sign overloads (a clipped one looks the same): red
    // and one beep at the next tick, then the peak is cleared. One step below does not.
    void OverloadAtFullScaleOfEitherSign_data()
    {
        QTest::addColumn<TFrequencyWeighting>("weighting");
        QTest::newRow("Z") << TFrequencyWeighting::Z;
        QTest::newRow("A") << TFrequencyWeighting::A; // the raw samples count, not the weighted ones
    }
    void OverloadAtFullScaleOfEitherSign()
    {
        QFETCH(TFrequencyWeighting, weighting);
        TRig rig;
        rig.State.FrequencyWeighting = weighting;
        const auto belowFullScale = [](int i) { return i % 2 ? 32766 : -32766; };
        rig.Feed(1500, belowFullScale, belowFullScale);
        rig.Meter.Tick();
        QCOMPARE(rig.Window.Beeps, 0);
        rig.State.DisplayTimeRefresh = 100; // keep the read-outs (and the colour) as they are
        rig.Feed(
            1500, [](int i) { return i == 700 ? 32767 : 0; }, [](int) { return 5; });
        rig.Meter.Tick();
        QCOMPARE(rig.Window.Beeps, 1);
        QVERIFY(rig.Window.Red[0]);
        QVERIFY(!rig.Window.Red[1]);
        QCOMPARE(rig.State.PeakMaxL, 0.0);
        QCOMPARE(rig.State.PeakMinL, 0.0);
        QVERIFY(Near(rig.State.PeakMaxR, 32766));
        // The overload cleared the extremes, not the peak: full scale stays the channel's peak level.
        QCOMPARE(TLevelMeter::PeakLevel(rig.State, 0), 0.0);
        QVERIFY(NearDb(TLevelMeter::PeakLevel(rig.State, 1), 20 * std::log10(32766 / 32768.0)));
        rig.State.ResetPeaks();
        QCOMPARE(TLevelMeter::PeakLevel(rig.State, 0), TLevelMeter::SilenceLevel);
        rig.Meter.Tick();
        QCOMPARE(rig.Window.Beeps, 1); // once per overload
        rig.FeedConstant(128, 0, -32768);
        rig.Meter.Tick();
        QCOMPARE(rig.Window.Beeps, 2);
        QVERIFY(rig.Window.Red[1]);
        // The next refresh of the read-outs clears the red.
        rig.State.DisplayCounter = 0;
        rig.Meter.Tick();
        QVERIFY(!rig.Window.Red[0] && !rig.Window.Red[1]);
    }

    void CompensationSubtractsTheOtherChannel()
    {
        const struct
        {
            TChannelMode Mode;
            double Left, Right;
        } cases[] = {
            {TChannelMode::Left, 10, -20}, {TChannelMode::Right, -10, -10}, {TChannelMode::Both, -10, -20}};
        for (const auto& c : cases) {
            TRig rig;
            rig.State.NoAveraging = true;
            rig.State.Compensation = true;
            rig.State.ChannelMode = c.Mode;
            rig.State.TimeCalibrationL = 100; // added after the subtraction
            // -10 dB and -20 dB blocks (mean squares of a tenth and a hundredth of full scale, less 3 dB).
            const double ms10 = 1073676289.0 * std::pow(10.0, -1.3),
                         ms20 = 1073676289.0 * std::pow(10.0, -2.3);
            rig.Feed(
                1024,
                [&](int i) { return i % 2 ? std::lrint(std::sqrt(ms10)) : -std::lrint(std::sqrt(ms10)); },
                [&](int i) { return i % 2 ? std::lrint(std::sqrt(ms20)) : -std::lrint(std::sqrt(ms20)); });
            rig.Meter.Tick();
            QVERIFY2(std::abs(rig.State.LevelL - c.Left) < 0.01,
                     qPrintable(QString::number(rig.State.LevelL)));
            QVERIFY2(std::abs(rig.State.LevelR - c.Right) < 0.01,
                     qPrintable(QString::number(rig.State.LevelR)));
            QVERIFY(std::abs(rig.Chart.Series(LeftChannelSeries).Y(0) - (c.Left + 100)) < 0.01);
        }
    }

    // Read-outs on ticks 1, 5, 9 of the run; a chart point on every tick; nothing while the input is stopped.
    void ReadoutsRefreshEveryNthTick()
    {
        TRig rig;
        int refreshedOn[12] = {};
        for (int tick = 1; tick <= 11; ++tick) {
            rig.FeedConstant(1500, tick * 100, 0);
            const int before = rig.Window.TextChanges;
            rig.Meter.Tick();
            refreshedOn[tick] = rig.Window.TextChanges - before;
        }
        for (int tick = 1; tick <= 11; ++tick)
            QCOMPARE(refreshedOn[tick], tick % 4 == 1 ? 2 : 0);
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 11);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).Count(), 11);

        rig.Input.IsRunning = false;
        rig.State.DisplayTimeRefresh = 0; // taken as 1, never a division by zero
        rig.Meter.Tick();
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 11);
        QCOMPARE(rig.Window.ClockUpdates, 12);
        rig.Input.IsRunning = true;
        rig.Meter.Tick();
        rig.Meter.Tick();
        QCOMPARE(rig.Window.TextChanges, 3 * 2 + 2 * 2);
    }

    // A 2 s window ticking every 250 ms keeps 9 points; time, left, right go to the queue in that order.
    void SlidingWindowAndAcquisition()
    {
        TRig rig;
        rig.State.AcquisitionOn = true;
        rig.State.TimeCalibrationR = 2;
        rig.State.StartCount = 1000;
        for (int tick = 1; tick <= 20; ++tick) {
            rig.Clock.Now = 1000 + 250 * tick;
            rig.FeedConstant(1500, 1000, 1000);
            rig.Meter.Tick();
        }
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 9);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).MinX(), 3.0);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).MaxX(), 5.0);
        QCOMPARE(rig.Window.TimeAxisAutomatic, 12); // from 2.25 s on
        QCOMPARE(rig.Sink.Values.size(), std::size_t(60));
        QCOMPARE(rig.Sink.Values[57], 5.0);
        QCOMPARE(rig.Sink.Values[58], rig.State.LevelL);
        QCOMPARE(rig.Sink.Values[59], rig.State.LevelR + 2);
        QCOMPARE(rig.State.PointValue, rig.State.LevelR + 2);
        QCOMPARE(rig.State.NowClock, QTime(12, 0, 6));
    }

    // The level axis follows the data with a margin, rounded with halves to even.
    void AutomaticLevelAxis()
    {
        TRig rig;
        rig.State.TimeAutoLevelScale = true;
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.DisplayTimeRefresh = 1;
        rig.Chart.Append(LeftChannelSeries, 0, -42.5);
        rig.Chart.Append(RightChannelSeries, 0, -20.5);
        rig.Meter.RefreshLevels();           // silence points at the floor come after the axis is set
        QCOMPARE(rig.Window.AxisMin, -48.0); // -47.5
        QCOMPARE(rig.Window.AxisMax, -16.0); // -15.5
        rig.Chart.ClearAll();
        rig.Chart.Append(LeftChannelSeries, 0, -42.5);
        rig.Chart.Append(RightChannelSeries, 0, -20.5);
        rig.State.ChannelMode = TChannelMode::Right;
        rig.State.LevelExcess = 0;
        rig.Meter.RefreshLevels();
        QCOMPARE(rig.Window.AxisMin, -20.5);
        QCOMPARE(rig.Window.AxisMax, -20.5);

        // Right after a start the series are empty: the axis of the start stays, not 0 dB give or take.
        rig.Chart.ClearAll();
        rig.Window.AxisMin = -95;
        rig.Window.AxisMax = 5;
        rig.Meter.RefreshLevels();
        QCOMPARE(rig.Window.AxisMin, -95.0);
        QCOMPARE(rig.Window.AxisMax, 5.0);
    }

    // A sweep appends at the generator's frequency to the active series, the right channel four above.
    void SweepPointsGoToTheActiveSeries()
    {
        TRig rig;
        rig.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.GeneratorFrequency = 1250;
        rig.State.FreqCalibrationL = 10;
        rig.State.FreqCalibrationR = -10;
        rig.State.DisplayTimeRefresh = 1000;
        rig.Window.Active = 1;
        rig.FeedConstant(1500, 0, 0);
        rig.Meter.Tick();
        rig.Meter.Tick();
        QCOMPARE(rig.Window.TextChanges, 4); // every tick in a sweep
        QCOMPARE(rig.Window.SweepSteps, 2);
        QCOMPARE(rig.Chart.Series(1).Count(), 2);
        QCOMPARE(rig.Chart.Series(5).Count(), 2);
        QCOMPARE(rig.Chart.Series(1).X(0), 1250.0);
        QCOMPARE(rig.Chart.Series(1).Y(0), rig.State.LevelL + 10);
        QCOMPARE(rig.Chart.Series(5).Y(0), rig.State.LevelR - 10);
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 0);

        rig.State.ChannelMode = TChannelMode::Right;
        rig.Window.Active = 6;
        rig.Meter.Tick();
        QCOMPARE(rig.Chart.Series(6).Y(0), rig.State.LevelR - 10);
        rig.Window.Active = -1; // no active series: nothing appended anywhere
        rig.Meter.Tick();
        for (int s = 0; s < ChartSeriesCount; ++s)
            QCOMPARE(rig.Chart.Series(s).Count(), s == 1 || s == 5 ? 2 : s == 6 ? 1 : 0);
    }

    // With an interval of 0 every block ticks, but only while the start button is enabled.
    void DirectTickFromBlocks()
    {
        TRig rig;
        rig.State.ChartTimeRefresh = 0;
        rig.Window.StartEnabled = false;
        rig.FeedConstant(1500, 1, 1);
        QCOMPARE(rig.Window.ClockUpdates, 0);
        rig.Window.StartEnabled = true;
        rig.FeedConstant(1500, 1, 1);
        QCOMPARE(rig.Window.ClockUpdates, 1);
        rig.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
        rig.FeedConstant(1500, 1, 1);
        QCOMPARE(rig.Window.SweepSteps, 0);
        rig.State.PointTime = 0;
        rig.FeedConstant(1500, 1, 1);
        QCOMPARE(rig.Window.SweepSteps, 1);
    }

    // Block levels without the 3 dB; the level and frequency are taken when the peak magnitude of
    // either sign grows, so a quieter point never replaces a louder one, and an overload is reported
    // once with the first clipping block kept as the maximum.
    void CalibrationCapture()
    {
        TRig rig;
        rig.State.GeneratorFrequency = 1234.5;
        rig.FeedConstant(1500, -1000, 1000);
        rig.Meter.CaptureCalibrationLevels();
        QVERIFY(NearDb(rig.State.BlockLevelL, 10 * std::log10(1e6 / 1073676289.0)));
        QCOMPARE(rig.State.CalibrationPeakLevelL, rig.State.BlockLevelL);
        QCOMPARE(rig.State.CalibrationPeakFrequencyL, 1234.5);
        QCOMPARE(rig.State.CalibrationPeakFrequencyR, 1234.5); // a positive peak counts as well

        rig.State.GeneratorFrequency = 2000;
        rig.FeedConstant(1500, 500, 500);
        rig.Meter.CaptureCalibrationLevels();
        QCOMPARE(rig.State.CalibrationPeakFrequencyL, 1234.5);

        for (const double frequency : {3000.0, 4000.0}) {
            rig.State.GeneratorFrequency = frequency;
            rig.FeedConstant(128, frequency == 3000 ? -32768 : -20000, 0);
            rig.Meter.CaptureCalibrationLevels();
        }
        QCOMPARE(rig.Window.Beeps, 1);
        QVERIFY(rig.Window.Red[0]);
        QCOMPARE(rig.State.CalibrationPeakFrequencyL, 3000.0);
        QVERIFY(NearDb(rig.State.CalibrationPeakLevelL, 10 * std::log10(32768.0 * 32768.0 / 1073676289.0)));

        rig.Input.IsRunning = false;
        rig.State.GeneratorFrequency = 99;
        rig.Meter.CaptureCalibrationLevels();
        QCOMPARE(rig.State.CalibrationPeakFrequencyL, 3000.0);
    }

    // With A the read-out says so and a 1 kHz tone reads as with Z. After the tone, digital silence
    // reads the floor again: the filters' tail ends in zeros, not in a residue.
    void WeightedReadoutAndSilence()
    {
        NumberFormat::SetDecimalSeparator(QLatin1Char(','));
        TRig rig;
        rig.State.NoAveraging = true;
        const auto tone = [](int i) { return std::lrint(20000 * std::sin(2 * M_PI * i / 48)); };
        rig.Feed(4800, tone, tone);
        rig.Meter.Tick();
        const double unweighted = rig.State.LevelL;
        QCOMPARE(rig.Window.Text[0], QString("-4,3dB"));

        rig.State.FrequencyWeighting = TFrequencyWeighting::A;
        for (int block = 0; block < 5; ++block)
            rig.Feed(4800, tone, tone);
        rig.State.DisplayCounter = 0;
        rig.Meter.Tick();
        QVERIFY2(std::abs(rig.State.LevelL - unweighted) < 0.01,
                 qPrintable(QString::number(rig.State.LevelL)));
        QCOMPARE(rig.Window.Text[0], QString("-4,3dB(A)"));

        for (int block = 0; block < 20; ++block)
            rig.FeedConstant(4800, 0, 0);
        QCOMPARE(rig.State.BlockMeanSquareL, 0.0L);
        QCOMPARE(rig.State.BlockMeanSquareR, 0.0L);
    }

    // Leq of 1 s at 94 dB and 1 s of silence is 91.0 dB; LE of a 0.5 s burst is 3 dB below that of a
    // 1 s one. The figures are the weighted signal's, with the calibration offset of the read-outs.
    void LeqAndSoundExposure()
    {
        NumberFormat::SetDecimalSeparator(QLatin1Char('.'));
        const auto tone = [](int i) { return std::lrint(20000 * std::sin(2 * M_PI * i / 48)); };
        const auto recording = [&](int toneBlocks, int silentBlocks, double offset) {
            TRig rig;
            rig.State.FrequencyWeighting = TFrequencyWeighting::A;
            rig.State.AveragingTime = 0.125;
            rig.State.TimeCalibrationL = offset;
            rig.State.Statistics.Collecting = true;
            for (int block = 0; block < toneBlocks; ++block)
                rig.Feed(480, tone, tone); // 10 ms, ten periods
            for (int block = 0; block < silentBlocks; ++block)
                rig.FeedConstant(480, 0, 0);
            return StatisticsFigures(rig.State);
        };
        const double offset = 94 - recording(100, 0, 0).Left.Leq; // the tone reads 94 dB(A)

        const TStatisticsFigures second = recording(100, 100, offset);
        QCOMPARE(second.Duration, 2.0);
        QCOMPARE(NumberFormat::Fixed(second.Left.Leq, 0, 1), QString("91.0"));
        QVERIFY(std::abs(second.Left.LE - 94) < 0.01); // 1 s at 94 dB
        QVERIFY(std::abs(second.Left.Lmax - 94) < 0.01);
        QVERIFY(second.Left.Lmin < 60); // F falls some 35 dB in the second of silence
        const TStatisticsFigures half = recording(50, 150, offset);
        QVERIFY2(std::abs(second.Left.LE - half.Left.LE - 10 * std::log10(2.0)) < 0.01,
                 qPrintable(QString::number(second.Left.LE - half.Left.LE)));
    }

    // LAFmax of a 10 ms 4 kHz toneburst is 10 lg(1 - e^(-10 ms / 125 ms)) below the steady level,
    // within 0.1 dB wherever in a block the burst starts: the maximum is the samples' own.
    void ToneburstMaximumAtEveryStartPosition()
    {
        constexpr int Block = 480;
        const auto tone = [](long long i) { return std::lrint(20000 * std::sin(2 * M_PI * i / 12)); };
        const auto weighted = [](TRig& rig) {
            rig.State.FrequencyWeighting = TFrequencyWeighting::A;
            rig.State.AveragingTime = 0.125;
            rig.State.Statistics.Collecting = true;
        };
        TRig steady;
        weighted(steady);
        for (int block = 0; block < 100; ++block)
            steady.Feed(Block, tone, tone);
        const double expected =
            StatisticsFigures(steady.State).Left.Leq + 10 * std::log10(-std::expm1(-0.08));
        for (int start = 0; start < Block; ++start) {
            TRig rig;
            weighted(rig);
            const auto burst = [&](int block) {
                return [=](int i) {
                    const long long frame = static_cast<long long>(block) * Block + i - start;
                    return frame >= 0 && frame < 480 ? tone(frame) : 0;
                };
            };
            for (int block = 0; block < 4; ++block)
                rig.Feed(Block, burst(block), burst(block));
            const double maximum = StatisticsFigures(rig.State).Left.Lmax;
            QVERIFY2(std::abs(maximum - expected) < 0.1,
                     qPrintable(QString("%1: %2").arg(start).arg(maximum - expected)));
        }
    }

    // Without time weighting the extremes are those of the block levels, as the read-outs show them.
    void ExtremesWithoutTimeWeightingAreTheBlocks()
    {
        TRig rig;
        rig.State.NoAveraging = true;
        rig.State.Statistics.Collecting = true;
        for (const int sample : {1000, 3000, 2000})
            rig.FeedConstant(1500, sample, sample);
        const TStatisticsFigures figures = StatisticsFigures(rig.State);
        QVERIFY(NearDb(figures.Left.Lmax, TLevelMeter::Level(3000.0 * 3000, LevelOffsetDb)));
        QVERIFY(NearDb(figures.Right.Lmin, TLevelMeter::Level(1000.0 * 1000, LevelOffsetDb)));
        QVERIFY(std::abs(figures.Left.Exceeded[3] - TLevelMeter::Level(2000.0 * 2000, LevelOffsetDb)) <=
                0.05); // L50
    }

    // The peak is the largest raw magnitude with Z and C-weighted with A and C: a 50 Hz tone that A
    // turns down by 30 dB keeps its C peak.
    void PeakIsCWeighted()
    {
        const auto tone = [](int i) { return std::lrint(20000 * std::sin(2 * M_PI * i / 960)); }; // 50 Hz
        const double rawPeak = TLevelMeter::Level(20000.0 * 20000.0, LevelOffsetDb);
        TStatisticsFigures figures[3];
        for (const TFrequencyWeighting weighting :
             {TFrequencyWeighting::Z, TFrequencyWeighting::A, TFrequencyWeighting::C}) {
            TRig rig;
            rig.State.FrequencyWeighting = weighting;
            for (int block = 0; block < 10; ++block) // the filters settle first
                rig.Feed(960, tone, tone);
            rig.State.Statistics.Collecting = true;
            for (int block = 0; block < 50; ++block)
                rig.Feed(960, tone, tone);
            figures[int(weighting)] = StatisticsFigures(rig.State);
        }
        const TStatisticsFigures& z = figures[int(TFrequencyWeighting::Z)];
        const TStatisticsFigures& a = figures[int(TFrequencyWeighting::A)];
        const TStatisticsFigures& c = figures[int(TFrequencyWeighting::C)];
        const double c50 = AnalyticResponseDb(TFrequencyWeighting::C, 50);
        QVERIFY(NearDb(z.Left.Lpeak, rawPeak));
        QVERIFY(std::abs(a.Left.Lpeak - (rawPeak + c50)) < 0.05);
        QCOMPARE(c.Left.Lpeak, a.Left.Lpeak);
        QVERIFY(std::abs(a.Left.Leq - z.Left.Leq - AnalyticResponseDb(TFrequencyWeighting::A, 50)) < 0.05);
    }

    // Compensation and calibration act on the figures as on the read-outs; the names are those of the
    // weighting and the time weighting the figures were measured with, not of a later choice.
    void StatisticsFollowTheReadoutRules()
    {
        NumberFormat::SetDecimalSeparator(QLatin1Char(','));
        TRig rig;
        QCOMPARE(StatisticsTable(rig.State).at(1), QStringList({"LZeq", "-", "-"}));
        rig.State.Compensation = true;
        rig.State.TimeCalibrationL = 100;
        rig.State.TimeCalibrationR = 7;
        rig.State.Statistics.Collecting = true;
        rig.FeedConstant(1500, 1000, 100);
        const TStatisticsFigures figures = StatisticsFigures(rig.State);
        const double right = TLevelMeter::Level(10000, LevelOffsetDb);
        QCOMPARE(figures.Left.Leq, 20 + 100.0); // left less right, then the left offset
        QCOMPARE(figures.Left.Lpeak, 20 + 100.0);
        QCOMPARE(figures.Left.LE, 20 + 100.0);
        QVERIFY(NearDb(figures.Right.Leq, right + 7));
        QVERIFY(NearDb(figures.Right.LE, right + 7 + 10 * std::log10(1500 / 48000.0)));
        QCOMPARE(StatisticsTableText(rig.State).section('\n', 0, 1),
                 QString("\tKanał lewy\tKanał prawy\nLZeq\t120,0 dB\t") +
                     NumberFormat::Fixed(right + 7, 0, 1) + " dB");

        QCOMPARE(StatisticsRowNames(rig.State),
                 (std::array<QString, StatisticsRowCount>{"LZeq", "LZSmax", "LZSmin", "LZpeak", "LZE", "LZS1",
                                                          "LZS5", "LZS10", "LZS50", "LZS90", "LZS95", "LZS99",
                                                          "Czas pomiaru", "Przesterowanie"}));
        rig.State.FrequencyWeighting = TFrequencyWeighting::A;
        rig.State.AveragingTime = 0.125;
        QCOMPARE(StatisticsRowNames(rig.State)[1], QString("LZSmax"));
        QCOMPARE(StatisticsTable(rig.State).back(), QStringList({"Przesterowanie", "nie", "nie"}));
        rig.State.Statistics.Reset(); // before any figure, the names of the weightings in force
        QCOMPARE(StatisticsRowNames(rig.State)[1], QString("LAFmax"));
        QCOMPARE(StatisticsRowNames(rig.State)[3], QString("LCpeak"));
        QCOMPARE(StatisticsRowNames(rig.State)[7], QString("LAF10"));
        rig.State.ImpulseWeighting = true; // I whatever the time, a custom time no letter
        QCOMPARE(StatisticsRowNames(rig.State)[2], QString("LAImin"));
        rig.State.ImpulseWeighting = false;
        rig.State.AveragingTime = 0.035;
        QCOMPARE(StatisticsRowNames(rig.State)[2], QString("LAmin"));
    }

    // A float stream's full scale is a card's as the sound server hands it over (x / 2^(bits - 1)): the
    // positive clip of a 16-bit card, 1 - 2^-15, and of a 24-bit one, 1 - 2^-23, are overloads as -1.0
    // is, each in its own channel; a 16-bit card's next sample down, 1 - 2^-14, is not. (So 0.99999, no
    // 16-bit card's sample, is one: within 0.0003 dB of full scale.)
    void FloatOverloadAtACardsFullScale()
    {
        TRig rig;
        rig.State.DisplayTimeRefresh = 100;
        std::vector<float> block(2 * 480, 0.0f);
        block[100] = 1 - 0x1p-14f;
        block[201] = -(1 - 0x1p-14f);
        rig.FeedFloat(block);
        rig.Meter.Tick();
        QCOMPARE(rig.Window.Beeps, 0);
        QVERIFY(!rig.Window.Red[0] && !rig.Window.Red[1]);
        QVERIFY(TLevelMeter::PeakLevel(rig.State, 0) < 0);
        int beeps = 0;
        for (const float clip : {1 - 0x1p-15f, 1 - 0x1p-23f}) {
            block[100] = clip;
            block[201] = 0;
            rig.FeedFloat(block);
            rig.Meter.Tick();
            QCOMPARE(rig.Window.Beeps, ++beeps);
            QVERIFY(rig.Window.Red[0] && !rig.Window.Red[1]);
            rig.Window.Red[0] = false;
        }
        block[100] = 0;
        block[201] = -1.0f;
        rig.FeedFloat(block);
        rig.Meter.Tick();
        QCOMPARE(rig.Window.Beeps, ++beeps);
        QVERIFY(rig.Window.Red[1] && !rig.Window.Red[0]);
    }

    // On real components: a stopped input publishes nothing; the rates are the components' own.
    void ReadsTheWaveComponents()
    {
        TRig rig;
        TAudioIn input;
        input.SetFrameRate(8000);
        const TWaveDeviceOf<TAudioIn> inputDevice(input);
        TLevelMeter meter(rig.State, inputDevice, rig.Chart, rig.Sink, rig.Window, rig.Clock);
        std::vector<float> block(2 * 400, 100 / 32767.0f); // 50 ms at 8000 frames/s, the average of 1 s
        int size = int(block.size());
        meter.AnalyseBlock(block.data(), size);
        QVERIFY(std::abs(rig.State.AveragedMeanSquareL - 10000 * -std::expm1(-0.05L)) < 1e-4L);
        meter.Tick();
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 0);
        QCOMPARE(rig.Window.ClockUpdates, 1);

        TAudioOut output;
        output.SetFrameRate(4000);
        const TWaveDeviceOf<TAudioOut> outputDevice(output);
        TSineGenerator generator(rig.State, outputDevice);
        rig.State.GeneratorFrequency = 1000; // a quarter turn per sample
        size = 4;
        generator.FillOutputBlock(block.data(), size);
        QCOMPARE(block[1], 25000 / 32767.0f);
    }
};

QTEST_GUILESS_MAIN(TestLevelMeter)
#include "test_level_meter.moc"
