// SPDX-License-Identifier: GPL-3.0-or-later
// Sweeps measured by synchronous detection through the virtual card's own model of a device under test
// (gain, static nonlinearity, filters, delay, noise), the card's output looped to its input in the
// test's own time: the generator, the time line, the meter and the sweep as the program runs them;
// and sweeps by either method through gaps in the streams.

#include "MeasureTestSupport.h"

#include "analysis/ImpulseResponse.h"
#include "audio/DeviceUnderTest.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/SineGenerator.h"
#include "measure/Sweep.h"

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

namespace {

constexpr int Rate = 48000;
constexpr int BlockFrames = 1000;

double TrueFrequency(double f)
{
    return f * 3.14159 / std::numbers::pi;
}

double Db(double ratio)
{
    return 20 * std::log10(ratio);
}

double Degrees(std::complex<double> value)
{
    return std::arg(value) * 180 / std::numbers::pi;
}

struct TRig
{
    struct TPorts final : TStandaloneMeterPorts
    {
        TSweep* Sweep = nullptr;
        void SweepStep() override { Sweep->Step(); }
    };

    TMeasurementState State;
    TFakeDevice Input, Output;
    TChartModel Chart;
    TFakeSweepWindow SweepWindow;
    TSweep Sweep{State, Input, Output, Chart, SweepWindow};
    TPorts Ports;
    TLevelMeter Meter{State, Input, Chart, Ports, Ports};
    TSineGenerator Generator{State, Output, &Sweep.Timeline()};
    std::array<TChannelPath, 2> Paths;
    TNoise Noise{5};

    explicit TRig(const TChannelModel& left, const TChannelModel& right)
    {
        Input.IsRunning = Output.IsRunning = true;
        State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
        State.Detection.Method = TSweepMethod::Synchronous;
        State.Amplitude = 16384; // -6 dBFS
        Ports.Sweep = &Sweep;
        Ports.Active = 0;
        Meter.SetSweepPacing(&Sweep);
        Paths[0].Configure(left, Rate);
        Paths[1].Configure(right, Rate);
    }

    // Starts (or continues) the sweep and loops the output to the input until it stops by itself, a
    // failure stops it or `until` says so; `hook` sees every input block before the meter does.
    bool Run(const std::function<bool()>& until = {}, const std::function<void(float*)>& hook = {})
    {
        if (State.SweepIndex == 0)
            Sweep.Zero(); // as the edits leave it
        if (!Sweep.PrepareStart(true))
            return false;
        Sweep.RecordConditions();
        const int clicks = SweepWindow.StartClicks;
        std::vector<float> out(BlockFrames);
        std::vector<float> in(2 * BlockFrames);
        for (int block = 0; block < 60 * Rate / BlockFrames; ++block) {
            int size = static_cast<int>(out.size());
            Generator.FillOutputBlock(out.data(), size);
            for (int i = 0; i < BlockFrames; ++i)
                for (int c = 0; c < 2; ++c)
                    in[2 * i + c] = static_cast<float>(
                        std::clamp(Paths[c].Process(out[static_cast<std::size_t>(i)], Noise), -1.0, 1.0));
            if (hook)
                hook(in.data());
            size = 2 * BlockFrames;
            Meter.AnalyseBlock(in.data(), size);
            if (SweepWindow.StartClicks > clicks || (until && until()))
                break;
        }
        Sweep.Finish(TStopSender::Action);
        QCoreApplication::processEvents(); // the sweep's queued messages
        return true;
    }
};

void VerifyFinite(const TChartSeriesData& points)
{
    for (int i = 0; i < points.Count(); ++i) {
        const TPointDetail* detail = points.Detail(i);
        QVERIFY(detail && std::isfinite(points.Y(i)) && std::isfinite(detail->Phase) &&
                std::isfinite(detail->Thd) && std::isfinite(detail->ThdN));
        for (double h : detail->Harmonics)
            QVERIFY(std::isfinite(h));
    }
}

} // namespace

class TestSweepDetection : public QObject
{
    Q_OBJECT
private slots:
    // A loudspeaker-like device (high-pass 30 Hz, low-pass 12 kHz, -4 dB, y = x + 0.05 x^2 + 0.1 x^3)
    // on the left, a wire on the right as the reference, both 300 frames late: 121 points from 20 Hz
    // to 20 kHz, stopped after 60 and continued, measure the device's closed-form response to 0.005 dB
    // and 0.05 degrees and its second and third harmonics to 0.1 dB, wherever they lie below half the
    // frame rate (the model's own harmonics above it fold back and are no harmonics of the tone) and
    // stand clear of the 16-bit input's noise.
    void measuresAgainstAReferenceAsTheoryHasIt()
    {
        TChannelModel device, wire;
        device.GainDb = -4;
        device.Square = 0.05;
        device.Cube = 0.1;
        device.HighPassHz = 30;
        device.LowPassHz = 12000;
        device.DelayFrames = wire.DelayFrames = 300;
        device.NoiseDbfs = wire.NoiseDbfs = -110; // below the input's own rounding, so the harmonics low
                                                  // in the low-pass's stop band stand out of the noise
        TRig rig(device, wire);
        rig.State.StartFreq = 20;
        rig.State.StopFreq = 20000;
        rig.State.PointsCount = 121;
        rig.State.Detection.Reference = TReferenceChannel::Right;
        QVERIFY(rig.Run([&] { return rig.State.SweepIndex == 60; }));
        QCOMPARE(rig.Chart.Series(0).Count(), 60);
        QVERIFY(rig.Run());
        QCOMPARE(rig.SweepWindow.Errors, std::vector<QString>{});

        const TChartSeriesData& points = rig.Chart.Series(0);
        QCOMPARE(points.Count(), 121);
        VerifyFinite(points);
        TChannelPath dut, reference;
        dut.Configure(device, Rate);
        reference.Configure(wire, Rate);
        const double drive = std::pow(10, device.GainDb / 20) * 0.5; // at the nonlinearity, full scale 1
        const double fundamental = 1 + 0.75 * device.Cube * drive * drive;
        double worstLevel = 0, worstPhase = 0, worstHarmonic = 0;
        for (int i = 0; i < points.Count(); ++i) {
            const double f = TrueFrequency(points.X(i));
            const std::complex<double> h = dut.Response(f, Rate) / reference.Response(f, Rate);
            const TPointDetail& detail = *points.Detail(i);
            const double level = points.Y(i) - Db(std::abs(h) * fundamental);
            const double phase = std::remainder(detail.Phase - Degrees(h), 360.0);
            worstLevel = std::max(worstLevel, std::abs(level));
            worstPhase = std::max(worstPhase, std::abs(phase));
            QVERIFY2(
                std::abs(level) < 0.005 && std::abs(phase) < 0.05,
                qPrintable(QString("%1 Hz: %2 dB, %3 degrees off").arg(points.X(i)).arg(level).arg(phase)));
            QVERIFY(!detail.Overloaded);
            if (3 * f >= 0.49 * Rate)
                continue;
            const double base = std::abs(dut.Response(f, Rate)) * fundamental;
            const double h2 = Db(device.Square * drive / 2 * std::abs(dut.Response(2 * f, Rate)) / base);
            const double h3 =
                Db(device.Cube * drive * drive / 4 * std::abs(dut.Response(3 * f, Rate)) / base);
            // The input rounds to 16 bits: over a window of N frames a harmonic's estimate spreads by
            // sqrt(2 / N) of that rounding's RMS, and 0.1 dB asks for a harmonic 50 dB above that.
            const double frames =
                TSweepDetection::ShortestPlan(points.X(i), Rate, rig.State.Detection).WindowFrames;
            const double floor = Db(std::sqrt(1.0 / 12) * std::sqrt(2 / frames) / (16384 * base));
            for (const auto& [k, expected] : {std::pair(2, h2), std::pair(3, h3)}) {
                if (expected < floor + 50)
                    continue;
                worstHarmonic = std::max(worstHarmonic, std::abs(detail.Harmonic(k) - expected));
                QVERIFY2(std::abs(detail.Harmonic(k) - expected) < 0.1,
                         qPrintable(QString("%1 Hz: H%2 %3 dB, %4 dB in theory")
                                        .arg(points.X(i))
                                        .arg(k)
                                        .arg(detail.Harmonic(k))
                                        .arg(expected)));
            }
            const double thd = 100 * std::hypot(std::pow(10, h2 / 20), std::pow(10, h3 / 20));
            QVERIFY(detail.Has(TPointDetail::ThdMeasured) && std::abs(detail.Thd / thd - 1) < 0.03);
        }
        qInfo("largest deviations: level %.5f dB, phase %.5f degrees, H2/H3 %.4f dB", worstLevel, worstPhase,
              worstHarmonic);
    }

    // A loudspeaker in a room: the measured channel 100 ms behind the reference (a microphone 34 m away,
    // a wireless loudspeaker) and resonating at 100 Hz with Q 10 and +12 dB. Each point is its response to
    // 0.01 dB and 0.1 degrees, the delay's phase (-360 f d) kept in it, the delay found to a hundredth of a
    // frame; the points about the resonance waited longer for it, and nothing else did. With the longest
    // settling shorter than the resonance's, the points it spoilt are kept and marked.
    void eachChannelsArrivalAndItsSettlingAsTheoryHasIt()
    {
        TChannelModel device, wire;
        device.DelayFrames = 300 + 4800;
        device.ResonanceHz = 100;
        device.ResonanceQ = 10;
        device.ResonanceGainDb = 12;
        wire.DelayFrames = 300;
        device.NoiseDbfs = wire.NoiseDbfs = -110;
        TChannelPath dut, reference;
        dut.Configure(device, Rate);
        reference.Configure(wire, Rate);
        for (const int longestSettling : {2000, 50}) {
            TRig rig(device, wire);
            rig.State.StartFreq = 20;
            rig.State.StopFreq = 20000;
            rig.State.PointsCount = 121;
            rig.State.Detection.Reference = TReferenceChannel::Right;
            rig.State.Detection.LongestSettling = longestSettling;
            rig.State.Amplitude = 4096; // -18 dBFS: -6 dBFS at the resonance
            QVERIFY(rig.Run());
            QCOMPARE(rig.SweepWindow.Errors, std::vector<QString>{});
            const TChartSeriesData& points = rig.Chart.Series(0);
            QCOMPARE(points.Count(), 121);
            VerifyFinite(points);
            QVERIFY(rig.Sweep.MeasuredDelay() && std::abs(*rig.Sweep.MeasuredDelay() * Rate - 4800) < 0.01);
            const double seconds = *rig.Sweep.MeasuredDelay();
            QCOMPARE(rig.SweepWindow.Delay, NumberFormat::Fixed(seconds * 1000, 0, 3) + " ms = " +
                                                NumberFormat::Fixed(seconds * SpeedOfSound(20), 0, 3) + " m");
            double worstLevel = 0, worstPhase = 0;
            int marked = 0;
            for (int i = 0; i < points.Count(); ++i) {
                const double f = TrueFrequency(points.X(i));
                const std::complex<double> h = dut.Response(f, Rate) / reference.Response(f, Rate);
                const double level = points.Y(i) - Db(std::abs(h));
                const double phase = std::remainder(points.Detail(i)->Phase - Degrees(h), 360.0);
                marked += points.Detail(i)->Unsettled;
                if (points.Detail(i)->Unsettled)
                    continue;
                worstLevel = std::max(worstLevel, std::abs(level));
                worstPhase = std::max(worstPhase, std::abs(phase));
                QVERIFY2(std::abs(level) < 0.01 && std::abs(phase) < 0.1,
                         qPrintable(
                             QString("%1 Hz: %2 dB, %3 degrees off").arg(points.X(i)).arg(level).arg(phase)));
            }
            qInfo("longest settling %d ms: largest deviations %.5f dB, %.5f degrees; %d points marked "
                  "unsettled",
                  longestSettling, worstLevel, worstPhase, marked);
            if (longestSettling == 2000)
                QCOMPARE(marked, 0);
            else // the points about the resonance
                QVERIFY(marked >= 3 && marked <= 20);
        }
    }

    // Output and input on two cards: their clocks drift apart, so without a reference no point holds a
    // phase (a file would otherwise read it back as measured); against a reference on the input card the
    // phase is measured as ever.
    void twoCardsMeasureNoPhaseWithoutAReference()
    {
        for (const TReferenceChannel reference : {TReferenceChannel::None, TReferenceChannel::Right}) {
            TRig rig(TChannelModel{}, TChannelModel{});
            rig.SweepWindow.TwoCards = true;
            rig.State.Detection.Reference = reference;
            rig.State.PointsCount = 3;
            QVERIFY(rig.Run());
            const TChartSeriesData& points = rig.Chart.Series(0);
            QCOMPARE(points.Count(), 3);
            for (int i = 0; i < points.Count(); ++i)
                QCOMPARE(points.Detail(i)->Has(TPointDetail::PhaseMeasured),
                         reference != TReferenceChannel::None);
        }
    }

    // Both channels without a reference, the right one 100 ms behind the left: each channel's point is
    // taken from its own tone (the right one's window would otherwise hold the tone before), and its phase
    // keeps the delay behind the left one's.
    void bothChannelsEachHearTheirOwnTone()
    {
        TChannelModel left, right;
        left.DelayFrames = 500;
        right.DelayFrames = 500 + 4800;
        right.GainDb = -6;
        TRig rig(left, right);
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.StartFreq = 20;
        rig.State.StopFreq = 20000;
        rig.State.PointsCount = 31;
        QVERIFY(rig.Run());
        QCOMPARE(rig.SweepWindow.Errors, std::vector<QString>{});
        const TChartSeriesData& l = rig.Chart.Series(0);
        const TChartSeriesData& r = rig.Chart.Series(4);
        QCOMPARE(r.Count(), 31);
        for (int i = 0; i < r.Count(); ++i) {
            const double f = TrueFrequency(r.X(i));
            const double phase =
                std::remainder(r.Detail(i)->Phase - l.Detail(i)->Phase + 360 * f * 4800 / Rate, 360.0);
            QVERIFY2(
                std::abs(r.Y(i) - l.Y(i) + 6) < 0.01 && std::abs(phase) < 0.1,
                qPrintable(QString("%1 Hz: %2 dB, %3 degrees").arg(r.X(i)).arg(r.Y(i) - l.Y(i)).arg(phase)));
        }
        QVERIFY(rig.Sweep.MeasuredDelay() && std::abs(*rig.Sweep.MeasuredDelay() * Rate - 4800) < 0.01);
    }

    // Without a reference, both channels: each level is the fundamental's own (a wire at -3 dB reads
    // the generator's level less 3 dB) and the phase is the generator's with the measured round trip
    // taken off, so what is left is how well the probe placed it: a tenth of a frame at most.
    void withoutAReferenceThePhaseIsTheGeneratorsLessTheRoundTrip()
    {
        TChannelModel left, right;
        left.GainDb = -3;
        left.DelayFrames = right.DelayFrames = 777;
        TRig rig(left, right);
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.StartFreq = 50;
        rig.State.StopFreq = 20000;
        rig.State.PointsCount = 12;
        QVERIFY(rig.Run());
        const double generator = TLevelMeter::Level(16384.0 * 16384 / 2, LevelOffsetDb);
        for (const auto& [series, gain] : {std::pair(0, -3.0), std::pair(4, 0.0)}) {
            const TChartSeriesData& points = rig.Chart.Series(series);
            QCOMPARE(points.Count(), 12);
            VerifyFinite(points);
            for (int i = 0; i < points.Count(); ++i) {
                const double tenthOfAFrame = 36 * points.X(i) / Rate;
                QVERIFY2(std::abs(points.Y(i) - generator - gain) < 0.005 &&
                             std::abs(points.Detail(i)->Phase) < tenthOfAFrame,
                         qPrintable(QString("series %1, %2 Hz: %3 dB, %4 degrees")
                                        .arg(series + 1)
                                        .arg(points.X(i))
                                        .arg(points.Y(i))
                                        .arg(points.Detail(i)->Phase)));
            }
        }
    }

    // A full-scale sample in one point's window marks that point and no other, and the meter still
    // says so on its read-out. The input is a float stream: a 16-bit card's positive clip comes as
    // 1 - 2^-15.
    void anOverloadMarksItsPoint()
    {
        TRig rig(TChannelModel{}, TChannelModel{});
        rig.State.StartFreq = 200;
        rig.State.StopFreq = 2000;
        rig.State.PointsCount = 8;
        bool injected = false;
        QVERIFY(rig.Run({}, [&](float* in) {
            const TSweepTimeline& timeline = rig.Sweep.Timeline();
            if (!injected && timeline.LanePoint(0) == 5 && timeline.InWindow(0)) {
                in[0] = 1 - 0x1p-15f;
                injected = true;
            }
        }));
        const TChartSeriesData& points = rig.Chart.Series(0);
        QCOMPARE(points.Count(), 8);
        for (int i = 0; i < points.Count(); ++i)
            QCOMPARE(points.Detail(i)->Overloaded, i == 5);
        QVERIFY(rig.Ports.Overloads > 0);
    }

    // Overload is the measured channel's own: a right input that is not measured and clips throughout
    // marks no left point. The averaged level marks its point too (its series then carries marks).
    void anOverloadIsTheChannelsOwnInEitherMethod()
    {
        for (const TSweepMethod method : {TSweepMethod::Synchronous, TSweepMethod::AveragedLevel}) {
            TRig rig(TChannelModel{}, TChannelModel{});
            rig.State.Detection.Method = method;
            rig.State.StartFreq = 200;
            rig.State.StopFreq = 2000;
            rig.State.PointsCount = 5;
            bool injected = false;
            QVERIFY(rig.Run({}, [&](float* in) {
                in[1] = 1.0f; // the right input, not measured
                const TSweepTimeline& timeline = rig.Sweep.Timeline();
                if (!injected && timeline.LanePoint(0) == 3 && timeline.InWindow(0)) {
                    in[0] = -1.0f;
                    injected = true;
                }
            }));
            const TChartSeriesData& points = rig.Chart.Series(0);
            QCOMPARE(points.Count(), 5);
            QVERIFY(points.HasDetails());
            for (int i = 0; i < points.Count(); ++i)
                QCOMPARE(points.Detail(i)->Overloaded, i == 3);
        }
    }

    // A reference that hears nothing from the start is never found by the probe; one that goes silent
    // in the middle stops the sweep at its next point. Either says so; the points measured stay, finite.
    void aSilentReferenceStopsTheSweepWithAMessage()
    {
        TChannelModel silent;
        silent.GainDb = -400;
        {
            TRig rig(TChannelModel{}, silent);
            rig.State.Detection.Reference = TReferenceChannel::Right;
            rig.State.PointsCount = 5;
            QVERIFY(rig.Run());
            QCOMPARE(rig.SweepWindow.Errors.size(), std::size_t(1));
            QVERIFY2(rig.SweepWindow.Errors[0].startsWith(
                         "Sygnał generatora nie dotarł do kanału odniesienia (prawego)"),
                     qPrintable(rig.SweepWindow.Errors[0]));
            QCOMPARE(rig.Chart.Series(0).Count(), 0);
        }
        TRig rig(TChannelModel{}, TChannelModel{});
        rig.State.Detection.Reference = TReferenceChannel::Right;
        rig.State.PointsCount = 20;
        bool silenced = false;
        QVERIFY(rig.Run({}, [&](float*) {
            if (rig.State.SweepIndex == 5 && !silenced) {
                rig.Paths[1].Configure(silent, Rate);
                silenced = true;
            }
        }));
        QCOMPARE(rig.SweepWindow.Errors.size(), std::size_t(1));
        QVERIFY2(
            rig.SweepWindow.Errors[0].startsWith("Kanał odniesienia (prawy) nie odbiera sygnału generatora"),
            qPrintable(rig.SweepWindow.Errors[0]));
        QVERIFY(rig.Chart.Series(0).Count() >= 5 && rig.Chart.Series(0).Count() < 8);
        VerifyFinite(rig.Chart.Series(0));
    }

    // Gaps in the streams: a moment of silence in a point's window that no stream counted, and an
    // underflow that the output counted. By either method, each point they hit is measured again after
    // a new probe, and every point reads the wire's level (and, detected, the generator's phase). A
    // stream that keeps breaking at one point stops the sweep with its reason.
    void theStreamsGapsAreMeasuredAgain()
    {
        const double generator = TLevelMeter::Level(16384.0 * 16384 / 2, LevelOffsetDb);
        for (const TSweepMethod method : {TSweepMethod::AveragedLevel, TSweepMethod::Synchronous}) {
            TRig rig(TChannelModel{}, TChannelModel{});
            rig.State.Detection.Method = method;
            rig.State.StartFreq = 200;
            rig.State.StopFreq = 2000;
            rig.State.PointsCount = 8;
            const TSweepTimeline& timeline = rig.Sweep.Timeline();
            int silenced = -1, counted = -1;
            QVERIFY(rig.Run({}, [&](float* in) {
                const int point = rig.State.SweepIndex;
                if (silenced < 0 && point >= 2 && timeline.InWindow(0) && timeline.LanePoint(0) == point &&
                    timeline.ToneStart(point + 1) + *timeline.RoundTrip() - timeline.InputFrames() >= 400) {
                    std::fill(in, in + 2 * 300, 0.0f);
                    silenced = point;
                }
                if (counted < 0 && point >= 5 && timeline.InWindow(0)) {
                    ++rig.Output.XrunCount;
                    counted = point;
                }
            }));
            QVERIFY(silenced >= 2 && counted >= 5);
            QCOMPARE(rig.SweepWindow.Errors, std::vector<QString>{});
            const TChartSeriesData& points = rig.Chart.Series(0);
            QCOMPARE(points.Count(), 8);
            for (int i = 0; i < points.Count(); ++i) {
                const double phase = method == TSweepMethod::Synchronous ? points.Detail(i)->Phase : 0;
                QVERIFY2(
                    std::abs(points.Y(i) - generator) < 0.005 && std::abs(phase) < 36 * points.X(i) / Rate,
                    qPrintable(
                        QString("%1 Hz: %2 dB, %3 degrees").arg(points.X(i)).arg(points.Y(i)).arg(phase)));
            }
        }
        for (const bool counted : {true, false}) {
            TRig rig(TChannelModel{}, TChannelModel{});
            rig.State.Detection.Method = TSweepMethod::AveragedLevel; // windows of 250 ms
            rig.State.PointsCount = 8;
            QVERIFY(rig.Run({}, [&](float* in) {
                if (rig.State.SweepIndex < 3)
                    return;
                if (counted)
                    ++rig.Output.XrunCount;
                else if (rig.Sweep.Timeline().InWindow(0) && rig.Sweep.Timeline().LanePoint(0) == 3)
                    std::fill(in + 2 * 500, in + 2 * 800, 0.0f);
            }));
            QCOMPARE(rig.SweepWindow.Errors.size(), std::size_t(1));
            QVERIFY2(rig.SweepWindow.Errors[0].contains(counted
                                                            ? "Strumień dźwięku miał przerwę"
                                                            : "Przy 719.7 Hz ton trzy razy na chwilę zanikł"),
                     qPrintable(rig.SweepWindow.Errors[0]));
            QCOMPARE(rig.Chart.Series(0).Count(), 3);
        }
        // An underflow while the probe is on its way, before its round trip is known, spoils the
        // alignment as much as a later one: a new probe is played, found blocks later than the first
        // would have been, and every point is measured.
        std::array<int, 2> foundAt{};
        for (const bool underflow : {false, true}) {
            TRig rig(TChannelModel{}, TChannelModel{});
            rig.State.PointsCount = 4;
            const TSweepTimeline& timeline = rig.Sweep.Timeline();
            int& found = foundAt[underflow];
            int blocks = 0;
            QVERIFY(rig.Run({}, [&](float*) {
                ++blocks;
                if (underflow && !timeline.RoundTrip() && timeline.OutputXrunsAtProbe() &&
                    rig.Output.XrunCount == 0)
                    ++rig.Output.XrunCount;
                if (found == 0 && timeline.RoundTrip())
                    found = blocks;
            }));
            QCOMPARE(rig.SweepWindow.Errors, std::vector<QString>{});
            QCOMPARE(rig.Chart.Series(0).Count(), 4);
        }
        QVERIFY2(foundAt[1] > foundAt[0], qPrintable(QString("%1 %2").arg(foundAt[0]).arg(foundAt[1])));
    }

    // The reference must not be the channel measured: the start says which mode fits.
    void theReferenceIsNotTheChannelMeasured()
    {
        TRig rig(TChannelModel{}, TChannelModel{});
        rig.State.Detection.Reference = TReferenceChannel::Left;
        for (const TChannelMode mode : {TChannelMode::Left, TChannelMode::Both}) {
            rig.State.ChannelMode = mode;
            QVERIFY(!rig.Sweep.PrepareStart(true));
        }
        QCOMPARE(rig.SweepWindow.Errors.back(),
                 QString("Gdy kanałem odniesienia jest kanał lewy, mierzony jest "
                         "kanał prawy: wybierz tryb pracy „Kanał R” albo inny kanał "
                         "odniesienia."));
        rig.State.ChannelMode = TChannelMode::Right;
        QVERIFY(rig.Sweep.PrepareStart(true));
    }
};

QTEST_GUILESS_MAIN(TestSweepDetection)
#include "test_sweep_detection.moc"
