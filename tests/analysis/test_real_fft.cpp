// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/RealFft.h"

#include <QTest>
#include <cmath>
#include <numbers>
#include <vector>

class TestRealFft : public QObject
{
    Q_OBJECT
private slots:
    // A cosine of k cycles lands in bin k with N/2 times its amplitude and its phase; the inverse
    // gives N times the signal back.
    void cosineLandsInItsBinAndComesBack()
    {
        constexpr std::size_t n = 1024;
        constexpr int k = 37;
        const double phase = 0.7;
        std::vector<double> x(n), back(n);
        for (std::size_t i = 0; i < n; ++i)
            x[i] = std::cos(2 * std::numbers::pi * k * double(i) / n + phase);
        TRealFft fft(n);
        std::vector<std::complex<double>> spectrum(fft.Bins());
        fft.Forward(x, spectrum);
        QVERIFY(std::abs(std::abs(spectrum[k]) - n / 2.0) < 1e-9);
        QVERIFY(std::abs(std::arg(spectrum[k]) - phase) < 1e-12);
        QVERIFY(std::abs(spectrum[k + 1]) < 1e-9);
        fft.Inverse(spectrum, back);
        for (std::size_t i = 0; i < n; ++i)
            QVERIFY(std::abs(back[i] / n - x[i]) < 1e-12);
    }
};

QTEST_APPLESS_MAIN(TestRealFft)
#include "test_real_fft.moc"
