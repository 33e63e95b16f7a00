// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioTestSupport.h"

#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"

#include <QTest>
#include <QThread>
#include <algorithm>

namespace {

// Plays a mono sine (or silence) through the card and records both channels after a settling time.
struct TLoop
{
    TAudioOut Out;
    TAudioIn In;
    TSineSource Sine;
    std::vector<double> Left, Right;

    // Float streams unless told the integers' bits.
    explicit TLoop(int bits = 0)
    {
        const TSampleFormat format = bits == 0 ? TSampleFormat::Float : TSampleFormat::Integer;
        bits = bits == 0 ? 16 : bits;
        Out.SetSampleFormat(format);
        In.SetSampleFormat(format);
        // Fast, yet with 100 ms of slack in the four blocks, so that a busy machine leaves no gaps.
        TDeviceServices::VirtualCard().SetSpeed(8);
        Out.SetFrameRate(48000);
        Out.SetQuantization(static_cast<std::uint16_t>(bits));
        Out.SetBufferSize(9600 * bits / 8);
        In.SetFrameRate(48000);
        In.SetQuantization(static_cast<std::uint16_t>(bits));
        In.SetStereo(true);
        In.SetBufferSize(9600 * 2 * bits / 8);
        Out.OnFillBuffer = [this](float* buffer, int& size) { return Sine.Fill(buffer, size); };
        In.OnBufferFilled = [this](float* buffer, int& size) {
            AppendChannel(Left, buffer, size, 2, 0);
            AppendChannel(Right, buffer, size, 2, 1);
            return true;
        };
    }
    ~TLoop() { TDeviceServices::VirtualCard().RestoreDefaults(); }

    // Records `seconds` of card time, the output playing unless `silent`.
    bool Record(double seconds, bool silent = false)
    {
        if ((!silent && !Out.Start()) || !In.Start())
            return false;
        const auto frames = static_cast<std::size_t>(seconds * 48000);
        Left.reserve(frames + 48000);
        Right.reserve(frames + 48000);
        const bool done = WaitFor([&] { return Left.size() >= frames; }, 20000);
        Out.StopNow();
        In.StopNow();
        return done;
    }
    // Level of the last half, in dB relative to the played sine.
    double Level(const std::vector<double>& channel) const
    {
        return Db(Rms(channel, channel.size() / 2) / (Sine.Amplitude / std::sqrt(2.0)));
    }
};

double LagOfBestMatch(const std::vector<double>& reference, const std::vector<double>& delayed, int maxLag)
{
    int best = 0;
    double bestSum = -1e300;
    const std::size_t from = reference.size() / 2, count = 4800;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double sum = 0;
        for (std::size_t i = from; i < from + count; ++i)
            sum += reference[i] * delayed[i + static_cast<std::size_t>(lag)];
        if (sum > bestSum) {
            bestSum = sum;
            best = lag;
        }
    }
    return best;
}

} // namespace

class TestVirtualCard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        QCOMPARE(TDeviceServices::DeviceNames(TWaveDirection::Input).size(), 1);
        QVERIFY(!TDeviceServices::ServerStatus().isEmpty());
    }

    void defaultModelIsALoudspeakerOnTheLeftAndAWireOnTheRight_data()
    {
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("right");
        QTest::newRow("1 kHz") << 1000.0 << -10.0 << -3.0;
        QTest::newRow("60 Hz, the high-pass corner") << 60.0 << -13.0 << -3.0;
        QTest::newRow("12 kHz, the low-pass corner") << 12000.0 << -13.0 << -3.0;
        QTest::newRow("20 Hz, an octave and a half below") << 20.0 << -10 - 19.1 << -3.0;
    }

    void defaultModelIsALoudspeakerOnTheLeftAndAWireOnTheRight()
    {
        QFETCH(double, frequency);
        QFETCH(double, left);
        QFETCH(double, right);
        TLoop loop;
        TDeviceServices::VirtualCard().SetAmbient(false);
        loop.Sine.Frequency = frequency;
        QVERIFY(loop.Record(2.0));
        QVERIFY2(std::abs(loop.Level(loop.Left) - left) < 0.3,
                 qPrintable(QString::number(loop.Level(loop.Left))));
        QVERIFY2(std::abs(loop.Level(loop.Right) - right) < 0.1,
                 qPrintable(QString::number(loop.Level(loop.Right))));
        const double measured = ZeroCrossingFrequency(loop.Right, loop.Right.size() / 2, 48000);
        QVERIFY2(std::abs(measured - frequency) < frequency * 1e-3, qPrintable(QString::number(measured)));
    }

    void integerSamplesTakeTheSamePath_data()
    {
        QTest::addColumn<int>("bits");
        QTest::newRow("8 bits") << 8;
        QTest::newRow("16 bits") << 16;
    }

    void integerSamplesTakeTheSamePath()
    {
        QFETCH(int, bits);
        TLoop loop(bits);
        TDeviceServices::VirtualCard().SetAmbient(false);
        QVERIFY(loop.Record(1.0));
        QVERIFY2(std::abs(loop.Level(loop.Right) + 3.0) < 0.3,
                 qPrintable(QString::number(loop.Level(loop.Right))));
    }

    // A 16-bit stream reads a tone as a float stream does: the engines' levels do not depend on it.
    void bothSampleFormatsReadTheSameLevel()
    {
        TDeviceServices::VirtualCard().SetAmbient(false);
        TLoop sixteen(16), floats;
        QCOMPARE(floats.In.DeviceFormat().FormatTag, WaveFormatFloat);
        QCOMPARE(sixteen.In.BlockSamples(), floats.In.BlockSamples());
        QVERIFY(sixteen.Record(1.0) && floats.Record(1.0));
        const double difference = sixteen.Level(sixteen.Right) - floats.Level(floats.Right);
        QVERIFY2(std::abs(difference) < 0.001, qPrintable(QString::number(difference)));
    }

    void delayClippingAndNoiseFollowTheModel()
    {
        TLoop loop;
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetAmbient(false);
        TChannelModel wire;
        wire.NoiseDbfs = -200;
        TChannelModel late = wire;
        late.DelayFrames = 123;
        card.SetModel(0, wire);
        card.SetModel(1, late);
        loop.Sine.Frequency = 217;
        QVERIFY(loop.Record(1.0));
        QCOMPARE(LagOfBestMatch(loop.Left, loop.Right, 300), 123.0);

        TLoop clipped;
        TChannelModel loud = wire;
        loud.GainDb = 10;
        loud.ClipLevel = 0.25;
        card.SetModel(0, loud);
        QVERIFY(clipped.Record(1.0));
        const auto [lowest, highest] = std::minmax_element(clipped.Left.begin() + 24000, clipped.Left.end());
        QCOMPARE(static_cast<float>(*highest / SixteenBitUnits), 0.25f);
        QCOMPARE(static_cast<float>(*lowest / SixteenBitUnits), -0.25f);

        TLoop quiet;
        TChannelModel noisy = wire;
        noisy.NoiseDbfs = -60;
        card.SetModel(0, noisy);
        card.SetModel(1, TVirtualCard::DefaultModel(1));
        QVERIFY(quiet.Record(1.0, true));
        const double leftNoise = Db(Rms(quiet.Left, 24000) / 32768),
                     rightNoise = Db(Rms(quiet.Right, 24000) / 32768);
        QVERIFY2(std::abs(leftNoise + 60) < 0.5, qPrintable(QString::number(leftNoise)));
        // -90 dBFS is below a 16-bit step: what remains is rounding, between silence and one step.
        QVERIFY2(rightNoise < -85 && rightNoise > -120, qPrintable(QString::number(rightNoise)));
    }

    // The model's own answer (gain, filters and a fractional delay, with phase) is what a tone comes
    // out with, and x + a x^2 + b x^3 adds the harmonics a A^2 / 2 and b A^3 / 4 of a cosine of A.
    void pathFollowsItsResponseAndItsNonlinearity()
    {
        constexpr double rate = 48000, amplitude = 0.5;
        constexpr int frames = 48000; // 1 s: every tone below has whole periods in it
        TChannelModel model;
        model.GainDb = -2;
        model.HighPassHz = 80;
        model.LowPassHz = 9000;
        model.NoiseDbfs = -400;
        model.DelayFrames = 40;
        model.DelayFraction = 0.37;
        const auto toneAt = [&](const TChannelModel& m, double f, int harmonic) {
            TChannelPath path;
            path.Configure(m, rate);
            TNoise noise(1);
            std::complex<double> sum;
            for (int n = 0; n < 2 * frames; ++n) {
                const double y =
                    path.Process(amplitude * std::cos(2 * std::numbers::pi * f * n / rate), noise);
                if (n >= frames) // settled
                    sum += y * std::polar(1.0, -2 * std::numbers::pi * harmonic * f * n / rate);
            }
            return std::pair{sum * (2.0 / frames), path};
        };
        for (const double f : {100.0, 1000.0, 15000.0}) {
            const auto [measured, path] = toneAt(model, f, 1);
            const std::complex<double> expected = amplitude * path.Response(f, rate);
            QVERIFY2(std::abs(measured / expected - 1.0) < 1e-4, qPrintable(QString::number(f)));
        }
        TChannelModel bent;
        bent.NoiseDbfs = -400;
        bent.Square = 0.02;
        bent.Cube = 0.01;
        QVERIFY(std::abs(std::abs(toneAt(bent, 1000, 2).first) - 0.02 * amplitude * amplitude / 2) < 1e-9);
        QVERIFY(std::abs(std::abs(toneAt(bent, 1000, 3).first) - 0.01 * std::pow(amplitude, 3) / 4) < 1e-9);
    }

    void ambientSoundIsQuietDriftsAndGivesWayToPlaying()
    {
        TLoop idle;
        TDeviceServices::VirtualCard().SetSpeed(100);
        QVERIFY(idle.Record(30.0, true));
        double lowest = 0, highest = -300;
        for (std::size_t from = 0; from + 48000 <= idle.Left.size(); from += 48000) {
            const std::vector<double> second(idle.Left.begin() + static_cast<std::ptrdiff_t>(from),
                                             idle.Left.begin() + static_cast<std::ptrdiff_t>(from + 48000));
            const double level = Db(Rms(second) / 32768);
            QVERIFY(std::isfinite(level));
            lowest = std::min(lowest, level);
            highest = std::max(highest, level);
        }
        QVERIFY2(highest < -45 && lowest > -75, qPrintable(QString("%1 .. %2").arg(lowest).arg(highest)));
        QVERIFY2(highest - lowest > 4, qPrintable(QString("%1 .. %2").arg(lowest).arg(highest)));

        // While a sine plays, only the sine (and the model's noise) is heard.
        TLoop playing;
        TChannelModel wire;
        playing.Sine.Amplitude = 0; // digital silence played: the ambient sound must still give way
        TDeviceServices::VirtualCard().SetModel(1, wire);
        QVERIFY(playing.Record(1.0));
        QVERIFY(Db(Rms(playing.Right, 24000) / 32768) < -85);
    }

    void aUserInterfaceLateByLessThanTheCardsBufferLosesNoFrames()
    {
        TLoop loop;
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetSpeed(1);
        card.SetAmbient(false);
        TChannelModel wire;
        wire.NoiseDbfs = -200;
        card.SetModel(1, wire);
        // Output: a second of slack in its blocks; input: 128-frame blocks, 10.7 ms in the four.
        loop.Out.SetBufferSize(12000 * 2);
        loop.In.SetBufferSize(128 * 4);
        loop.Sine.Frequency = 997; // no whole number of periods in a block: a lost block shows
        QVERIFY(loop.Out.Start());
        QVERIFY(loop.In.Start());
        QVERIFY(WaitFor([&] { return loop.Right.size() >= 4800; }, 3000));
        const std::size_t beforeStall = loop.Right.size();
        QThread::msleep(50); // the UI thread is late by about 50 ms
        QVERIFY(WaitFor([&] { return loop.Right.size() >= 4800 * 5; }, 3000));
        loop.In.StopNow();
        loop.Out.StopNow();
        QCOMPARE(loop.In.Xruns(), std::uint64_t(0));
        QVERIFY(loop.Right.size() > beforeStall + 4800);
        // Without a gap every sample follows from the two before it; rounding leaves a few steps.
        const double twoCos = 2 * std::cos(2 * std::numbers::pi * loop.Sine.Frequency / 48000);
        double worst = 0;
        for (std::size_t i = 2400; i < loop.Right.size(); ++i)
            worst =
                std::max(worst, std::abs(loop.Right[i] - (twoCos * loop.Right[i - 1] - loop.Right[i - 2])));
        QVERIFY2(worst < 4, qPrintable(QString::number(worst)));
    }

    void bothDirectionsRunAtOneFrameRate()
    {
        TLoop loop;
        QVERIFY(loop.Out.Start());
        loop.In.SetFrameRate(44100);
        QVERIFY(!loop.In.Start());
        QCOMPARE(loop.In.LastError(), QString("Urządzenie nie obsługuje tego formatu dźwięku"));
        loop.Out.StopNow();
        QVERIFY(loop.In.Start()); // alone it may run at any rate the card has
        loop.In.StopNow();
    }
};

QTEST_GUILESS_MAIN(TestVirtualCard)
#include "test_virtual_card.moc"
