// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli ir through a PulseAudio of the test's own, with a reference channel: the sweep goes into a
// sink whose sound two loopbacks carry on, one straight into the left channel of the recorded null
// sink and one through the LADSPA SDK's one-pole low-pass filter into its right channel. The response
// must be the filter's published one (y[n] = (1 - a) x[n] + a y[n-1], a = c - sqrt(c^2 - 1),
// c = 2 - cos(2 pi fc / fs), in single precision), and agree with the stepped sine on the same route.
// Two more sinks carry the sweep the same way, the right channel through the SDK's delay line of 10 ms
// and of 100 ms: the response must be the delay's. A sink of float samples is a digital loop with no
// rounding of its own.

#include "../audio/DeviceModels.h"
#include "../audio/PrivateSoundServer.h"
#include "CliTestSupport.h"

#include "analysis/ImpulsePeak.h"
#include "analysis/RealFft.h"
#include "results/ResponseFile.h"
#include "results/WaveFile.h"

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

using namespace DeviceModels;

namespace {

constexpr double Cutoff = 1000;

std::complex<double> Filter(double frequency)
{
    return LadspaLowPass(frequency, Cutoff);
}

} // namespace

class TestCliImpulseSoundServer : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    TPrivateSoundServer Server;
    static constexpr int DelaysMs[] = {10, 100};

private slots:
    void initTestCase()
    {
        if (!Server.Start({"tonvix_null"})) {
            if (qgetenv("CI") == "true")
                QFAIL("the test's own sound server did not start");
            QSKIP("the test's own sound server did not start");
        }
        QString failed;
        QVERIFY2(Server.LoadRoute("tonvix_dut", "tonvix_null", 1,
                                  {"plugin=filter", "label=lpf", "control=" + QString::number(Cutoff)},
                                  failed),
                 qPrintable(failed));
        for (const int milliseconds : DelaysMs)
            QVERIFY2(Server.LoadRoute(QStringLiteral("tonvix_dut%1").arg(milliseconds), "tonvix_null", 1,
                                      {"plugin=delay", "label=delay_5s",
                                       QStringLiteral("control=%1,1").arg(milliseconds / 1000.0)},
                                      failed),
                     qPrintable(failed));
        QVERIFY(Server.Pactl({"load-module", "module-null-sink", "sink_name=tonvix_float", "rate=48000",
                              "channels=2", "format=float32le"}));
        // The sink's own rate, and an averaging time that forgets the previous point within a point:
        // the filter makes every point quieter than the one before.
        StoreSettings({{TKey::FrameRate, "48000"},
                       {TKey::MeasurmentDelay, "1000"},
                       {TKey::Average, "3"},
                       {TKey::AverageTime, "100"}});
    }

    void responseIsThePluginsAndTheSteppedSines()
    {
        const QString wave = Folder.filePath("lpf.wav"), response = Folder.filePath("lpf.frd");
        const TCliRun ir = RunCli({"ir", "--start", "10", "--stop", "20000", "--length", "131072",
                                   "--reference", "L", "--channel", "R", "--input", "tonvix_null.monitor",
                                   "--output", "tonvix_dut", "--out", wave, "--response", response},
                                  CliEnvironment(false));
        QVERIFY_RUN(ir, 0);
        QString failure;
        const auto points = ResponseFile::Read(response, failure);
        QVERIFY2(points, qPrintable(failure));
        const auto at = [&](double frequency) {
            std::size_t i = 1;
            while (i + 1 < points->Frequency.size() && points->Frequency[i] < frequency)
                ++i;
            return i;
        };
        // The level between the grid's points, in log frequency.
        const auto levelAt = [&](double frequency) {
            const std::size_t i = at(frequency);
            const double x0 = std::log(points->Frequency[i - 1]), x1 = std::log(points->Frequency[i]);
            const double t = (std::log(frequency) - x0) / (x1 - x0);
            return points->LevelDb[i - 1] + t * (points->LevelDb[i] - points->LevelDb[i - 1]);
        };
        // The two loopbacks may settle a whole number of frames apart: the delay that fits 1 kHz.
        const std::size_t kilohertz = at(1000);
        const double f0 = points->Frequency[kilohertz];
        double loop = 0, best = 360;
        for (int frames = -2000; frames <= 2000; ++frames) {
            const double off = std::abs(std::remainder(
                points->PhaseDegrees[kilohertz] - Degrees(Filter(f0)) + 360 * f0 * frames / Rate, 360.0));
            if (off < best)
                best = off, loop = frames;
        }
        double worstDb = 0, worstDegrees = 0;
        for (std::size_t i = 0; i < points->Frequency.size(); ++i) {
            const double f = points->Frequency[i];
            if (f < 30 || f > 16000)
                continue;
            const std::complex<double> model =
                Filter(f) * std::polar(1.0, -2 * std::numbers::pi * f * loop / Rate);
            worstDb = std::max(worstDb, std::abs(points->LevelDb[i] - 20 * std::log10(std::abs(model))));
            worstDegrees = std::max(
                worstDegrees, std::abs(std::remainder(points->PhaseDegrees[i] - Degrees(model), 360.0)));
        }
        qInfo("LADSPA lpf %g Hz: worst %.4f dB, %.3f degrees (loops %g frames apart)", Cutoff, worstDb,
              worstDegrees, loop);
        QVERIFY(worstDb < 0.05);
        QVERIFY(worstDegrees < 0.5);

        // The stepped sine on the same route: the right channel's level over the left one's.
        const QString steps = Folder.filePath("lpf.csv");
        const TCliRun sweep = RunCli({"sweep", "--start", "100", "--stop", "10000", "--points", "5",
                                      "--point-time", "1500", "--channels", "LR", "--input",
                                      "tonvix_null.monitor", "--output", "tonvix_dut", "--out", steps},
                                     CliEnvironment(false));
        QVERIFY_RUN(sweep, 0);
        const auto results = ReadResults(steps);
        const auto columns = results->Columns();
        QCOMPARE(int(columns.size()), 2);
        const TChartSeriesData& left = *columns[0].Points;
        const TChartSeriesData& right = *columns[1].Points;
        for (int i = 0; i < left.Count(); ++i) {
            const double stepped = right.Y(i) - left.Y(i), measured = levelAt(left.X(i));
            qInfo("%8.1f Hz: stepped sine %+.3f dB, impulse response %+.3f dB", left.X(i), stepped, measured);
            QVERIFY(std::abs(stepped - measured) < 0.1);
        }
    }

    // The delay lines against the straight reference, as a microphone 3.4 m and 34 m away: the
    // characteristic smoothed to 1/3 octave is flat with the delay's phase, -360 f d (d: the line's
    // delay and the whole frames by which the two loops may have settled apart, from the response's
    // peak), and the WAV, read from the time 0 it marks, is flat from a fifth above the start on.
    void delayLinesAgainstTheStraightReference()
    {
        for (const int milliseconds : DelaysMs) {
            const QString wave = Folder.filePath(QStringLiteral("delay%1.wav").arg(milliseconds)),
                          response = Folder.filePath(QStringLiteral("delay%1.csv").arg(milliseconds));
            const TCliRun ir = RunCli({"ir", "--start", "20", "--stop", "20000", "--reference", "L",
                                       "--channel", "R", "--smoothing", "3", "--input", "tonvix_null.monitor",
                                       "--output", QStringLiteral("tonvix_dut%1").arg(milliseconds), "--out",
                                       wave, "--response", response},
                                      CliEnvironment(false));
            QVERIFY_RUN(ir, 0);
            QString failure;
            const auto sound = WaveFile::Read(wave, failure);
            QVERIFY2(sound, qPrintable(failure));
            QCOMPARE(sound->TimeZero, std::size_t(480));
            const double delay = std::round(ImpulsePeak(sound->Samples) - double(sound->TimeZero));
            QVERIFY2(std::abs(delay - milliseconds * Rate / 1000) < 2000, qPrintable(QString::number(delay)));

            const auto points = ResponseFile::Read(response, failure);
            QVERIFY2(points, qPrintable(failure));
            double worstDb = 0, worstDegrees = 0;
            for (std::size_t i = 0; i < points->Frequency.size(); ++i) {
                const double f = points->Frequency[i];
                if (f < 30 || f > 16000)
                    continue;
                worstDb = std::max(worstDb, std::abs(points->LevelDb[i]));
                worstDegrees = std::max(
                    worstDegrees,
                    std::abs(std::remainder(points->PhaseDegrees[i] + 360 * f * delay / Rate, 360.0)));
            }
            const std::size_t size = TRealFft::NiceSize(sound->Samples.size());
            TRealFft fft(size);
            std::vector<double> samples(sound->Samples);
            samples.resize(size);
            std::vector<std::complex<double>> spectrum(fft.Bins());
            fft.Forward(samples, spectrum);
            double worstWave = 0;
            for (std::size_t k = 0; k < spectrum.size(); ++k)
                if (const double f = double(k) * Rate / double(size); f >= 30 && f <= 19000)
                    worstWave = std::max(worstWave, std::abs(20 * std::log10(std::abs(spectrum[k]))));
            qInfo("delay line of %d ms (%g frames in all): CSV within %.4f dB and %.3f degrees, WAV flat "
                  "within "
                  "%.4f dB",
                  milliseconds, delay, worstDb, worstDegrees, worstWave);
            QVERIFY(worstDb < 0.05);
            QVERIFY(worstDegrees < 1);
            QVERIFY(worstWave < 0.1);
        }
    }
    // A sweep of 2^18 frames on float streams, round the float sink and round the 16-bit one: the
    // response's peak stands more than 130 dB above its noise on the float loop, and well above what
    // the 16-bit sink's rounding leaves. The noise is the response's tail from a quarter of a second
    // after the peak, within the band where the sweep has its full level (from a sixth of an octave
    // above its start to a twenty-fourth below its stop). Outside it the response is no unit impulse,
    // the same in every take: below, the slow lobe of what the sweep does not reach (some -90 dB);
    // above, the ringing of the sweep's top edge (some -140 dB).
    void floatLoopsResponseStandsAboveItsNoise()
    {
        const double lowest = 20 * std::exp2(1.0 / 6), highest = 20000 * std::exp2(-1.0 / 24);
        const auto peakToNoise = [&](const QString& sink) -> double {
            const QString wave = Folder.filePath(sink + ".wav");
            const TCliRun ir =
                RunCli({"ir", "--start", "20", "--stop", "20000", "--length", "262144", "--reference", "none",
                        "--channel", "L", "--input", sink + ".monitor", "--output", sink, "--out", wave},
                       CliEnvironment(false));
            QString failure;
            const auto sound = WaveFile::Read(wave, failure);
            if (ir.Exit != 0 || !sound)
                return qInfo("%s%s", qPrintable(ir.Err), qPrintable(failure)), 0;
            const std::vector<double>& samples = sound->Samples;
            const auto peak = std::max_element(samples.begin(), samples.end(),
                                               [](double a, double b) { return std::abs(a) < std::abs(b); });
            const std::size_t tailStart = std::size_t(peak - samples.begin()) + Rate / 4;
            if (tailStart + Rate / 2 > samples.size()) // the file keeps a second after time 0
                return 0;
            // Under a Hann window (mean square 3/8) the slow lobe leaks nothing into the band.
            const std::size_t length = samples.size() - tailStart, size = TRealFft::NiceSize(length);
            std::vector<double> tail(size);
            for (std::size_t n = 0; n < length; ++n)
                tail[n] = samples[tailStart + n] *
                          (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(n) / double(length)));
            TRealFft fft(size);
            std::vector<std::complex<double>> spectrum(fft.Bins());
            fft.Forward(tail, spectrum);
            double bandPower = 0;
            for (std::size_t k = 1; k < spectrum.size(); ++k)
                if (const double f = double(k) * Rate / double(size); f >= lowest && f <= highest)
                    bandPower += 2 * std::norm(spectrum[k]);
            const double meanSquare = bandPower / double(size) / double(length) / 0.375;
            return 20 * std::log10(std::abs(*peak) / std::sqrt(std::max(meanSquare, 1e-300)));
        };
        const double floatLoop = peakToNoise("tonvix_float"), sixteenBitSink = peakToNoise("tonvix_null");
        qInfo("2^18 sweep, float streams: peak %.1f dB above the noise round the float sink, %.1f dB round "
              "the 16-bit sink",
              floatLoop, sixteenBitSink);
        QVERIFY(floatLoop > 130);
        QVERIFY(sixteenBitSink > 100 && floatLoop > sixteenBitSink + 20);
    }
};

QTEST_GUILESS_MAIN(TestCliImpulseSoundServer)
#include "test_cli_impulse_soundserver.moc"
