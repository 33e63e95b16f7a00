// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SynchronousDetector.h"
#include "audio/DeviceUnderTest.h"

#include <QTest>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double Rate = 48000;

// A window of `frames` samples rounded to 16 bits: the tone's harmonics (amplitude, phase in rad;
// index 1 the fundamental) on sin(k theta_n) and a constant.
std::vector<float> Tone(double step, double phase, std::size_t frames,
                        const std::vector<std::pair<double, double>>& harmonics, double offset)
{
    std::vector<float> samples(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const double theta = step * static_cast<double>(n) + phase;
        double y = offset;
        for (std::size_t k = 1; k < harmonics.size(); ++k)
            y += harmonics[k].first * std::sin(static_cast<double>(k) * theta + harmonics[k].second);
        samples[n] = static_cast<float>(std::lrint(y));
    }
    return samples;
}

double Db(double ratio)
{
    return 20 * std::log10(ratio);
}

} // namespace

class TestSynchronousDetector : public QObject
{
    Q_OBJECT
private slots:
    // A tone with a constant and two harmonics, measured over 10.37 periods (a window that ends off a
    // period's end): each harmonic's amplitude and phase as made, THD from them; the harmonics above
    // 0.49 of the frame rate are not measured, and a stereo stride takes one channel.
    void fitsTheHarmonicsOfAWindowOfAnyLength()
    {
        const double frequency = 3456.7, step = 2 * std::numbers::pi * frequency / Rate, phase = 0.7;
        const auto frames = static_cast<std::size_t>(10.37 * Rate / frequency);
        const std::vector<std::pair<double, double>> made{{0, 0}, {20000, 0.3}, {200, -1.2}, {20, 2.5}};
        const std::vector<float> samples = Tone(step, phase, frames, made, 150);
        std::vector<float> stereo(2 * frames);
        for (std::size_t n = 0; n < frames; ++n)
            stereo[2 * n + 1] = samples[n];

        TSynchronousDetector detector(Rate, 48000, 9, 20, 20000);
        detector.Begin(step, phase);
        detector.Add(std::span<const float>(stereo).subspan(1), 2);
        const TSynchronousDetector::TResult& result = detector.Finish();
        QCOMPARE(result.Frames, frames);
        // Rounding to whole samples leaves an error of a fraction of a unit.
        for (int k = 1; k <= 3; ++k) {
            QVERIFY(result.Harmonics[k].Measured);
            QVERIFY2(std::abs(result.Harmonics[k].Amplitude() - made[k].first) < 0.2,
                     qPrintable(QString::number(result.Harmonics[k].Amplitude())));
            QVERIFY2(std::abs(std::arg(result.Harmonics[k].Phasor) - made[k].second) <
                         0.2 / made[k].first + 1e-6,
                     qPrintable(QString::number(std::arg(result.Harmonics[k].Phasor))));
        }
        QVERIFY(std::abs(result.Harmonics[4].Amplitude()) < 0.2);
        QVERIFY(result.Harmonics[6].Measured);  // 20.7 kHz
        QVERIFY(!result.Harmonics[7].Measured); // 24.2 kHz
        QVERIFY(std::abs(result.Offset - 150) < 0.1);
        QVERIFY(result.ThdMeasured);
        QVERIFY(std::abs(result.Thd - std::hypot(200.0, 20.0) / 20000) < 2e-5);
        QVERIFY(result.Peak > 20000 && result.Peak <= 20370);
    }

    // Gaussian noise of a known RMS (rounded to 16 bits): the residual's RMS, the fundamental's
    // standard error as the spread of many windows shows it, and THD+N of noise within the band (the
    // band's share of the noise) to a few tenths of a dB.
    void noiseGivesItsRmsErrorAndThdN()
    {
        const double frequency = 997, step = 2 * std::numbers::pi * frequency / Rate;
        const std::size_t frames = 24000;
        const double noise = 30, amplitude = 10000;
        TSynchronousDetector detector(Rate, frames, 9, 20, 12000);
        std::vector<double> amplitudes;
        double errorSum = 0, thdN = 0;
        for (int window = 0; window < 20; ++window) {
            TNoise source(static_cast<std::uint32_t>(100 + window));
            std::vector<float> samples(frames);
            for (std::size_t n = 0; n < frames; ++n)
                samples[n] = static_cast<float>(std::lrint(
                    amplitude * std::sin(step * static_cast<double>(n)) + noise * source.Gaussian()));
            detector.Begin(step, 0);
            detector.Add(samples);
            const TSynchronousDetector::TResult& result = detector.Finish();
            QVERIFY2(std::abs(result.NoiseRms / std::sqrt(noise * noise + 1.0 / 12) - 1) < 0.02,
                     qPrintable(QString::number(result.NoiseRms)));
            amplitudes.push_back(result.Harmonics[1].Amplitude());
            errorSum += result.AmplitudeError;
            thdN += result.ThdN * result.ThdN;
        }
        double mean = 0, spread = 0;
        for (double a : amplitudes)
            mean += a / static_cast<double>(amplitudes.size());
        for (double a : amplitudes)
            spread += (a - mean) * (a - mean) / static_cast<double>(amplitudes.size() - 1);
        const double expectedError = errorSum / static_cast<double>(amplitudes.size());
        QVERIFY2(std::abs(std::sqrt(spread) / expectedError - 1) < 0.5,
                 qPrintable(QString("%1 %2").arg(std::sqrt(spread)).arg(expectedError)));
        const double inBand = (noise * noise + 1.0 / 12) * (12000.0 - 20.0) / (Rate / 2);
        const double expected = Db(std::sqrt(inBand) / (amplitude / std::numbers::sqrt2));
        const double measured = Db(std::sqrt(thdN / static_cast<double>(amplitudes.size())));
        QVERIFY2(std::abs(measured - expected) < 0.2,
                 qPrintable(QString("%1 %2").arg(measured).arg(expected)));
    }

    // THD+N counts what lies in the band and nothing outside it: a tone at 15 kHz beside a 1 kHz
    // fundamental reads 20 log10(a / A) with the band up to 20 kHz, and only the rounding of the samples
    // with the band to 10 kHz.
    void thdNIsTakenWithinTheBand()
    {
        const double step = 2 * std::numbers::pi * 1000.3 / Rate,
                     other = 2 * std::numbers::pi * 15000.0 / Rate;
        const std::size_t frames = 4800;
        std::vector<float> samples(frames);
        for (std::size_t n = 0; n < frames; ++n)
            samples[n] = static_cast<float>(std::lrint(20000 * std::sin(step * static_cast<double>(n)) +
                                                       200 * std::sin(other * static_cast<double>(n))));
        for (const auto& [high, expected] : {std::pair(20000.0, Db(0.01)), std::pair(10000.0, -80.0)}) {
            TSynchronousDetector detector(Rate, frames, 9, 20, high);
            detector.Begin(step, 0);
            detector.Add(samples);
            const double thdN = Db(detector.Finish().ThdN);
            QVERIFY2(high == 20000 ? std::abs(thdN - expected) < 0.05 : thdN < expected,
                     qPrintable(QString("%1 Hz: %2 dB").arg(high).arg(thdN)));
        }
    }

    // Silence has no fundamental: nothing is divided by zero.
    void silenceMeasuresZero()
    {
        TSynchronousDetector detector(Rate, 4800, 9, 20, 20000);
        detector.Begin(0.1, 0);
        detector.Add(std::vector<float>(4800));
        const TSynchronousDetector::TResult& result = detector.Finish();
        QCOMPARE(result.Harmonics[1].Amplitude(), 0.0);
        QCOMPARE(result.Thd, 0.0);
        QCOMPARE(result.ThdN, 0.0);
        QVERIFY(std::isfinite(result.NoiseRms));
    }
};

QTEST_APPLESS_MAIN(TestSynchronousDetector)
#include "test_synchronous_detector.moc"
