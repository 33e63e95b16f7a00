// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer function's numerics against closed forms: the periodic pink noise's spectrum, the three
// averagings, and smoothing with the delay taken off first. (The estimate through a known device, and
// coherence against signal and noise, are measured end to end on the virtual card.)

#include "analysis/TransferFunction.h"
#include "audio/DeviceUnderTest.h"

#include <QTest>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

constexpr double Rate = 48000;

double WrapDegrees(double degrees)
{
    return std::remainder(degrees, 360.0);
}

// H of the estimate at bin k.
std::complex<double> H(const TTransferEstimator& estimate, std::size_t k)
{
    return estimate.Gxy()[k] / estimate.Gxx()[k];
}

// A frame of `size` samples of x delayed by `frames` (any fraction) round the frame: the transform's
// own delay, exact for every bin but the last, which a real signal cannot delay by a fraction and
// which is left out.
std::vector<double> Delayed(const std::vector<double>& x, double frames)
{
    TRealFft fft(x.size());
    std::vector<std::complex<double>> spectrum(fft.Bins());
    fft.Forward(x, spectrum);
    for (std::size_t k = 0; k < spectrum.size(); ++k)
        spectrum[k] *=
            std::polar(1.0 / double(x.size()), -2 * std::numbers::pi * double(k) * frames / double(x.size()));
    spectrum.back() = 0;
    std::vector<double> y(x.size());
    fft.Inverse(spectrum, y);
    return y;
}

} // namespace

class TestTransferFunction : public QObject
{
    Q_OBJECT
private slots:
    // The periodic pink noise: RMS 1, every bin excited (so that a transfer function from it needs no
    // window), the same power in every octave above 20 Hz.
    void periodicPinkNoiseExcitesEveryBin()
    {
        constexpr std::size_t size = 8192;
        const std::vector<double> period = PeriodicPinkNoise(size, Rate, 11);
        double energy = 0;
        for (const double x : period)
            energy += x * x;
        QVERIFY(std::abs(energy / size - 1) < 1e-12);
        TRealFft fft(size);
        std::vector<std::complex<double>> spectrum(fft.Bins());
        fft.Forward(period, spectrum);
        std::vector<double> octaves(8);
        for (std::size_t k = 1; k + 1 < spectrum.size(); ++k) {
            QVERIFY(std::norm(spectrum[k]) > 0);
            const double octave = std::log2(double(k) * Rate / size / 40);
            if (octave >= 0 && octave < double(octaves.size()))
                octaves[std::size_t(octave)] += std::norm(spectrum[k]);
        }
        for (const double power : octaves)
            QVERIFY2(std::abs(10 * std::log10(power / octaves[2])) < 0.5, qPrintable(QString::number(power)));
    }

    // Frames whose measured channel is a_k times the reference: the average of the newest frames
    // (through the count's ring coming round several times), the exponential one, and all of them.
    void averagingByCountExponentialAndInfinite()
    {
        constexpr std::size_t size = 256;
        TNoise source(9);
        std::vector<double> x(size), y(size);
        for (double& value : x)
            value = source.Gaussian();
        const double gains[] = {1, 2, 3, 4, 5, 6, 7, 8};
        const auto feed = [&](TTransferEstimator& estimate, int frames) {
            for (int i = 0; i < frames; ++i) {
                for (std::size_t n = 0; n < size; ++n)
                    y[n] = gains[i] * x[n];
                estimate.Add(x, y);
            }
        };
        TTransferEstimator estimate(size);
        estimate.SetAveraging(TTransferEstimator::TAveraging::Count, 3);
        feed(estimate, 8);
        QCOMPARE(estimate.Averaged(), 3);
        QVERIFY(std::abs(H(estimate, 20).real() - 7) < 1e-5); // (6 + 7 + 8) / 3
        estimate.SetAveraging(TTransferEstimator::TAveraging::Exponential, 4);
        feed(estimate, 6);
        // 1, then the mean of the first frames while fewer than 4 came, then a quarter of each new one.
        double expected = (1 + 2 + 3 + 4) / 4.0;
        for (const double gain : {5.0, 6.0})
            expected += (gain - expected) / 4;
        QVERIFY(std::abs(H(estimate, 20).real() - expected) < 1e-9);
        estimate.SetAveraging(TTransferEstimator::TAveraging::Infinite, 1);
        feed(estimate, 8);
        QCOMPARE(estimate.Frames(), 8LL);
        QVERIFY(std::abs(H(estimate, 20).real() - 4.5) < 1e-9);
        // Gains that change from frame to frame are no one linear relation: mean(a)² / mean(a²).
        QVERIFY(std::abs(estimate.Coherence(20) - 4.5 * 4.5 / (204.0 / 8)) < 1e-9);
    }

    // A pure delay of a fraction of a frame: taken off before 1/3-octave smoothing the curves are flat
    // at 0 dB and 0 degrees; put back, the phase is the delay's; smoothed with it kept, the magnitude
    // collapses at high frequencies (what taking it off first prevents). The grid runs from the first
    // bin above 10 Hz to 0.45 of the frame rate, bin by bin where bins are sparser than 96 an octave.
    void smoothingTakesTheDelayOffFirst()
    {
        constexpr std::size_t size = 16384;
        constexpr double delay = 40.3; // frames
        TNoise source(17);
        std::vector<double> x(size);
        for (double& value : x)
            value = source.Gaussian();
        TTransferEstimator estimate(size);
        estimate.SetWindow(TTransferEstimator::TWindow::Rectangular);
        x = Delayed(x, 0);
        estimate.Add(x, Delayed(x, delay));
        TTransferCurveMaker maker(estimate.Bins(), Rate);
        TTransferCurves curves;
        maker.Compute(estimate, delay / Rate, 0, 3, curves);
        const double bin = Rate / size;
        QCOMPARE(curves.Frequency.front(), 4 * bin);
        QCOMPARE(curves.Frequency[1], 5 * bin);
        QVERIFY(curves.Frequency.back() <= 0.45 * Rate);
        const std::size_t last = curves.Frequency.size() - 1;
        QVERIFY(std::abs(std::log2(curves.Frequency[last] / curves.Frequency[last - 1]) - 1.0 / 96) < 1e-12);
        QCOMPARE(maker.Points(), curves.Frequency.size());
        for (std::size_t i = 0; i < curves.Frequency.size(); ++i) {
            QVERIFY2(std::abs(curves.MagnitudeDb[i]) < 1e-6 && std::abs(curves.PhaseDegrees[i]) < 1e-5,
                     qPrintable(QString("%1 Hz").arg(curves.Frequency[i])));
            QVERIFY(curves.Coherence[i] > 0.99); // the empty last bin counts in the top band
        }
        maker.Compute(estimate, delay / Rate, delay / Rate, 3, curves);
        for (std::size_t i = 0; i < curves.Frequency.size(); ++i)
            QVERIFY(std::abs(WrapDegrees(curves.PhaseDegrees[i] + 360 * curves.Frequency[i] * delay / Rate)) <
                    1e-5);
        maker.Compute(estimate, 0, 0, 3, curves);
        QVERIFY2(curves.MagnitudeDb.back() < -10, qPrintable(QString::number(curves.MagnitudeDb.back())));
    }
};

QTEST_APPLESS_MAIN(TestTransferFunction)
#include "test_transfer_function.moc"
