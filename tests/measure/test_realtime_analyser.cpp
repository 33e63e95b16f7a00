// SPDX-License-Identifier: GPL-3.0-or-later
#include "../audio/AudioTestSupport.h"
#include "measure/LevelMeter.h"
#include "measure/MeasurementState.h"
#include "measure/RealTimeAnalyser.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int Rate = 48000;

// Stereo 16-bit frames: a sine of `amplitude` on the left, the same sine `rightDb` lower on the right.
std::vector<std::int16_t> SineFrames(double frequency, double amplitude, int frames, double rightDb = 0)
{
    std::vector<std::int16_t> samples(2 * static_cast<std::size_t>(frames));
    const double right = amplitude * std::pow(10.0, rightDb / 20);
    for (int n = 0; n < frames; ++n) {
        const double phase = std::sin(2 * std::numbers::pi * frequency * n / Rate);
        samples[2 * std::size_t(n)] = static_cast<std::int16_t>(std::lround(amplitude * phase));
        samples[2 * std::size_t(n) + 1] = static_cast<std::int16_t>(std::lround(right * phase));
    }
    return samples;
}

std::vector<std::int16_t> NoiseFrames(int frames, double rms)
{
    std::vector<std::int16_t> samples(2 * static_cast<std::size_t>(frames));
    QRandomGenerator random(17);
    for (std::int16_t& sample : samples)
        sample =
            static_cast<std::int16_t>(std::lround((random.generateDouble() - 0.5) * std::sqrt(12.0) * rms));
    return samples;
}

// The frames in blocks of `block` frames, as an input delivers them.
void Feed(TRealTimeAnalyser& analyser, const std::vector<std::int16_t>& sixteenBit, int block)
{
    const std::vector<float> samples = AsFloats(sixteenBit);
    const int frames = static_cast<int>(samples.size() / 2);
    for (int first = 0; first < frames; first += block)
        analyser.AnalyseBlock(samples.data() + 2 * first, std::min(block, frames - first));
}

const TBandReading& BandAt(const std::vector<TBandReading>& bands, double nominal)
{
    return *std::find_if(bands.begin(), bands.end(),
                         [&](const TBandReading& band) { return band.Nominal == nominal; });
}

double PeakLevel(const std::vector<double>& levels)
{
    return *std::max_element(levels.begin(), levels.end());
}

} // namespace

class TestRealTimeAnalyser : public QObject
{
    Q_OBJECT
private slots:
    // A sine 20 dB below full scale reads what the meter's read-out reads of it, with each channel's
    // calibration offset: in its band, and at the FFT spectrum's peak with the flat-top window.
    void levelsAsTheReadoutsShowThem()
    {
        constexpr double Amplitude = 3276.7;
        const std::array<double, 2> calibration{10, -5};
        TSpectrumSettings settings;
        settings.FftSize = 16384;
        TRealTimeAnalyser analyser(Rate, settings);
        QVERIFY(!analyser.UpdateSpectrum()); // not a frame's worth yet
        Feed(analyser, SineFrames(1000, Amplitude, Rate / 2, -6), 1500);
        analyser.Reset();
        Feed(analyser, SineFrames(1000, Amplitude, Rate, -6), 1500);
        QVERIFY(analyser.UpdateSpectrum());
        QCOMPARE(analyser.SecondsSinceReset(), 1.0);
        const double sine = TLevelMeter::Level(Amplitude * Amplitude / 2, LevelOffsetDb); // -20.01 dB
        const std::vector<TBandReading> bands = analyser.BandReadings(calibration);
        const TBandReading& band = BandAt(bands, 1000);
        const TSpectrumReading spectrum = analyser.SpectrumReading(calibration, false);
        QCOMPARE(spectrum.Frequency.size(), std::size_t(8192));
        const TSpectrumReading picture = analyser.SpectrumReading(calibration, false, 500);
        QVERIFY(picture.Frequency.size() <= 500);
        for (const std::size_t channel : {0, 1}) {
            const double expected = sine + calibration[channel] - 6.0 * double(channel);
            QVERIFY(std::abs(band.Leq[channel] - expected) < 0.1);
            QVERIFY(std::abs(band.Lmax[channel] - expected) < 0.1);
            QVERIFY(std::abs(band.Level[channel] - expected) < 0.1);
            QVERIFY(std::abs(PeakLevel(spectrum.Level[channel]) - expected) < 0.1);
            QCOMPARE(PeakLevel(picture.Level[channel]), PeakLevel(spectrum.Level[channel]));
        }
    }

    // The meter's A weighting goes before both the bands and the spectrum: a 100 Hz sine reads 19.1 dB
    // less than unweighted.
    void weightedAsTheMeterWeights()
    {
        const std::vector<std::int16_t> sine = SineFrames(100, 10000, 2 * Rate);
        std::array<double, 2> band{}, peak{};
        for (const auto weighting : {TFrequencyWeighting::Z, TFrequencyWeighting::A}) {
            TSpectrumSettings settings;
            settings.Weighting = weighting;
            TRealTimeAnalyser analyser(Rate, settings);
            Feed(analyser, sine, 1024);
            analyser.Reset();
            Feed(analyser, sine, 1024);
            QVERIFY(analyser.UpdateSpectrum());
            const auto index = std::size_t(weighting == TFrequencyWeighting::A);
            band[index] = BandAt(analyser.BandReadings({}), 100).Leq[0];
            peak[index] = PeakLevel(analyser.SpectrumReading({}, false).Level[0]);
        }
        const double a = DesignResponseDb(DesignWeighting(Rate), TFrequencyWeighting::A, 100, Rate);
        QVERIFY(std::abs(a + 19.1) < 0.1);
        QVERIFY(std::abs(band[1] - band[0] - a) < 0.05);
        QVERIFY(std::abs(peak[1] - peak[0] - a) < 0.05);
    }

    // White noise of standard deviation s has the density s^2 / (Rate / 2) per hertz.
    void densityPerHertz()
    {
        constexpr double Rms = 1000;
        TSpectrumSettings settings;
        settings.FftSize = 4096;
        settings.Window = TFftAnalyser::TWindow::Hann;
        settings.Averaging = TFftAnalyser::TAveraging::Linear;
        TRealTimeAnalyser analyser(Rate, settings);
        const std::vector<float> noise = AsFloats(NoiseFrames(4096 * 100, Rms));
        for (std::size_t frame = 0; frame < 100; ++frame) {
            analyser.AnalyseBlock(noise.data() + 2 * 4096 * frame, 4096);
            QVERIFY(analyser.UpdateSpectrum());
        }
        const TSpectrumReading reading = analyser.SpectrumReading({}, true);
        const std::vector<double>& density = reading.Level[0];
        double mean = 0;
        for (const double level : density)
            mean += std::pow(10.0, level / 10) / double(density.size());
        const double expected = TLevelMeter::Level(Rms * Rms / (Rate / 2.0), LevelOffsetDb);
        QVERIFY2(std::abs(10 * std::log10(mean) - expected) < 0.2,
                 qPrintable(QString::number(10 * std::log10(mean) - expected)));
    }

    // How the input cuts the stream into blocks changes nothing.
    void blocksOfAnySize()
    {
        const std::vector<std::int16_t> noise = NoiseFrames(40000, 3000);
        TSpectrumSettings settings;
        settings.BandsPerOctave = 6;
        settings.Weighting = TFrequencyWeighting::C;
        settings.FftSize = 32768;
        std::vector<std::vector<TBandReading>> bands;
        std::vector<std::vector<double>> spectra;
        for (const int block : {128, 1500, 40000}) {
            TRealTimeAnalyser analyser(Rate, settings);
            Feed(analyser, noise, block);
            QVERIFY(analyser.UpdateSpectrum());
            bands.push_back(analyser.BandReadings({}));
            spectra.push_back(analyser.SpectrumReading({}, false).Level[1]);
        }
        for (std::size_t run = 1; run < bands.size(); ++run) {
            for (std::size_t band = 0; band < bands[0].size(); ++band)
                for (const std::size_t channel : {0, 1}) {
                    QCOMPARE(bands[run][band].Leq[channel], bands[0][band].Leq[channel]);
                    QCOMPARE(bands[run][band].Lmax[channel], bands[0][band].Lmax[channel]);
                }
            QCOMPARE(spectra[run], spectra[0]);
        }
    }

    // A measured stretch counts once the filters have settled: a steady 63 Hz sine that starts at full
    // size (its start is what the filters see of the signal first) reads in every 1/3-octave band, A and
    // Z, what the band's steady response says, however far away the band is; counted from the first
    // frame the bands two octaves and more away read the filters' start-up, not the sine.
    void countedStretchAfterTheFiltersSettle()
    {
        for (const TFrequencyWeighting weighting : {TFrequencyWeighting::Z, TFrequencyWeighting::A}) {
            TSpectrumSettings settings;
            settings.Weighting = weighting;
            TRealTimeAnalyser analyser(Rate, settings);
            const auto settle = static_cast<int>(std::ceil(analyser.SettleSeconds() * Rate));
            QVERIFY(settle > Rate / 2 && settle < 5 * Rate);
            analyser.CountFrom(settle, 2 * Rate);
            std::vector<std::int16_t> samples(2 * std::size_t(settle + 3 * Rate));
            for (std::size_t n = 0; n < samples.size(); ++n) // cosine: full size at once, left and right
                samples[n] = std::int16_t(
                    std::lround(10000 * std::cos(2 * std::numbers::pi * 63 * double(n / 2) / Rate)));
            Feed(analyser, samples, 1500);
            QCOMPARE(analyser.SecondsSinceReset(), 2.0);
            const std::vector<TBandReading> bands = analyser.BandReadings({0, 0});
            const TOctaveFilterBank& bank = analyser.Bank();
            const double sine = BandAt(bands, 63).Leq[0] - bank.ResponseDb(8, 63);
            QCOMPARE(bank.Band(8).Nominal, 63.0);
            double worst = 0;
            for (int band = 0; band < bank.BandCount(); ++band) {
                const double expected = sine + bank.ResponseDb(band, 63);
                const double read = bands[std::size_t(band)].Leq[0];
                // Beyond the class 1 limits' reach, the sine's 16-bit steps are what a band reads (A
                // weighting lowers the sine more than them): at least as far down as the limits go.
                if (expected > sine - 70)
                    worst = std::max(worst, std::abs(read - expected));
                else
                    QVERIFY2(read < sine - 70, qPrintable(QString::number(bands[std::size_t(band)].Nominal)));
            }
            qInfo("settled %.2f s: every band within %.3f dB of its steady response", double(settle) / Rate,
                  worst);
            QVERIFY(worst < 0.5);
        }
    }

    // A counted stretch takes its FFT frames every half frame exactly, whatever the blocks' sizes: a
    // second of 1500-frame blocks gives 1 + (48000 - 1024) / 512 frames of 1024.
    void countedStretchHopsExactly()
    {
        TSpectrumSettings settings;
        settings.BandsPerOctave = 0;
        settings.FftSize = 1024;
        settings.Averaging = TFftAnalyser::TAveraging::Linear;
        TRealTimeAnalyser analyser(Rate, settings);
        analyser.CountFrom(3000, Rate);
        Feed(analyser, SineFrames(1000, 3276.7, 1500), 1500);
        QCOMPARE(analyser.SecondsSinceReset(), 0.0); // nothing counted while the filters settle
        Feed(analyser, SineFrames(1000, 3276.7, 1500 + 2 * Rate), 1500);
        QCOMPARE(analyser.SecondsSinceReset(), 1.0);
        QCOMPARE(analyser.SpectrumFrames(), 1 + (Rate - 1024) / 512);
    }
};

QTEST_APPLESS_MAIN(TestRealTimeAnalyser)
#include "test_realtime_analyser.moc"
