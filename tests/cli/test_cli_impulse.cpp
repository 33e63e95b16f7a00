// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli ir on the virtual card: the impulse response as WAV and its response as CSV, read back
// and compared with the card's default models (left: a small loudspeaker, right: a wire at -3 dB).

#include "CliTestSupport.h"

#include "analysis/ImpulseResponse.h"
#include "audio/VirtualCard.h"
#include "results/ResponseFile.h"
#include "results/WaveFile.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestCliImpulse : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;

private slots:
    void impulseAndResponseWritten()
    {
        const QString wave = Folder.filePath("głośnik.wav"), response = Folder.filePath("głośnik.csv");
        const TCliRun run = RunCli({"ir", "--start", "20", "--stop", "20000", "--length", "65536", "--tail",
                                    "0.5", "--reference", "R", "--out", wave, "--response", response});
        QVERIFY_RUN(run, 0);
        QVERIFY2(run.Out.startsWith(QStringLiteral("Opóźnienie: ")), qPrintable(run.Out));
        QString failure;
        const auto sound = WaveFile::Read(wave, failure);
        QVERIFY2(sound, qPrintable(failure));
        QCOMPARE(sound->FrameRate, 48000);
        QCOMPARE(sound->TimeZero, std::size_t(480)); // 10 ms kept before it
        QVERIFY(sound->Samples.size() > std::size_t(0.5 * 48000));
        // The left channel over the right one, at 1 kHz: the loudspeaker's -10 dB and filters over -3 dB.
        TChannelPath left, right;
        left.Configure(TVirtualCard::DefaultModel(0), 48000);
        right.Configure(TVirtualCard::DefaultModel(1), 48000);
        const auto points = ResponseFile::Read(response, failure);
        QVERIFY2(points, qPrintable(failure));
        std::size_t at = 0;
        while (at + 1 < points->Frequency.size() && points->Frequency[at] < 1000)
            ++at;
        const double f = points->Frequency[at];
        const double expected = left.ResponseDb(f, 48000) - right.ResponseDb(f, 48000);
        qInfo("%.1f Hz: %.3f dB, expected %.3f dB", f, points->LevelDb[at], expected);
        QVERIFY(std::abs(points->LevelDb[at] - expected) < 0.05);
    }

    void usageErrors()
    {
        QCOMPARE(RunCli({"ir", "--start", "20", "--stop", "20000", "--out", Folder.filePath("x.txt")}).Exit,
                 2);
        QCOMPARE(RunCli({"ir", "--start", "20", "--stop", "20000", "--length", "70000", "--out",
                         Folder.filePath("x.wav")})
                     .Exit,
                 2);
        const TCliRun same = RunCli({"ir", "--start", "20", "--stop", "20000", "--reference", "L",
                                     "--channel", "L", "--out", Folder.filePath("x.wav")});
        QCOMPARE(same.Exit, 2);
        QVERIFY2(same.Err.contains(QStringLiteral("Kanał odniesienia musi być inny")), qPrintable(same.Err));
        const TCliRun tail = RunCli(
            {"ir", "--start", "20", "--stop", "20000", "--tail", "11", "--out", Folder.filePath("x.wav")});
        QCOMPARE(tail.Exit, 2);
        QVERIFY2(tail.Err.contains(QStringLiteral("Czas rejestracji po sweepie musi wynosić od ")),
                 qPrintable(tail.Err));
    }
};

QTEST_GUILESS_MAIN(TestCliImpulse)
#include "test_cli_impulse.moc"
