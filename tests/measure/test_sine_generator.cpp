// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"
#include "measure/SineGenerator.h"
#include "measure/SweepTimeline.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

// A 16-bit output unless told otherwise.
struct TFixedRate final : IStreamInfo
{
    int Rate = 48000;
    bool Integer = true;
    bool Running() const override { return true; }
    int FrameRate() const override { return Rate; }
    bool IntegerSamples() const override { return Integer; }
};

// The generator's float block, as a 16-bit stream plays it.
std::vector<int> Block(TSineGenerator& generator, int samples)
{
    std::vector<float> floats(static_cast<std::size_t>(samples) + 1, 0.5f);
    int size = samples;
    const bool filled = generator.FillOutputBlock(floats.data(), size);
    // Checked in release builds too, where Q_ASSERT is compiled out.
    QTest::qVerify(filled && size == samples && floats.back() == 0.5f, "block filled in place",
                   "the size and the sample after the block stay", __FILE__, __LINE__);
    std::vector<std::int16_t> sixteen(static_cast<std::size_t>(samples));
    FloatToInteger(floats.data(), reinterpret_cast<char*>(sixteen.data()), samples, 16);
    std::vector<int> out(sixteen.begin(), sixteen.end());
    return out;
}

int LargestStep(const std::vector<int>& samples)
{
    int largest = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
    return largest;
}

} // namespace

class TestSineGenerator : public QObject
{
    Q_OBJECT
private slots:
    void SamplesOfAKilohertzBlock()
    {
        TMeasurementState state;
        TFixedRate rate;
        TSineGenerator generator(state, rate);
        state.GeneratorFrequency = 1000;
        const auto s = Block(generator, 48);
        QCOMPARE(s[0], 0);
        QCOMPARE(s[12], 25000); // a quarter turn
        QCOMPARE(s[24], 0);     // sin(3.14159) * 25000 = 0.066
        QCOMPARE(s[36], -25000);
        QCOMPARE(s[4], 12500); // sin(pi / 6) * 25000 = 12499.99...
        QCOMPARE(state.PreviousPhase, 0.0);
    }

    // Blocks in a row give the samples of one long block, to the rounding of a sample plus the phase
    // lost at each joint: 3.141593 per half turn is 0.35 micro-radians more than pi.
    void PhaseCarriesAcrossBlocks()
    {
        for (const double frequency : {997.0, 1000.0, 15000.0, 21000.5}) {
            const double halfTurnsPerBlock = 1500.0 / 44100 * 2 * frequency;
            const double tolerance = 1 + 25000 * 3 * halfTurnsPerBlock * 0.35e-6;
            TMeasurementState a, b;
            TFixedRate rate;
            rate.Rate = 44100;
            a.GeneratorFrequency = b.GeneratorFrequency = frequency;
            TSineGenerator one(a, rate), split(b, rate);
            const auto whole = Block(one, 6000);
            std::vector<int> parts;
            for (int i = 0; i < 4; ++i) {
                const auto part = Block(split, 1500);
                parts.insert(parts.end(), part.begin(), part.end());
            }
            for (std::size_t i = 0; i < whole.size(); ++i)
                QVERIFY2(std::abs(whole[i] - parts[i]) <= tolerance, qPrintable(QString::number(i)));
        }
    }

    // The joint between blocks is no larger a step than the steps inside them, also where the
    // frequency changes between blocks and where the block ends next to a whole half turn (there a
    // half-turn reduction with 3.141593 alone would flip the sign of the tone).
    void JointIsSmoothAcrossFrequencyChangesAndHalfTurns()
    {
        TMeasurementState state;
        TFixedRate rate;
        TSineGenerator generator(state, rate);
        state.GeneratorFrequency = 1000;
        const auto first = Block(generator, 1500);
        state.GeneratorFrequency = 3000;
        const auto second = Block(generator, 1500);
        QVERIFY(std::abs(second.front() - first.back()) <= LargestStep(second));

        for (const int halfTurns : {1001, 1498, 1499}) { // up to 24 kHz
            for (const long double beyond : {-1e-5L, 1e-5L, 2e-4L}) {
                TMeasurementState s;
                TSineGenerator g(s, rate);
                const long double target = halfTurns * std::numbers::pi_v<long double> + beyond;
                s.GeneratorFrequency = static_cast<double>(target / (1500.0L / 48000 * 3.14159L * 2));
                const auto before = Block(g, 1500);
                const long double thetaEnd = 1500.0L / 48000 * 3.14159L * 2 * s.GeneratorFrequency;
                QVERIFY(s.GeneratorPhase >= 0 && s.GeneratorPhase < 2 * std::numbers::pi);
                QVERIFY2(std::cos(s.GeneratorPhase - thetaEnd) > 0.999L,
                         qPrintable(QString("%1 %2").arg(halfTurns).arg(double(beyond))));
                const auto after = Block(g, 1500);
                QVERIFY(std::abs(after.front() - before.back()) <= LargestStep(after) + 1);
            }
        }
    }

    // A tone of a detected point is one sinusoid from its first frame on, in whatever blocks it is
    // asked for: for a 16-bit stream each sample is the exact tone's to its triangular dither (1 LSB)
    // and rounding; a float stream gets the tone itself, undithered.
    void DetectedToneGoesOnExactlyAcrossBlocks_data()
    {
        QTest::addColumn<bool>("integer");
        QTest::addColumn<double>("limit"); // 16-bit units
        QTest::newRow("16 bits") << true << 1.5;
        QTest::newRow("float") << false << 0.005;
    }

    void DetectedToneGoesOnExactlyAcrossBlocks()
    {
        QFETCH(bool, integer);
        QFETCH(double, limit);
        TMeasurementState state;
        state.Amplitude = 25000;
        TFixedRate rate;
        rate.Integer = integer;
        TSweepTimeline timeline;
        TSweepTimeline::TSetUp setUp;
        setUp.PointFrames = 9600;
        setUp.Frequencies = {20000};
        setUp.Dithered = true;
        timeline.Begin(setUp);
        const float listening[2] = {0, 0}; // the output's time line starts with the input's
        timeline.Passed(listening, 1, 0);
        TSineGenerator generator(state, rate, &timeline);
        std::vector<double> samples; // 16-bit units
        std::vector<float> block(1000);
        std::vector<std::int16_t> sixteen(block.size());
        std::vector<float> heard;
        while (samples.size() < 48000) {
            int size = 1000;
            generator.FillOutputBlock(block.data(), size);
            FloatToInteger(block.data(), reinterpret_cast<char*>(sixteen.data()), size, 16);
            // Heard at once: the tones follow once the probe has come back.
            heard.clear();
            for (std::size_t k = 0; k < block.size(); ++k) {
                samples.push_back(integer ? sixteen[k] : block[k] * 32767.0);
                heard.insert(heard.end(), 2, block[k]);
            }
            timeline.Passed(heard.data(), size, 0);
        }
        const std::int64_t start = timeline.ToneStart(0);
        const long double step = 3.14159L * 2 * 20000 / 48000;
        double worst = 0;
        for (std::int64_t n = 0; n < 9600; ++n)
            worst = std::max(
                worst, static_cast<double>(std::abs(samples[static_cast<std::size_t>(start + n)] -
                                                    25000 * std::sin(step * n + timeline.TonePhase(0)))));
        QVERIFY2(worst <= limit, qPrintable(QString::number(worst)));
    }

    // A sample can never wrap around, whatever the amplitude holds.
    void AmplitudeIsClampedToSixteenBits()
    {
        for (const int amplitude : {40000, -40000, 32768, -32768}) {
            TMeasurementState state;
            TFixedRate rate;
            TSineGenerator generator(state, rate);
            state.GeneratorFrequency = 1000;
            state.Amplitude = amplitude;
            const auto s = Block(generator, 48);
            QCOMPARE(std::abs(s[12]), 32767);
            QCOMPARE(s[12] > 0, amplitude > 0);
            QVERIFY(LargestStep(s) < 8000);
        }
    }

    void NoRateOrNoFrequencyGivesSilence()
    {
        TMeasurementState state;
        TFixedRate rate;
        rate.Rate = 0;
        TSineGenerator generator(state, rate);
        state.GeneratorFrequency = 1000;
        state.GeneratorPhase = 1.0;
        for (int v : Block(generator, 64))
            QCOMPARE(v, 0);
        rate.Rate = 48000;
        state.GeneratorFrequency = std::nan("");
        for (int v : Block(generator, 64))
            QCOMPARE(v, 0);
        QCOMPARE(state.GeneratorPhase, 1.0);
    }
};

QTEST_GUILESS_MAIN(TestSineGenerator)
#include "test_sine_generator.moc"
