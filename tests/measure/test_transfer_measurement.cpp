// SPDX-License-Identifier: GPL-3.0-or-later
// Transfer functions measured live on the virtual card, faster than real time, against the card's own
// device model: the periodic pink noise through a known filter and delay, white noise with noise
// added against what theory says of coherence, a delay found again on request, a lost device, the
// signal's level and fades, and block analysis, the output's fill and the updates allocating nothing.

#include "../audio/DeviceModels.h"
#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "measure/TransferMeasurement.h"

#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <numbers>

// Every allocation of the test's main thread while Counting is set, through malloc itself: operator
// new, Qt's containers and FFTW's buffers all come here.
namespace {
thread_local bool Counting = false;
int Allocations = 0;
} // namespace

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* block, std::size_t size);
extern "C" void* malloc(std::size_t size)
{
    if (Counting)
        ++Allocations;
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size)
{
    if (Counting)
        ++Allocations;
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, std::size_t size)
{
    if (Counting)
        ++Allocations;
    return __libc_realloc(block, size);
}

using namespace DeviceModels;

class TestTransferMeasurement : public QObject
{
    Q_OBJECT

    TTransferMeasurement Engine;

    // A measurement on the card with these models (left, right) until `frames` frames are averaged.
    void Measure(const TChannelModel& left, const TChannelModel& right, const TTransferSettings& settings,
                 long long frames)
    {
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetModel(0, left);
        card.SetModel(1, right);
        QVERIFY2(Engine.Start(settings), qPrintable(Engine.Failure()));
        QTRY_VERIFY_WITH_TIMEOUT(Engine.FramesAnalysed() >= frames, 60000);
    }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.RestoreDefaults();
        card.SetAmbient(false);
        card.SetSpeed(4);
        Engine.AudioIn().SetFrameRate(int(Rate));
    }
    void cleanup()
    {
        Engine.Stop();
        QTRY_VERIFY(!Engine.CardInUse()); // the fade-out has played and the output closed
    }

    // The card's left channel (a small loudspeaker's high- and low-pass, gain and delay) against the
    // right one as the reference, from the periodic pink noise with no window: magnitude and phase are
    // the model's.
    void pinkNoiseGivesTheModelsResponse()
    {
        TChannelModel loudspeaker = Wire(-6);
        loudspeaker.HighPassHz = 60;
        loudspeaker.LowPassHz = 12000;
        loudspeaker.DelayFrames = 150;
        TTransferSettings settings;
        settings.FftSize = 16384;
        settings.LevelDb = -10;
        settings.Reference = 1;
        settings.Averages = 4;
        Engine.SetSmoothing(0);
        Engine.SetDelayKept(true);
        Measure(loudspeaker, Wire(), settings, 4);
        // The filters' own delay (the high-pass's at the low frequencies that carry the pink noise's
        // power) comes on top of the device's.
        QVERIFY(Engine.Delay());
        QVERIFY2(*Engine.Delay() > 150 && *Engine.Delay() < 160,
                 qPrintable(QString::number(*Engine.Delay())));
        const TTransferCurves& curves = Engine.Curves();
        double worstDb = 0, worstDegrees = 0, leastCoherence = 1;
        for (std::size_t i = 0; i < curves.Frequency.size(); ++i) {
            const double f = curves.Frequency[i];
            if (f < 20 || f > 16000)
                continue;
            const std::complex<double> model = ModelResponse(loudspeaker, f) / ModelResponse(Wire(), f);
            worstDb = std::max(worstDb, std::abs(curves.MagnitudeDb[i] - 20 * std::log10(std::abs(model))));
            worstDegrees = std::max(worstDegrees,
                                    std::abs(std::remainder(curves.PhaseDegrees[i] - Degrees(model), 360.0)));
            leastCoherence = std::min(leastCoherence, curves.Coherence[i]);
        }
        qInfo("pink noise: worst %.4f dB, %.3f degrees, coherence at least %.6f, first response after %.2f s",
              worstDb, worstDegrees, leastCoherence, Engine.FirstResponseSeconds());
        QVERIFY(worstDb < 0.01);
        QVERIFY(worstDegrees < 0.1);
        QVERIFY(leastCoherence > 0.999);

        // With the delay taken off, the phase is the device's alone.
        Engine.SetDelayKept(false);
        const std::size_t at =
            std::size_t(std::lround(std::log2(1000.0 / 10) * TTransferCurves::PointsPerOctave));
        const double f = Engine.Curves().Frequency[at];
        const std::complex<double> device =
            ModelResponse(loudspeaker, f) *
            std::polar(1.0, 2 * std::numbers::pi * f * *Engine.Delay() / Rate);
        QVERIFY(std::abs(std::remainder(Engine.Curves().PhaseDegrees[at] - Degrees(device), 360.0)) < 0.1);
    }

    // White noise, and noise of the same power added to the measured channel (which the device also
    // delays): the coherence is S / (S + N) = 1/2 in every band, and H the device's gain.
    void whiteNoiseCoherenceIsSignalOverSignalAndNoise()
    {
        TTransferSettings settings;
        settings.FftSize = 4096;
        settings.Signal = TTransferSignal::White;
        settings.LevelDb = -20;
        settings.Reference = 1;
        settings.Averaging = TTransferEstimator::TAveraging::Infinite;
        TChannelModel noisy = Wire(-6);
        noisy.DelayFrames = 100;
        // The signal's RMS after the gain, as dB re full scale: the level is re a full-scale sine.
        noisy.NoiseDbfs = settings.LevelDb - 3.0103 - 6;
        Engine.SetSmoothing(0);
        Measure(noisy, Wire(), settings, 300);
        QVERIFY(Engine.Delay());
        QVERIFY(std::abs(*Engine.Delay() - 100) < 0.5);
        const TTransferCurves& curves = Engine.Curves();
        double coherence = 0, level = 0;
        int points = 0;
        for (std::size_t i = 0; i < curves.Frequency.size(); ++i)
            if (curves.Frequency[i] >= 100 && curves.Frequency[i] <= 16000) {
                coherence += curves.Coherence[i];
                level += curves.MagnitudeDb[i];
                ++points;
            }
        coherence /= points;
        level /= points;
        qInfo("white noise, S = N: coherence %.4f, level %.3f dB", coherence, level);
        QVERIFY(std::abs(coherence - 0.5) < 0.02);
        QVERIFY(std::abs(level + 6) < 0.1);
    }

    // A device that only delays: the delay is found to a twentieth of a frame, a whole one to a
    // hundredth. It changes while the measurement runs: asked to, the engine finds the new one, and the
    // averages start again.
    void delayFoundAgainOnRequest()
    {
        TTransferSettings settings;
        settings.FftSize = 8192;
        settings.Reference = 1;
        TChannelModel device = Wire(-3);
        device.DelayFrames = 480;
        device.DelayFraction = 0.37;
        Measure(device, Wire(), settings, 2);
        QVERIFY2(Engine.Delay() && std::abs(*Engine.Delay() - 480.37) < 0.05,
                 qPrintable(QString::number(Engine.Delay().value_or(0))));
        device.DelayFrames = 2400;
        device.DelayFraction = 0;
        TDeviceServices::VirtualCard().SetModel(0, device);
        QTest::qWait(400); // the new delay has been heard for a while
        Engine.FindDelay();
        QVERIFY(Engine.SearchingDelay());
        QTRY_VERIFY_WITH_TIMEOUT(!Engine.SearchingDelay(), 10000);
        QVERIFY2(std::abs(*Engine.Delay() - 2400) < 0.01, qPrintable(QString::number(*Engine.Delay())));
        QVERIFY(Engine.Averaged() <= 2);
    }

    // A device that vanishes ends the measurement with the reason.
    void lostDeviceEndsTheMeasurement()
    {
        TTransferSettings settings;
        settings.FftSize = 4096;
        Measure(Wire(), Wire(), settings, 1);
        QSignalSpy failed(&Engine, &TTransferMeasurement::Failed);
        TDeviceServices::VirtualCard().LoseDevices();
        QVERIFY(failed.wait(5000));
        QVERIFY(!Engine.Measuring());
        QVERIFY2(Engine.Failure().contains(QStringLiteral("przestało działać")),
                 qPrintable(Engine.Failure()));
        TDeviceServices::VirtualCard().RestoreDefaults();
        TDeviceServices::VirtualCard().SetAmbient(false);
        TDeviceServices::VirtualCard().SetSpeed(4);
    }

    // Block analysis, the output's fill and the updates allocate nothing once the measurement runs.
    void nothingAllocatedWhileBlocksStream()
    {
        TTransferSettings settings;
        settings.FftSize = 8192;
        settings.Averages = 16;
        Measure(Wire(-3), Wire(), settings, 1);
        const TBufferEvent analyse = Engine.AudioIn().OnBufferFilled, fill = Engine.AudioOut().OnFillBuffer;
        int blocks = 0, fills = 0;
        Engine.AudioIn().OnBufferFilled = [&](float* buffer, int& size) {
            ++blocks;
            Counting = true;
            const bool done = analyse(buffer, size);
            Counting = false;
            return done;
        };
        Engine.AudioOut().OnFillBuffer = [&](float* buffer, int& size) {
            ++fills;
            Counting = true;
            const bool done = fill(buffer, size);
            Counting = false;
            return done;
        };
        Allocations = 0;
        const long long before = Engine.FramesAnalysed();
        for (int update = 0; update < 20; ++update) {
            QTest::qWait(50);
            Counting = true;
            Engine.Update();
            Counting = false;
        }
        Engine.AudioIn().OnBufferFilled = analyse;
        Engine.AudioOut().OnFillBuffer = fill;
        qInfo("%d input blocks, %d output blocks, %lld frames analysed: %d allocations", blocks, fills,
              Engine.FramesAnalysed() - before, Allocations);
        QVERIFY(blocks > 10 && fills > 5 && Engine.FramesAnalysed() > before + 5);
        QCOMPARE(Allocations, 0);
    }

    // Settings that cannot be measured, and a level whose peaks would clip, are refused with the reason.
    void settingsChecked()
    {
        TTransferSettings settings;
        settings.FftSize = 5000;
        QVERIFY(!Engine.Start(settings));
        QVERIFY(Engine.Failure().contains(QStringLiteral("potęgą dwójki")));
        settings.FftSize = 4096;
        settings.LevelDb = -1;
        QVERIFY(!Engine.Start(settings));
        QVERIFY2(Engine.Failure().contains(QStringLiteral("Najwyższy poziom")), qPrintable(Engine.Failure()));
        QVERIFY(!Engine.CardInUse());
    }

    // The signal's level is its RMS re a full-scale sine; the pink noise repeats its period; it rises
    // over 50 ms at the start and falls to silence over 50 ms, in even steps, when it is faded out;
    // no level plays past full scale.
    void signalLevelPeriodAndFades()
    {
        constexpr std::size_t period = 4096;
        constexpr auto fade = std::size_t(TTransferGenerator::FadeSeconds * Rate);
        for (const TTransferSignal kind : {TTransferSignal::Pink, TTransferSignal::White}) {
            TTransferGenerator generator(kind, period, Rate, -20);
            QVERIFY(generator.HighestLevel() < -6 && generator.HighestLevel() > -14);
            std::vector<float> samples(8 * period);
            generator.Fill(samples);
            double energy = 0;
            for (std::size_t n = 2 * period; n < samples.size(); ++n)
                energy += double(samples[n]) * samples[n];
            const double rmsDb = 10 * std::log10(energy / double(samples.size() - 2 * period)) -
                                 20 * std::log10(1 / std::sqrt(2.0));
            QVERIFY2(std::abs(rmsDb + 20) < 0.1, qPrintable(QString::number(rmsDb)));
            if (kind == TTransferSignal::Pink)
                for (std::size_t n = fade; n < samples.size() - period; ++n)
                    QCOMPARE(samples[n], samples[n + period]);
            double rising = 0;
            for (std::size_t n = 0; n < fade / 10; ++n)
                rising = std::max(rising, std::abs(double(samples[n])));
            QVERIFY(rising < 0.2 * std::pow(10, -20 / 20.0));

            // At the highest level the pink noise's loudest sample is full scale, give or take rounding.
            TTransferGenerator loud(kind, period, Rate, generator.HighestLevel());
            std::vector<float> tail(4 * period + fade);
            loud.Fill(tail);
            const auto [low, high] = std::minmax_element(tail.begin(), tail.end());
            if (kind == TTransferSignal::Pink)
                QVERIFY2(std::max(-*low, *high) >= 32700 / 32767.0f, qPrintable(QString::number(*high)));
            loud.FadeOut();
            QVERIFY(loud.FadingOut() && !loud.Silent());
            loud.Fill(tail);
            QVERIFY(loud.Silent());
            // The envelope falls in a straight line: the loudest sample of each tenth of the fade is
            // below the line's value at the tenth's start.
            for (std::size_t tenth = 0; tenth < 10; ++tenth) {
                float loudest = 0;
                for (std::size_t n = tenth * fade / 10; n < (tenth + 1) * fade / 10; ++n)
                    loudest = std::max(loudest, std::abs(tail[n]));
                QVERIFY(loudest <= 1 - double(tenth) / 10 + 1e-6);
            }
            QVERIFY(
                std::all_of(tail.begin() + std::ptrdiff_t(fade), tail.end(), [](float x) { return x == 0; }));
        }
    }
};

QTEST_GUILESS_MAIN(TestTransferMeasurement)
#include "test_transfer_measurement.moc"
