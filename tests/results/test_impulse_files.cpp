// SPDX-License-Identifier: GPL-3.0-or-later
// Impulse responses as WAV files and frequency responses with phase as FRD and CSV: written and read
// back exactly, and the files of other programs opened.

#include "common/NumberFormat.h"
#include "results/ResponseFile.h"
#include "results/WaveFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>
#include <vector>

class TestImpulseFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;

private slots:
    // 32-bit floats at the frame rate: every sample comes back as the float it was written as, and time
    // 0 from its cue point, which the file's comment names too.
    void waveWrittenAndReadBackExactly()
    {
        std::vector<double> samples(5000);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] =
                std::sin(0.01 * double(i)) * std::exp(-0.001 * double(i)) * 1.7; // above full scale too
        const QString name = Folder.filePath("odpowiedź.wav");
        QString failure;
        QVERIFY2(WaveFile::Write(name, samples, 44100, 441, failure), qPrintable(failure));
        const auto read = WaveFile::Read(name, failure);
        QVERIFY2(read, qPrintable(failure));
        QCOMPARE(read->FrameRate, 44100);
        QCOMPARE(read->Channels, 1);
        QCOMPARE(read->TimeZero, std::size_t(441));
        SF_INFO info{};
        SNDFILE* sound = sf_open(QFile::encodeName(name).constData(), SFM_READ, &info);
        QVERIFY(sound);
        const QString comment = QString::fromUtf8(sf_get_string(sound, SF_STR_COMMENT));
        sf_close(sound);
        QCOMPARE(comment,
                 QStringLiteral("Tonvix: odpowiedź impulsowa, chwila 0 w próbce 441 (10 ms od początku "
                                "pliku)"));
        QCOMPARE(read->Samples.size(), samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            QCOMPARE(read->Samples[i], double(float(samples[i])));
    }

    // Another program's file: 24-bit integers, two channels, 96 kHz; the first channel is taken.
    void otherProgramsWaveOpens()
    {
        const QString name = Folder.filePath("inny.wav");
        SF_INFO info{};
        info.samplerate = 96000;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        SNDFILE* sound = sf_open(QFile::encodeName(name).constData(), SFM_WRITE, &info);
        QVERIFY(sound);
        const int frames[6] = {1 << 30, -(1 << 29), 0, 5, 1 << 20, 7};
        QCOMPARE(sf_writef_int(sound, frames, 3), sf_count_t(3));
        sf_close(sound);
        QString failure;
        const auto read = WaveFile::Read(name, failure);
        QVERIFY2(read, qPrintable(failure));
        QCOMPARE(read->FrameRate, 96000);
        QCOMPARE(read->Channels, 2);
        QCOMPARE(read->Samples, (std::vector<double>{0.5, 0.0, 1.0 / 2048}));
        QCOMPARE(read->TimeZero, std::size_t(0)); // no mark: the first sample
    }

    void notASoundFile()
    {
        const QString name = Folder.filePath("tekst.wav");
        QFile text(name);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("to nie jest dźwięk\n");
        text.close();
        QString failure;
        QVERIFY(!WaveFile::Read(name, failure));
        QVERIFY2(failure.contains(QStringLiteral("to nie jest plik dźwiękowy")), qPrintable(failure));
    }

    // FRD with "." and the CSV with the user's separator, under both separators: exact round trips.
    void responseWrittenAndReadBack()
    {
        const ResponseFile::TPoints points{{20, 1000.5, 19999.25}, {-3.25, 0.1, -12.125}, {179.5, -0.3, -90}};
        for (const QChar separator : {QLatin1Char(','), QLatin1Char('.')}) {
            NumberFormat::SetDecimalSeparator(separator);
            for (const char* name : {"charakterystyka.frd", "charakterystyka.CSV"}) {
                const QString file = Folder.filePath(name);
                QString failure;
                QVERIFY2(ResponseFile::Write(file, points, "Pomiar 1", failure), qPrintable(failure));
                const auto read = ResponseFile::Read(file, failure);
                QVERIFY2(read, qPrintable(failure));
                QCOMPARE(read->Frequency, points.Frequency);
                QCOMPARE(read->LevelDb, points.LevelDb);
                QCOMPARE(read->PhaseDegrees, points.PhaseDegrees);
            }
        }
        NumberFormat::SetDecimalSeparator(QChar());
    }

    // Another program's FRD (tabs, no phase) opens; a line that is no point is named.
    void otherFrdAndDamagedLines()
    {
        const QString name = Folder.filePath("inny.frd");
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"comment\"\n10\t-1.5\n20\t-1\n");
        file.close();
        QString failure;
        auto read = ResponseFile::Read(name, failure);
        QVERIFY2(read, qPrintable(failure));
        QCOMPARE(read->PhaseDegrees, (std::vector<double>{0, 0}));
        QVERIFY(file.open(QIODevice::Append));
        file.write("30 abc\n");
        file.close();
        QVERIFY(!ResponseFile::Read(name, failure));
        QVERIFY2(failure.contains(QStringLiteral("wiersz 4")), qPrintable(failure));
    }
};

QTEST_GUILESS_MAIN(TestImpulseFiles)
#include "test_impulse_files.moc"
