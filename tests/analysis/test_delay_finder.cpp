// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/DelayFinder.h"
#include "audio/DeviceUnderTest.h"

#include <QTest>
#include <cmath>
#include <numbers>
#include <vector>

class TestDelayFinder : public QObject
{
    Q_OBJECT
private slots:
    // The probe is found at its lag through a filtering, delaying, noisy device, to a tenth of a
    // few frames (the high-pass delays the probe's low end a little), at the same lag in a recording
    // that has just taken it in as in a whole one; in noise alone nothing is found.
    void probeIsFoundThroughADeviceAndNotInNoise()
    {
        constexpr double rate = 48000;
        const std::vector<double> probe = ProbeChirp(rate, 0.1, 100, 16000);
        TDelayFinder finder(probe, 48000);
        TChannelModel speaker;
        speaker.HighPassHz = 300;
        speaker.GainDb = -30;
        speaker.NoiseDbfs = -60;
        speaker.DelayFrames = 20000;
        speaker.DelayFraction = 0.25;
        TChannelPath path;
        path.Configure(speaker, rate);
        TNoise noise(7);
        std::vector<double> heard(finder.RecordingFrames());
        for (std::size_t n = 0; n < heard.size(); ++n)
            heard[n] = path.Process(n >= 1000 && n < 1000 + probe.size() ? probe[n - 1000] : 0.0, noise);
        const auto found = finder.Find(heard);
        QVERIFY(found);
        QVERIFY2(std::abs(found->Lag - 21000.25) < 3, qPrintable(QString::number(found->Lag)));
        const auto early = finder.Find(std::span(heard).first(21000 + probe.size() + 10));
        QVERIFY(early);
        QCOMPARE(early->Lag, found->Lag);

        std::vector<double> onlyNoise(heard.size());
        for (double& x : onlyNoise)
            x = 1e-3 * noise.Gaussian();
        QVERIFY(!finder.Find(onlyNoise));
        QVERIFY(!finder.Find(std::vector<double>(heard.size())));
    }

    // A probe of music (a chord's harmonics over a little noise) correlates with itself at every lag its
    // notes repeat: plainly no lag stands out, whitened the delay is found, a fraction of a frame too.
    void whitenedFindsMusicToAFractionOfAFrame()
    {
        constexpr double rate = 48000;
        TNoise noise(23);
        std::vector<double> music(200000);
        for (std::size_t n = 0; n < music.size(); ++n) {
            const double t = double(n) / rate;
            for (const double note : {220.0, 277.18, 329.63})
                for (int harmonic = 1; harmonic <= 8; ++harmonic)
                    music[n] += 0.1 / harmonic * std::sin(2 * std::numbers::pi * note * harmonic * t);
            music[n] += 0.003 * noise.Gaussian();
        }
        TChannelModel room;
        room.GainDb = -12;
        room.NoiseDbfs = -80;
        room.DelayFrames = 1234;
        room.DelayFraction = 0.37;
        TChannelPath path;
        path.Configure(room, rate);
        std::vector<double> heard(music.size());
        for (std::size_t n = 0; n < heard.size(); ++n)
            heard[n] = path.Process(music[n], noise);
        const std::span<const double> probe = std::span(music).subspan(10000, 32768);
        const std::span<const double> recording = std::span(heard).subspan(10000, 32768 + 4800);
        TDelayFinder plain(probe, 4800), whitened(probe, 4800, true);
        const auto found = whitened.Find(recording);
        QVERIFY(found);
        qInfo("plain: %s; whitened: %.3f frames, clarity %.0f",
              plain.Find(recording) ? "found" : "nothing stands out", found->Lag, found->Clarity);
        QVERIFY(!plain.Find(recording));
        QVERIFY2(std::abs(found->Lag - 1234.37) < 0.03, qPrintable(QString::number(found->Lag)));
    }
};

QTEST_APPLESS_MAIN(TestDelayFinder)
#include "test_delay_finder.moc"
