// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/FftAnalyser.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double Rate = 48000;

std::vector<double> Sine(double frequency, double amplitude, std::size_t size)
{
    std::vector<double> frame(size);
    for (std::size_t n = 0; n < size; ++n)
        frame[n] = amplitude * std::sin(2 * std::numbers::pi * frequency * double(n) / Rate + 0.3);
    return frame;
}

double Db(double ratio)
{
    return 10 * std::log10(ratio);
}

} // namespace

class TestFftAnalyser : public QObject
{
    Q_OBJECT
private slots:
    // A sine 20 dB below full scale reads its mean square within 0.1 dB with the flat-top window at
    // every size, wherever it falls between two bins.
    void flatTopReadsASineAtEverySize()
    {
        constexpr double Amplitude = 3276.7;
        for (std::size_t size = 1024; size <= 65536; size *= 2) {
            TFftAnalyser spectrum(size, TFftAnalyser::TWindow::FlatTop);
            for (const double offset : {0.0, 0.25, 0.5}) {
                const double frequency =
                    (std::round(1234.5 * double(size) / Rate) + offset) * Rate / double(size);
                spectrum.Add(Sine(frequency, Amplitude, size));
                const std::span<const double> power = spectrum.Power();
                const double peak = *std::max_element(power.begin(), power.end());
                QVERIFY2(std::abs(Db(peak / (Amplitude * Amplitude / 2))) < 0.1,
                         qPrintable(QStringLiteral("%1 at %2").arg(size).arg(offset)));
            }
        }
    }

    // White noise of variance s^2 has the density s^2 / (Rate / 2) per hertz: the mean of the bins
    // divided by the window's noise bandwidth, for every window; the linear average of many frames
    // comes close to it, and the peak hold lies above it.
    void noiseDensityAndAverages()
    {
        constexpr std::size_t Size = 4096;
        constexpr int Frames = 200;
        for (const auto window : {TFftAnalyser::TWindow::Hann, TFftAnalyser::TWindow::BlackmanHarris,
                                  TFftAnalyser::TWindow::FlatTop}) {
            TFftAnalyser spectrum(Size, window);
            spectrum.SetAveraging(TFftAnalyser::TAveraging::Linear);
            QRandomGenerator random(3);
            std::vector<double> frame(Size);
            for (int i = 0; i < Frames; ++i) {
                for (double& x : frame)
                    x = (random.generateDouble() - 0.5) * std::sqrt(12.0); // variance 1
                spectrum.Add(frame);
            }
            QCOMPARE(spectrum.Frames(), Frames);
            double mean = 0, peak = 0;
            for (std::size_t k = 1; k + 1 < spectrum.Bins(); ++k) {
                mean += spectrum.Power()[k] / double(spectrum.Bins() - 2);
                peak += spectrum.PeakHold()[k] / double(spectrum.Bins() - 2);
            }
            QVERIFY(std::abs(Db(mean / spectrum.NoiseBandwidth(Rate) / (1 / (Rate / 2)))) < 0.2);
            QVERIFY(peak > 3 * mean);
        }
    }

    // None keeps the newest frame; Exponential moves a bin by its weight of the difference.
    void averagingModes()
    {
        constexpr std::size_t Size = 1024;
        const double frequency = 64 * Rate / Size;
        TFftAnalyser spectrum(Size, TFftAnalyser::TWindow::Hann);
        spectrum.SetAveraging(TFftAnalyser::TAveraging::Exponential, 0.25);
        spectrum.Add(Sine(frequency, 2, Size));
        QVERIFY(std::abs(spectrum.Power()[64] - 2.0) < 1e-9);
        spectrum.Add(std::vector<double>(Size));
        QVERIFY(std::abs(spectrum.Power()[64] - 1.5) < 1e-9);
        spectrum.SetAveraging(TFftAnalyser::TAveraging::None);
        spectrum.Add(Sine(frequency, 1, Size));
        QVERIFY(std::abs(spectrum.Power()[64] - 0.5) < 1e-9);
        QVERIFY(std::abs(spectrum.PeakHold()[64] - 2.0) < 1e-9);
        spectrum.Reset();
        QCOMPARE(spectrum.PeakHold()[64], 0.0);
    }
};

QTEST_APPLESS_MAIN(TestFftAnalyser)
#include "test_fft_analyser.moc"
