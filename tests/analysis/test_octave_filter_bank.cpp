// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/OctaveFilterBank.h"
#include "analysis/RealFft.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

using namespace FractionalOctave;

constexpr double TwoPi = 2 * std::numbers::pi;

double Db(double ratio)
{
    return 10 * std::log10(ratio);
}

// A sine of amplitude 1 on both channels, from frame `first` on.
std::vector<TStereo> Sine(double frequency, double rate, std::size_t frames, std::size_t first = 0)
{
    std::vector<TStereo> samples(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const double x = std::sin(TwoPi * frequency * double(n + first) / rate);
        samples[n] = TStereo{x, x};
    }
    return samples;
}

// What the bank reads of a steady sine of amplitude 1, in dB against the sine's own mean square:
// the filters settle first, then the energy means start.
std::vector<double> SteadyReadings(TOctaveFilterBank& bank, double frequency)
{
    const double rate = bank.FrameRate();
    const double settle = frequency < 100 ? 2.0 : 0.5, measure = frequency < 100 ? 4.0 : 1.0;
    const auto settling = static_cast<std::size_t>(settle * rate);
    bank.Process(Sine(frequency, rate, settling));
    bank.Reset();
    bank.Process(Sine(frequency, rate, static_cast<std::size_t>(measure * rate), settling));
    std::vector<double> readings;
    for (int band = 0; band < bank.BandCount(); ++band)
        readings.push_back(Db(bank.Mean(band)[0] / 0.5));
    return readings;
}

// A periodic noise of 2^20 frames with a fixed magnitude in every frequency bin and random phases:
// power density proportional to f^-slope (0 white, 1 pink), so that its energy in a band is exactly
// what the spectrum gives, without the spread of random magnitudes.
std::vector<TStereo> PeriodicNoise(double slope, double rate, double& bin)
{
    constexpr std::size_t Size = 1 << 20;
    TRealFft fft(Size);
    std::vector<std::complex<double>> spectrum(fft.Bins());
    QRandomGenerator random(7);
    for (std::size_t k = 1; k + 1 < spectrum.size(); ++k)
        spectrum[k] = std::polar(std::pow(double(k), -slope / 2), TwoPi * random.generateDouble());
    std::vector<double> noise(Size);
    fft.Inverse(spectrum, noise);
    double energy = 0;
    for (const double x : noise)
        energy += x * x;
    const double scale = 0.1 / std::sqrt(energy / Size); // 0.1 rms
    std::vector<TStereo> samples(Size);
    for (std::size_t n = 0; n < Size; ++n)
        samples[n] = TStereo{noise[n] * scale, noise[n] * scale};
    bin = rate / Size;
    return samples;
}

// Band levels (dB) of a periodic noise: one period to settle, the next one measured.
std::vector<double> NoiseLevels(int bandsPerOctave, double rate, double slope)
{
    double bin = 0;
    const std::vector<TStereo> noise = PeriodicNoise(slope, rate, bin);
    TOctaveFilterBank bank(bandsPerOctave, rate, 0.125);
    bank.Process(noise);
    bank.Reset();
    bank.Process(noise);
    std::vector<double> levels;
    for (int band = 0; band < bank.BandCount(); ++band)
        levels.push_back(Db(bank.Mean(band)[1]));
    return levels;
}

} // namespace

class TestOctaveFilterBank : public QObject
{
    Q_OBJECT
private slots:
    // Base-10 bands from 10 Hz (octaves from 16 Hz) to 20 kHz, labelled with the preferred numbers.
    void bandLayout()
    {
        const std::vector<TBand> thirds = Bands(3, 10, 20000);
        const std::vector<double> nominal{10,   12.5, 16,   20,    25,    31.5,  40,   50,   63,
                                          80,   100,  125,  160,   200,   250,   315,  400,  500,
                                          630,  800,  1000, 1250,  1600,  2000,  2500, 3150, 4000,
                                          5000, 6300, 8000, 10000, 12500, 16000, 20000};
        QCOMPARE(thirds.size(), nominal.size());
        for (std::size_t i = 0; i < thirds.size(); ++i) {
            QCOMPARE(thirds[i].Nominal, nominal[i]);
            QVERIFY(std::abs(thirds[i].Upper / thirds[i].Lower - std::pow(10.0, 0.1)) < 1e-12);
        }
        QCOMPARE(thirds[20].Midband, 1000.0);
        const std::vector<TBand> octaves = Bands(1, 10, 20000);
        QCOMPARE(octaves.size(), std::size_t(11));
        QCOMPARE(octaves.front().Nominal, 16.0);
        QCOMPARE(octaves[1].Nominal, 31.5);
        QCOMPARE(octaves.back().Nominal, 16000.0);
        // Even divisions put the midbands half a band off 1 kHz: the band edges of 1/6 octave are
        // the midbands and edges of 1/3 octave.
        const std::vector<TBand> sixths = Bands(6, 10, 20000);
        QVERIFY(std::abs(sixths[40].Lower - 1000) < 1e-9);
        QVERIFY(std::abs(sixths[41].Upper - thirds[21].Midband) < 1e-9);
        QVERIFY(std::abs(sixths[42].Upper - thirds[21].Upper) < 1e-9);
    }

    // The relative attenuation of every band of every bank, over the whole frequency range and the
    // decimation included, against the class 1 limits at the two usual frame rates. A band whose
    // upper edge lies above half the frame rate (1/1 octave 16 kHz and 1/3 octave 20 kHz at 44100)
    // cannot be a band-pass and is left out.
    void everyBandKeepsClassOneLimits_data()
    {
        QTest::addColumn<int>("bandsPerOctave");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("bands");
        for (const double rate : {44100.0, 48000.0})
            for (const auto& [b, count] : {std::pair(1, 11), {3, 34}, {6, 66}, {12, 132}, {24, 264}}) {
                const bool lost = rate == 44100 && (b == 1 || b == 3);
                QTest::addRow("1/%d at %g", b, rate) << b << rate << (lost ? count - 1 : count);
            }
    }
    void everyBandKeepsClassOneLimits()
    {
        QFETCH(int, bandsPerOctave);
        QFETCH(double, rate);
        QFETCH(int, bands);
        const TOctaveFilterBank bank(bandsPerOctave, rate, 0.125);
        QCOMPARE(bank.BandCount(), bands);
        const std::vector<TBreakpoint> breakpoints = ClassOneBreakpoints(bandsPerOctave);
        double closest = 1e9, closestBand = 0, closestFrequency = 0; // to a limit, for the record
        int highestOrder = 0;
        for (int band = 0; band < bank.BandCount(); ++band) {
            highestOrder = std::max(highestOrder, bank.Order(band));
            const double midband = bank.Band(band).Midband;
            QVERIFY(std::abs(bank.ResponseDb(band, midband)) < 1e-4); // the decimation's droop
            const double lowest = breakpoints.front().Omega, highest = rate / 2 / midband;
            constexpr int Steps = 1500;
            for (int step = 0; step < Steps; ++step) {
                const double omega = lowest * std::pow(highest / lowest, double(step) / Steps);
                const double attenuation = -bank.ResponseDb(band, midband * omega);
                const TLimits limits = ClassOneLimits(bandsPerOctave, omega);
                const double margin = std::min(attenuation - limits.Minimum, limits.Maximum - attenuation);
                if (margin < closest) {
                    closest = margin;
                    closestBand = midband;
                    closestFrequency = midband * omega;
                }
                if (attenuation < limits.Minimum || attenuation > limits.Maximum)
                    QFAIL(qPrintable(QStringLiteral("band %1 Hz at %2 Hz: %3 dB, limits %4 .. %5 dB")
                                         .arg(midband)
                                         .arg(midband * omega)
                                         .arg(attenuation)
                                         .arg(limits.Minimum)
                                         .arg(limits.Maximum)));
            }
        }
        qInfo("%d bands from %g to %g Hz, orders 3 to %d; closest to a limit: %.2f dB, band %g Hz at %g Hz",
              bank.BandCount(), bank.Band(0).Midband, bank.Band(bank.BandCount() - 1).Midband, highestOrder,
              closest, closestBand, closestFrequency);
    }

    // A sine at each 1/3-octave midband reads its own level in its band; the bands next to it read
    // no more than the class 1 limits allow; a sine on the edge of two bands reads in each what
    // that band's response says (3 dB down). These go through the filtering itself, decimation and
    // all, so they also prove ResponseDb right.
    void sinesThroughTheThirdOctaveBank()
    {
        TOctaveFilterBank bank(3, 48000, 0.125);
        for (int band = 0; band < bank.BandCount(); ++band) {
            const TBand& layout = bank.Band(band);
            const std::vector<double> readings = SteadyReadings(bank, layout.Midband);
            QVERIFY2(std::abs(readings[std::size_t(band)]) < 0.1,
                     qPrintable(QString::number(layout.Midband)));
            for (const int neighbour : {band - 1, band + 1}) {
                if (neighbour < 0 || neighbour >= bank.BandCount())
                    continue;
                const double omega = layout.Midband / bank.Band(neighbour).Midband;
                QVERIFY(readings[std::size_t(neighbour)] <= -ClassOneLimits(3, omega).Minimum);
            }
            if (band + 1 < bank.BandCount() && band % 4 == 0) {
                const std::vector<double> split = SteadyReadings(bank, layout.Upper);
                for (const int side : {band, band + 1}) {
                    QVERIFY(std::abs(split[std::size_t(side)] - bank.ResponseDb(side, layout.Upper)) < 0.1);
                    QVERIFY(std::abs(split[std::size_t(side)] + 3) < 0.5);
                }
            }
        }
    }

    // Pink noise has equal energy in every band; white noise gains 10 lg G^(1/3) = 1 dB a band.
    void noiseAcrossTheThirdOctaveBands()
    {
        const std::vector<double> pink = NoiseLevels(3, 48000, 1);
        double mean = 0;
        for (const double level : pink)
            mean += level / double(pink.size());
        for (const double level : pink)
            QVERIFY2(std::abs(level - mean) < 0.3, qPrintable(QString::number(level - mean)));
        const std::vector<double> white = NoiseLevels(3, 48000, 0);
        for (std::size_t band = 1; band < white.size(); ++band)
            QVERIFY2(std::abs(white[band] - white[band - 1] - 1) < 0.3,
                     qPrintable(QString::number(white[band] - white[band - 1])));
    }

    // F time weighting: a steady tone's time-weighted level and its largest one equal its energy
    // mean; once the tone stops, the level falls by 10 lg e = 4.34 dB every 0.125 s.
    void timeWeighting()
    {
        constexpr double Rate = 48000, Tau = 0.125;
        TOctaveFilterBank bank(1, Rate, Tau);
        const int band = 6; // 1 kHz
        QCOMPARE(bank.Band(band).Nominal, 1000.0);
        bank.Process(Sine(1000, Rate, std::size_t(Rate)));
        bank.Reset();
        bank.Process(Sine(1000, Rate, std::size_t(Rate), std::size_t(Rate)));
        const double steady = Db(bank.Mean(band)[0] / 0.5);
        QVERIFY(std::abs(Db(bank.TimeWeighted(band)[0] / 0.5) - steady) < 0.05);
        QVERIFY(std::abs(Db(bank.Maximum(band)[0] / 0.5) - steady) < 0.05);
        const std::vector<TStereo> silence(std::size_t(Rate * Tau));
        bank.Process(silence); // the filter's own ring-down first
        const double from = Db(bank.TimeWeighted(band)[0]);
        bank.Process(silence);
        QVERIFY(std::abs(from - Db(bank.TimeWeighted(band)[0]) - 10 * std::log10(std::exp(1.0))) < 0.05);
        QVERIFY(std::abs(Db(bank.Maximum(band)[0] / 0.5) - steady) < 0.05);
    }
};

QTEST_APPLESS_MAIN(TestOctaveFilterBank)
#include "test_octave_filter_bank.moc"
