// SPDX-License-Identifier: GPL-3.0-or-later
// The sweep's time line on its own: what the generator plays, where the probe finds the round trip,
// and where each point's window lies in the input, through a loop that delays and filters.

#include "audio/DeviceUnderTest.h"
#include "measure/MeterPorts.h"
#include "measure/SineGenerator.h"
#include "measure/SweepTimeline.h"

#include <QTest>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct TRate final : IStreamInfo
{
    bool Running() const override { return true; }
    int FrameRate() const override { return 48000; }
};

// Where each point began and ended in the input, and the events that ended it.
struct TMeasured
{
    std::vector<std::int64_t> Begins, Ends;
    std::vector<unsigned> EndEvents;
};

// The output through a device model, in output blocks of one size and input blocks of another.
struct TLoop
{
    TMeasurementState State;
    TRate Rate;
    TSweepTimeline Timeline;
    TSineGenerator Generator{State, Rate, &Timeline};
    TChannelPath Path;
    TNoise Noise{3};
    std::vector<std::int16_t> Heard; // stereo frames, the right channel silent

    // A device that delays by `delay` frames, high-passes at 150 Hz and adds noise at noiseDbfs.
    explicit TLoop(double noiseDbfs, int delay = 2345)
    {
        TChannelModel device;
        device.DelayFrames = delay;
        device.HighPassHz = 150;
        device.NoiseDbfs = noiseDbfs;
        Path.Configure(device, 48000);
    }

    // The output's time line starts once the input has passed a frame: a silent one goes first.
    void Play(int frames, int outputBlock)
    {
        if (Timeline.InputFrames() == 0) {
            const std::int16_t silent[2] = {0, 0};
            Timeline.Passed(silent, 1, 0);
        }
        std::vector<char> block(static_cast<std::size_t>(outputBlock) * 2);
        for (int done = 0; done < frames; done += outputBlock) {
            int size = static_cast<int>(block.size());
            Generator.FillOutputBlock(block.data(), size);
            for (int i = 0; i < outputBlock; ++i) {
                std::int16_t sample;
                std::memcpy(&sample, block.data() + 2 * i, 2);
                const double y = Path.Process(sample / 32768.0, Noise);
                Heard.push_back(static_cast<std::int16_t>(std::lrint(std::clamp(y, -1.0, 1.0) * 32767)));
                Heard.push_back(0);
            }
        }
    }

    // The input passed in blocks of inputBlock frames, cut where the time line says, until `points`
    // points have ended.
    TMeasured Measure(int points, int inputBlock)
    {
        TMeasured measured;
        int point = 0;
        std::int64_t at = Timeline.InputFrames();
        for (std::size_t done = 0; done + 2 * inputBlock <= Heard.size() && point < points;
             done += 2 * inputBlock)
            for (int inBlock = 0; inBlock < inputBlock && point < points;) {
                const int n = Timeline.FramesToBoundary(inputBlock - inBlock, point);
                const unsigned events = Timeline.Passed(&Heard[done + 2 * std::size_t(inBlock)], n, point);
                inBlock += n;
                at += n;
                if (events & ISweepPacing::PointBegins)
                    measured.Begins.push_back(at);
                if (events & ISweepPacing::PointEnds) {
                    measured.Ends.push_back(at);
                    measured.EndEvents.push_back(events);
                    ++point;
                }
                if (events & TSweepTimeline::PointMissed)
                    return measured;
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
        const std::vector<double> frequencies{100, 1000, 10000};
        loop.Timeline.Begin(48000, 2400, 0, frequencies, 1u);
        loop.Play(48000, 1000);

        const TMeasured measured = loop.Measure(3, 777);
        const std::vector<std::int64_t>& begins = measured.Begins;
        const std::vector<std::int64_t>& ends = measured.Ends;
        QVERIFY(loop.Timeline.RoundTrip());
        QVERIFY2(std::abs(*loop.Timeline.RoundTrip() - 2345) <= 2,
                 qPrintable(QString::number(*loop.Timeline.RoundTrip())));
        QCOMPARE(int(ends.size()), 3);
        const std::int64_t trip = *loop.Timeline.RoundTrip(), settling = 240;
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(begins[k], loop.Timeline.ToneStart(k) + trip + settling);
            QCOMPARE(ends[k], loop.Timeline.ToneStart(k + 1) + trip);
            QCOMPARE(ends[k] - begins[k], std::int64_t(2400));
        }
    }

    // A quarter of a hundredth of a second of silence in one point's window marks that window alone.
    // Neither the zero crossings of a slow tone nor a tone far down a high-pass, near the noise, mark
    // any.
    void aMomentOfSilenceMarksItsWindowAlone()
    {
        TLoop loop(-50);
        loop.Timeline.Begin(48000, 9600, 0, {20, 60, 1000, 10000, 5000}, 3u);
        loop.Play(3 * 48000, 1000);
        const auto silenceFrom = static_cast<std::size_t>(loop.Timeline.ToneStart(2) + 2345 + 2400);
        std::fill_n(loop.Heard.begin() + 2 * static_cast<std::ptrdiff_t>(silenceFrom), 2 * 256,
                    std::int16_t(0));
        const TMeasured measured = loop.Measure(4, 1024);
        QCOMPARE(int(measured.EndEvents.size()), 4);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(bool(measured.EndEvents[k] & TSweepTimeline::DropoutInWindow), k == 2);
    }

    // The input's first frames may bring a burst of the card's own (its ambient sound fading as the
    // output starts, a click as it opens), heard before the probe could have come back: however it
    // correlates with the probe, it never gives the round trip, and the probe that comes later does.
    void aBurstBeforeTheProbeIsNoProbe()
    {
        for (const double decay : {60.0, 150.0})
            for (std::uint32_t seed = 1; seed <= 6; ++seed) {
                TLoop loop(-140, 6890);
                loop.Timeline.Begin(48000, 2400, 0, {1000, 2000, 3000}, 1u);
                loop.Play(2 * 48000, 1000);
                TNoise burst(seed);
                for (std::size_t i = 0; i < 1200; ++i)
                    loop.Heard[2 * i] = static_cast<std::int16_t>(
                        std::lrint(60 * std::exp(-double(i) / decay) * burst.Gaussian()));
                const TMeasured measured = loop.Measure(3, 1378);
                const QString run = QString("decay %1, seed %2: ").arg(decay).arg(seed);
                QVERIFY2(loop.Timeline.RoundTrip() && std::abs(*loop.Timeline.RoundTrip() - 6890) <= 2,
                         qPrintable(run + QString::number(loop.Timeline.RoundTrip().value_or(-1))));
                QCOMPARE(int(measured.Ends.size()), 3);
            }
    }

    // Nothing comes back: the probe is sought for the longest round trip, then given up.
    void aSilentInputMissesTheProbe()
    {
        TSweepTimeline timeline;
        timeline.Begin(48000, 2400, 0, {1000, 2000, 3000}, 3u);
        std::vector<std::int16_t> silence(2 * 4800);
        for (int block = 0; block < 40 && !timeline.ProbeMissing(); ++block)
            QCOMPARE(timeline.Passed(silence.data(), 4800, 0), 0u);
        QVERIFY(timeline.ProbeMissing());
        QVERIFY(!timeline.RoundTrip());
    }
};

QTEST_APPLESS_MAIN(TestSweepTimeline)
#include "test_sweep_timeline.moc"
