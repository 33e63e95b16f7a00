// SPDX-License-Identifier: GPL-3.0-or-later
// The sweep's time line on its own: what the generator plays, where the probe finds each input's
// arrival, and where each point's windows lie in the input, through a loop that delays and filters.

#include "audio/DeviceUnderTest.h"
#include "measure/MeterPorts.h"
#include "measure/SineGenerator.h"
#include "measure/SweepTimeline.h"

#include <QTest>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct TRate final : IStreamInfo
{
    bool Running() const override { return true; }
    int FrameRate() const override { return 48000; }
};

TSweepTimeline::TSetUp SetUp(int pointFrames, std::vector<double> frequencies, unsigned inputs)
{
    TSweepTimeline::TSetUp setUp;
    setUp.PointFrames = pointFrames;
    setUp.Frequencies = std::move(frequencies);
    setUp.Inputs = inputs;
    return setUp;
}

// Where each point's windows began and ended in the input, per lane, and the events that ended points.
struct TMeasured
{
    std::array<std::vector<std::int64_t>, 2> Begins, Ends;
    std::vector<std::int64_t> PointEnds;
    std::vector<unsigned> EndEvents;
};

// The output through a device model per input, played block by block as the input asks for frames
// (the output runs ahead of the input by the device's delay and a block), the input passed in blocks
// of another size.
struct TLoop
{
    TMeasurementState State;
    TRate Rate;
    TSweepTimeline Timeline;
    TSineGenerator Generator{State, Rate, &Timeline};
    std::array<TChannelPath, 2> Paths;
    std::array<bool, 2> Silent{false, true};
    TNoise Noise{3};
    std::vector<float> Heard;                        // stereo frames
    std::size_t Passed = 0;                          // frames of Heard passed to the time line
    static constexpr std::size_t AheadFrames = 4096; // the output's lead, as a server's buffer gives it

    // A device that delays by `delay` frames (the right input `rightExtra` frames more), high-passes at
    // 150 Hz and adds noise at noiseDbfs; the right input hears nothing unless it is given a delay.
    explicit TLoop(double noiseDbfs, int rightExtra = -1, int delay = 2345)
    {
        TChannelModel device;
        device.DelayFrames = delay;
        device.HighPassHz = 150;
        device.NoiseDbfs = noiseDbfs;
        Paths[0].Configure(device, 48000);
        if (rightExtra >= 0) {
            device.DelayFrames += rightExtra;
            Silent[1] = false;
        }
        Paths[1].Configure(device, 48000);
    }

    void Play(int outputBlock)
    {
        std::vector<float> block(static_cast<std::size_t>(outputBlock));
        int size = static_cast<int>(block.size());
        Generator.FillOutputBlock(block.data(), size);
        for (int i = 0; i < outputBlock; ++i) {
            const float sample = block[static_cast<std::size_t>(i)];
            for (std::size_t c = 0; c < 2; ++c) {
                const double y = Paths[c].Process(sample, Noise);
                Heard.push_back(Silent[c] ? 0.0f : static_cast<float>(std::clamp(y, -1.0, 1.0)));
            }
        }
    }

    // Until `points` points have ended (or `frames` input frames went by); `hook` may change the heard
    // frames not passed yet, and sees every point's end.
    TMeasured Measure(int points, int outputBlock, int inputBlock, std::int64_t frames = 20 * 48000,
                      const std::function<void(int point)>& hook = {})
    {
        if (Timeline.InputFrames() == 0) { // the output's time line starts once the input passed a frame
            const float silent[2] = {0, 0};
            Timeline.Passed(silent, 1, 0);
        }
        TMeasured measured;
        int point = 0;
        for (std::int64_t done = 0; done < frames && point < points; done += inputBlock) {
            while (Heard.size() < 2 * (Passed + static_cast<std::size_t>(inputBlock) + AheadFrames))
                Play(outputBlock);
            if (hook)
                hook(-1);
            for (int inBlock = 0; inBlock < inputBlock && point < points;) {
                const int n = Timeline.FramesToBoundary(inputBlock - inBlock, point);
                const unsigned events = Timeline.Passed(&Heard[2 * Passed], n, point);
                Passed += static_cast<std::size_t>(n);
                inBlock += n;
                const std::int64_t at = Timeline.InputFrames();
                for (int c = 0; c < 2; ++c) {
                    if (events & TSweepTimeline::LaneBegins(c))
                        measured.Begins[static_cast<std::size_t>(c)].push_back(at);
                    if (events & TSweepTimeline::LaneEnds(c))
                        measured.Ends[static_cast<std::size_t>(c)].push_back(at);
                }
                if (events & ISweepPacing::PointEnds) {
                    measured.PointEnds.push_back(at);
                    measured.EndEvents.push_back(events);
                    if (hook)
                        hook(point);
                    point = Timeline.LaneEndedPoint(0) >= point ? point + 1 : point; // a rewind stays
                }
                if (events & TSweepTimeline::PointMissed)
                    return measured;
            }
        }
        return measured;
    }
};

} // namespace

class TestSweepTimeline : public QObject
{
    Q_OBJECT
private slots:
    // Through a device that delays by 2345 frames (and filters and adds noise), the probe finds that
    // delay; every point begins after its own tone has arrived and settled and ends before the next
    // one arrives, whatever the blocks, and the points follow each other with no gap.
    void pointsLieWhereTheirTonesAreHeard()
    {
        TLoop loop(-70);
        loop.Timeline.Begin(SetUp(2400, {100, 1000, 10000}, 1u));
        const TMeasured measured = loop.Measure(3, 1000, 777);
        QVERIFY(loop.Timeline.RoundTrip());
        QVERIFY2(std::abs(*loop.Timeline.RoundTrip() - 2345) <= 2,
                 qPrintable(QString::number(*loop.Timeline.RoundTrip())));
        QCOMPARE(int(measured.PointEnds.size()), 3);
        const std::int64_t trip = *loop.Timeline.RoundTrip(), settling = 240;
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(measured.Begins[0][k], loop.Timeline.ToneStart(k) + trip + settling);
            QCOMPARE(measured.Ends[0][k], loop.Timeline.ToneStart(k + 1) + trip);
            QCOMPARE(measured.Ends[0][k] - measured.Begins[0][k], std::int64_t(2400));
        }
    }

    // The right input hears the device 100 ms after the left one. With windows of their own each input's
    // windows lie where its own tones are, and its delay is found to a fraction of a frame; with one
    // common window it holds both inputs' tones and keeps its length, the tones played longer for it.
    void eachInputHasItsOwnArrival()
    {
        for (const bool separate : {true, false}) {
            TLoop loop(-70, 4800);
            TSweepTimeline::TSetUp setUp = SetUp(2400, {300, 1000, 3000, 10000}, 3u);
            setUp.Separate = separate;
            setUp.Origin = separate ? 0 : -1;
            loop.Timeline.Begin(setUp);
            const TMeasured measured = loop.Measure(4, 1000, 1024);
            QCOMPARE(int(measured.PointEnds.size()), 4);
            const std::optional<double> delay = loop.Timeline.Delay(1);
            QVERIFY(delay && std::abs(*delay - 4800) < 0.05);
            QCOMPARE(*loop.Timeline.Delay(0), 0.0);
            const std::int64_t left = *loop.Timeline.RoundTrip(), right = left + 4800, settling = 240;
            for (int k = 0; k < 4; ++k)
                for (int c = 0; c < 2; ++c) {
                    const std::int64_t begin = measured.Begins[std::size_t(c)][std::size_t(k)];
                    const std::int64_t end = measured.Ends[std::size_t(c)][std::size_t(k)];
                    const std::int64_t start = loop.Timeline.ToneStart(k),
                                       next = loop.Timeline.ToneStart(k + 1);
                    QCOMPARE(begin, start + (separate && c == 0 ? left : right) + settling);
                    QCOMPARE(end, next + (separate && c == 1 ? right : left));
                    QCOMPARE(end - begin, std::int64_t(2400));
                }
            // Each point is taken once both inputs' windows of it have ended.
            for (int k = 0; k < 4; ++k)
                QCOMPARE(measured.PointEnds[std::size_t(k)],
                         std::max(measured.Ends[0][std::size_t(k)], measured.Ends[1][std::size_t(k)]));
        }
    }

    // A point played again starts its tone with the output's next frame, and its window follows it.
    void aRewoundPointIsPlayedAgain()
    {
        TLoop loop(-70);
        loop.Timeline.Begin(SetUp(2400, {100, 1000, 10000}, 1u));
        bool rewound = false;
        std::int64_t rewoundAt = 0;
        const TMeasured measured = loop.Measure(3, 1000, 777, 20 * 48000, [&](int point) {
            if (point == 1 && !rewound) {
                rewound = true;
                rewoundAt = loop.Timeline.ToneStart(2); // the output is past it already
                loop.Timeline.Rewind(1);
            }
        });
        QVERIFY(rewound);
        QCOMPARE(int(measured.PointEnds.size()), 4); // point 1 twice
        const std::int64_t trip = *loop.Timeline.RoundTrip();
        QVERIFY(loop.Timeline.ToneStart(1) > rewoundAt);
        QCOMPARE(measured.Begins[0][2], loop.Timeline.ToneStart(1) + trip + 240);
        QCOMPARE(measured.Ends[0][2], loop.Timeline.ToneStart(2) + trip);
    }

    // A new probe before the first one was heard is the mirror of the first: the first, coming late,
    // is not taken for it, and the arrival found is the device's.
    void aNewProbeIsNotMistakenForTheOldOne()
    {
        TLoop loop(-70);
        TChannelModel slow;
        slow.DelayFrames = 40000;
        loop.Paths[0].Configure(slow, 48000);
        loop.Timeline.Begin(SetUp(2400, {1000, 2000}, 1u));
        loop.Measure(1, 1000, 1000, 12000); // the probe played, not heard yet
        QVERIFY(!loop.Timeline.RoundTrip());
        loop.Timeline.Restart(0);
        loop.Measure(1, 1000, 1000);
        // The round trip is the device's and the output's lead (its count starts with the input's):
        // the old probe would be found some 24000 frames early.
        QVERIFY(loop.Timeline.RoundTrip());
        const std::int64_t trip = *loop.Timeline.RoundTrip();
        QVERIFY2(trip >= 40000 && trip <= 40000 + std::int64_t(TLoop::AheadFrames) + 2100,
                 qPrintable(QString::number(trip)));
    }

    // A quarter of a hundredth of a second of silence in one point's window marks that window alone.
    // Neither the zero crossings of a slow tone nor a tone far down a high-pass, near the noise, mark
    // any.
    void aMomentOfSilenceMarksItsWindowAlone()
    {
        TLoop loop(-50);
        loop.Timeline.Begin(SetUp(9600, {20, 60, 1000, 10000, 5000}, 1u));
        bool silenced = false;
        const TMeasured measured = loop.Measure(4, 1000, 1024, 20 * 48000, [&](int) {
            const std::int64_t start = loop.Timeline.ToneStart(2);
            const auto from = static_cast<std::size_t>(start + 2345 + 2400);
            if (silenced || !loop.Timeline.RoundTrip() || start > 10 * 48000 ||
                loop.Heard.size() < 2 * (from + 256) || from <= loop.Passed)
                return;
            std::fill_n(loop.Heard.begin() + 2 * static_cast<std::ptrdiff_t>(from), 2 * 256, 0.0f);
            silenced = true;
        });
        QVERIFY(silenced);
        QCOMPARE(int(measured.EndEvents.size()), 4);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(bool(measured.EndEvents[k] & TSweepTimeline::DropoutInWindow), k == 2);
    }

    // A quiet digital output's 20 Hz tone of 2 or 3 LSB keeps runs of exact zeros longer than a piece about
    // its zero crossings (here across whole pieces): they are no dropout. A gap of 5 ms in a tone loud enough
    // to tell is one, in the channel watched only.
    void aFewLsbToneIsNoDropout()
    {
        auto heard = [](double amplitude, int gapChannel, unsigned watched) {
            TDropoutDetector detector;
            detector.Begin(20, 48000, watched);
            std::vector<float> frames(2 * 9600); // a 16-bit card's samples
            for (int k = 0; k < 9600; ++k)
                for (int c = 0; c < 2; ++c)
                    frames[2 * static_cast<std::size_t>(k) + static_cast<std::size_t>(c)] =
                        static_cast<float>(c == gapChannel && k >= 5000 && k < 5240
                                               ? 0
                                               : std::lrint(amplitude * std::sin(2 * std::numbers::pi * 20 *
                                                                                 (k + 60) / 48000)) /
                                                     32767.0);
            detector.Add(frames.data(), 9600);
            return detector.DropoutHeard();
        };
        QVERIFY(!heard(2, -1, 3u));
        QVERIFY(!heard(3, 0, 3u));
        QVERIFY(heard(1000, 0, 1u));
        QVERIFY(!heard(1000, 1, 1u));
        QVERIFY(!heard(1000, -1, 3u));
    }

    // The input's first frames may bring a burst of the card's own (its ambient sound fading as the
    // output starts, a click as it opens), heard before the probe could have come back: however it
    // correlates with the probe, it never gives the round trip, and the probe that comes later does.
    void aBurstBeforeTheProbeIsNoProbe()
    {
        for (const double decay : {60.0, 150.0})
            for (std::uint32_t seed = 1; seed <= 6; ++seed) {
                TLoop loop(-140, -1, 6890);
                loop.Timeline.Begin(SetUp(2400, {1000, 2000, 3000}, 1u));
                TNoise burst(seed);
                bool burstAdded = false;
                const TMeasured measured = loop.Measure(3, 1000, 1378, 20 * 48000, [&](int point) {
                    if (point >= 0 || burstAdded)
                        return;
                    burstAdded = true;
                    for (std::size_t i = 0; i < 1200; ++i)
                        loop.Heard[2 * i] = static_cast<float>(
                            std::lrint(60 * std::exp(-double(i) / decay) * burst.Gaussian()) / 32767.0);
                });
                const QString run = QString("decay %1, seed %2: ").arg(decay).arg(seed);
                QVERIFY2(loop.Timeline.RoundTrip() && std::abs(*loop.Timeline.RoundTrip() - 6890) <= 2,
                         qPrintable(run + QString::number(loop.Timeline.RoundTrip().value_or(-1))));
                QCOMPARE(int(measured.PointEnds.size()), 3);
            }
    }

    // Nothing comes back: the probe is sought for the longest round trip, then given up.
    void aSilentInputMissesTheProbe()
    {
        TSweepTimeline timeline;
        timeline.Begin(SetUp(2400, {1000, 2000, 3000}, 3u));
        std::vector<float> silence(2 * 4800);
        for (int block = 0; block < 40 && !timeline.ProbeMissing(); ++block)
            QCOMPARE(timeline.Passed(silence.data(), 4800, 0), 0u);
        QVERIFY(timeline.ProbeMissing());
        QVERIFY(!timeline.RoundTrip());
    }
};

QTEST_APPLESS_MAIN(TestSweepTimeline)
#include "test_sweep_timeline.moc"
