// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli tf through a PulseAudio of the test's own. What the program plays goes into a sink whose
// sound two loopbacks carry on into the two channels of a recorded null sink: one straight into the
// left channel, the reference, and one through a LADSPA device into the right one. Through the LADSPA
// SDK's one-pole low-pass filter the response must be the filter's published one
// (y[n] = (1 - a) x[n] + a y[n-1], a = c - sqrt(c^2 - 1), c = 2 - cos(2 pi fc / fs), in single
// precision) from the pink noise, and again from music that another client plays into the same sink
// where the coherence says the music carried it; through the SDK's delay line of 10 ms the delay is
// found by itself and the response is flat.

#include "../audio/DeviceModels.h"
#include "../audio/PrivateSoundServer.h"
#include "CliTestSupport.h"

#include "common/NumberFormat.h"
#include "results/ResponseFile.h"
#include "results/WaveFile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
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

// Twelve seconds of music: chords of three notes with their harmonics, struck and dying away, a bass
// line and a hi-hat, peaking at half full scale.
std::vector<double> Music()
{
    std::vector<double> music(std::size_t(12 * Rate));
    const double notes[] = {110, 130.81, 146.83, 164.81, 196, 220, 261.63, 293.66, 329.63, 392, 440, 523.25};
    std::uint32_t state = 7;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    for (double start = 0; start < 11.5; start += 0.25 * (1 + next(3))) {
        const auto from = std::size_t(start * Rate);
        for (int voice = 0; voice < 4; ++voice) {
            const double note = voice == 3 ? notes[next(5)] / 2 : notes[next(12)];
            for (std::size_t n = from; n < std::min(music.size(), from + std::size_t(Rate)); ++n) {
                const double t = double(n - from) / Rate,
                             envelope = std::exp(-3 * t) * std::min(1.0, t * 200);
                for (int harmonic = 1; harmonic <= 12 && note * harmonic < 20000; ++harmonic)
                    music[n] += 0.08 * envelope * std::sin(2 * std::numbers::pi * note * harmonic * t) /
                                std::pow(harmonic, 1.2);
            }
        }
        for (std::size_t n = from; n < std::min(music.size(), from + std::size_t(0.05 * Rate)); ++n)
            music[n] += 0.05 * (double(next(2001)) / 1000 - 1) * std::exp(-double(n - from) / Rate * 60);
    }
    double peak = 0;
    for (const double x : music)
        peak = std::max(peak, std::abs(x));
    for (double& x : music)
        x *= 0.5 / peak;
    return music;
}

} // namespace

class TestCliTransferSoundServer : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    TPrivateSoundServer Server;

    // tonvix-cli tf from `sink` (whose sound the loopbacks carry on) into the null sink `recorded`.
    TCliRun Measure(const QString& sink, const QString& recorded, const QStringList& options,
                    const QString& out)
    {
        QProcessEnvironment environment = CliEnvironment(false);
        environment.insert("LC_ALL", "C");
        return RunCli(QStringList{"tf", "--reference", "L", "--input", recorded + ".monitor", "--output",
                                  sink, "--out", out} +
                          options,
                      environment);
    }

    // The delay that the standard output gives, in frames.
    static double DelayOf(const TCliRun& run)
    {
        const QString text = run.Out.section(QStringLiteral("Opóźnienie: "), 1).section(' ', 0, 0);
        return NumberFormat::ParseNumber(text).value_or(-1e9);
    }

private slots:
    void initTestCase()
    {
        if (!Server.Start({"tonvix_null", "tonvix_delayed"})) {
            if (qgetenv("CI") == "true")
                QFAIL("the test's own sound server did not start");
            QSKIP("the test's own sound server did not start");
        }
        // Two routes, each its own pair of loopbacks into a null sink of its own.
        const std::pair<const char*, QStringList> routes[] = {
            {"tonvix_null", {"plugin=filter", "label=lpf", "control=" + QString::number(Cutoff)}},
            {"tonvix_delayed", {"plugin=delay", "label=delay_5s", "control=0.0100001,1"}}};
        for (const auto& [recorded, device] : routes) {
            QString failed;
            QVERIFY2(Server.LoadRoute(QLatin1String(recorded) + "_dut", QLatin1String(recorded), 1, device,
                                      failed),
                     qPrintable(failed));
        }
        StoreSettings({{TKey::FrameRate, "48000"}});
    }

    // The pink noise through the low-pass filter: within 0.05 dB and 0.5 degrees of the filter from
    // 50 Hz to 16 kHz, coherence at least 0.99. The file's phase has the delay found taken off.
    void pinkNoiseThroughAFilter()
    {
        const QString out = Folder.filePath("lpf.csv");
        const TCliRun run = Measure("tonvix_null_dut", "tonvix_null", {"--seconds", "4"}, out);
        QVERIFY_RUN(run, 0);
        QString failure;
        const auto points = ResponseFile::Read(out, failure);
        QVERIFY2(points, qPrintable(failure));
        const double delay = DelayOf(run);
        // The delay as the file took it off, to more than the two decimals it is printed with.
        double slope = 0, weight = 0;
        std::vector<std::pair<double, double>> off; // frequency, phase off the filter's with the delay
        for (std::size_t i = 0; i < points->Frequency.size(); ++i) {
            const double f = points->Frequency[i];
            if (f < 50 || f > 16000)
                continue;
            off.emplace_back(
                f,
                std::remainder(points->PhaseDegrees[i] - Degrees(Filter(f)) - 360 * f * delay / Rate, 360.0));
            slope += off.back().second * f;
            weight += f * f;
        }
        slope /= weight;
        double worstDb = 0, worstDegrees = 0, leastCoherence = 1;
        for (std::size_t i = 0, at = 0; i < points->Frequency.size(); ++i) {
            const double f = points->Frequency[i];
            if (f < 50 || f > 16000)
                continue;
            worstDb = std::max(worstDb, std::abs(points->LevelDb[i] - 20 * std::log10(std::abs(Filter(f)))));
            worstDegrees = std::max(worstDegrees, std::abs(off[at++].second - slope * f));
            leastCoherence = std::min(leastCoherence, points->Coherence[i]);
        }
        qInfo("LADSPA lpf %g Hz: delay %.4f frames, worst %.4f dB, %.3f degrees, coherence at least %.5f",
              Cutoff, delay + slope * Rate / 360, worstDb, worstDegrees, leastCoherence);
        QVERIFY(std::abs(slope * Rate / 360) < 0.01);
        QVERIFY(worstDb < 0.05);
        QVERIFY(worstDegrees < 0.5);
        QVERIFY(leastCoherence >= 0.99);
    }

    // White noise through a delay line of 10 ms, with frames short enough that the delay would cost
    // level and coherence were it not taken off: found by itself, and the response flat.
    void delayFoundByItself()
    {
        const QString out = Folder.filePath("delay.csv");
        const TCliRun run =
            Measure("tonvix_delayed_dut", "tonvix_delayed",
                    {"--seconds", "4", "--signal", "white", "--fft", "8192", "--smoothing", "6"}, out);
        QVERIFY_RUN(run, 0);
        QString failure;
        const auto points = ResponseFile::Read(out, failure);
        QVERIFY2(points, qPrintable(failure));
        double lowest = 0, highest = -1000, leastCoherence = 1;
        for (std::size_t i = 0; i < points->Frequency.size(); ++i)
            if (points->Frequency[i] >= 50 && points->Frequency[i] <= 16000) {
                lowest = std::min(lowest, points->LevelDb[i]);
                highest = std::max(highest, points->LevelDb[i]);
                leastCoherence = std::min(leastCoherence, points->Coherence[i]);
            }
        qInfo("delay line 10 ms: %s, level from %.4f to %.4f dB, coherence at least %.5f",
              qPrintable(run.Out.trimmed()), lowest, highest, leastCoherence);
        // The two loopbacks may settle apart, by far less than a millisecond.
        QVERIFY2(std::abs(DelayOf(run) - 480) < 48, qPrintable(run.Out));
        QVERIFY(highest - lowest < 0.1 && std::abs(highest) < 0.1);
        QVERIFY(leastCoherence >= 0.99);
    }

    // Music that another client plays into the sink, with no signal of the program's own: the filter's
    // response within 0.2 dB wherever the coherence is 0.95 or more, which the music's notes and the
    // hi-hat give most of the band.
    void musicThroughAFilter()
    {
        const QString wave = Folder.filePath("muzyka.wav"), out = Folder.filePath("muzyka.csv");
        QString failure;
        QVERIFY2(WaveFile::Write(wave, Music(), int(Rate), 0, failure), qPrintable(failure));
        QProcess player;
        player.start("paplay", {"--device=tonvix_null_dut", wave});
        QVERIFY(player.waitForStarted(5000));
        QTest::qWait(300);
        const TCliRun run = Measure("tonvix_null_dut", "tonvix_null",
                                    {"--seconds", "8", "--signal", "none", "--smoothing", "12"}, out);
        player.waitForFinished(10000);
        QVERIFY_RUN(run, 0);
        const auto points = ResponseFile::Read(out, failure);
        QVERIFY2(points, qPrintable(failure));
        double worst = 0;
        int coherent = 0, all = 0;
        for (std::size_t i = 0; i < points->Frequency.size(); ++i) {
            const double f = points->Frequency[i];
            if (f < 50 || f > 16000)
                continue;
            ++all;
            if (points->Coherence[i] < 0.95)
                continue;
            ++coherent;
            worst = std::max(worst, std::abs(points->LevelDb[i] - 20 * std::log10(std::abs(Filter(f)))));
        }
        qInfo("music: %s, %d of %d points coherent, worst %.4f dB", qPrintable(run.Out.trimmed()), coherent,
              all, worst);
        QVERIFY(coherent > all * 3 / 4);
        QVERIFY(worst < 0.2);
    }
};

QTEST_GUILESS_MAIN(TestCliTransferSoundServer)
#include "test_cli_transfer_soundserver.moc"
