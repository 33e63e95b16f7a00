// SPDX-License-Identifier: GPL-3.0-or-later
// Microphone calibration files: the common text format, the messages that name a bad line, the
// deviation between and beyond the file's points, and its removal from every sweep point.

#include "measure/LevelMeter.h"
#include "measure/MeasurementState.h"
#include "measure/Sweep.h"
#include "results/MicrophoneCalibrationFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstring>
#include <vector>

class TestMicrophoneCalibration : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;

    QString File(const char* name, const QByteArray& text)
    {
        const QString path = Folder.filePath(QString::fromLatin1(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", name);
        return path;
    }

private slots:
    void readsTheCommonFormat()
    {
        const QString path = File("mikrofon.txt", "\"Sens Factor =-1.5dB, SERNO: 7001234\"\r\n"
                                                  "* comment\r\n# another\r\n\r\n"
                                                  "10\t-2.0\t5\r\n100 0\r\n1000,3.5\r\n20000;1,5\r\n");
        QString failure;
        const auto correction = ReadMicrophoneCalibration(path, failure);
        QVERIFY2(correction, qPrintable(failure));
        QCOMPARE(correction->Table().size(), std::size_t(4));
        QCOMPARE(*correction->SensFactor(), -1.5);
        QCOMPARE(correction->DeviationDb(100), 0.0);
        QCOMPARE(correction->DeviationDb(1000), 3.5);
        // Linear over the logarithm of the frequency: half way from 100 to 1000 Hz is 316.2 Hz.
        QVERIFY(std::abs(correction->DeviationDb(std::sqrt(100.0 * 1000.0)) - 1.75) < 1e-12);
        QVERIFY(std::abs(correction->DeviationDb(std::sqrt(10.0 * 100.0)) + 1.0) < 1e-12);
        // Flat beyond both ends.
        QCOMPARE(correction->DeviationDb(1), -2.0);
        QCOMPARE(correction->DeviationDb(24000), 1.5);

        // Vendors' layouts: ";" comments, a comma and blanks after the frequency, titled columns with a
        // phase as a CSV export writes them.
        for (const QByteArray& text :
             {QByteArray("; Serial 8012345\r\n;Sens Factor =-2.1dB\r\n781.25,  0.7222968\r\n1000, 1\r\n"),
              QByteArray("Frequency [Hz],Level [dB],Phase [deg]\n781.25,0.7222968,-3.5\n1000,1,0\n")}) {
            const auto vendor = ReadMicrophoneCalibration(File("producent.txt", text), failure);
            QVERIFY2(vendor, qPrintable(failure));
            QCOMPARE(vendor->Table().size(), std::size_t(2));
            QCOMPARE(vendor->DeviationDb(781.25), 0.7222968);
            QCOMPARE(vendor->DeviationDb(1000), 1.0);
        }
    }

    void malformedFilesNameTheLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a number") << QByteArray("* x\n20 0\n100 abc\n")
                                      << ": wiersz 3 („100 abc”) nie zawiera częstotliwości i poprawki w dB.";
        QTest::newRow("four numbers")
            << QByteArray("20 0 0 1\n")
            << ": wiersz 1 („20 0 0 1”) nie zawiera częstotliwości i poprawki w dB.";
        QTest::newRow("titles among the points")
            << QByteArray("20 0\nFrequency Level\n")
            << ": wiersz 2 („Frequency Level”) nie zawiera częstotliwości i poprawki w dB.";
        QTest::newRow("falling frequency") << QByteArray("100 0\n50 1\n")
                                           << ": wiersz 2 („50 1”) podaje częstotliwość mniejszą niż wiersz "
                                              "przed nim; częstotliwości muszą rosnąć.";
        QTest::newRow("zero frequency")
            << QByteArray("0 1\n") << ": wiersz 1 („0 1”) podaje częstotliwość, która nie jest większa od 0.";
        QTest::newRow("no point") << QByteArray("* only a comment\n") << ": plik nie zawiera żadnego punktu.";
    }
    void malformedFilesNameTheLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        const QString path = File("zly.txt", text);
        QString failure;
        QVERIFY(!ReadMicrophoneCalibration(path, failure));
        QCOMPARE(failure, "Nieprawidłowy plik kalibracji mikrofonu " + path + message);
    }

    // A file naming a missing calibration: the channel measures without a correction, keeps the name.
    void aMissingFileLeavesTheChannelUncorrected()
    {
        TMeasurementState state;
        state.MicrophoneFiles = {Folder.filePath("nie-ma.txt"), File("dobry.txt", "100 1\n")};
        const QStringList failures = LoadMicrophoneCorrections(state);
        QCOMPARE(failures.size(), 1);
        QVERIFY(failures[0].startsWith("Nie można odczytać pliku " + Folder.filePath("nie-ma.txt")));
        QVERIFY(!state.Microphone[0].InForce() && state.Microphone[1].InForce());
        QCOMPARE(state.MicrophoneFiles[0], Folder.filePath("nie-ma.txt"));
    }

    // A +3 dB step at 1 kHz: a sweep of 100 Hz to 10 kHz with the correction differs from one without
    // by exactly 3 dB at every point above 1 kHz, and not at all at the others (1 kHz included).
    void stepAtOneKilohertzChangesExactlyThePointsAbove()
    {
        QString failure;
        const auto step =
            ReadMicrophoneCalibration(File("krok.txt", "20 0\n1000 0\n1000 3\n20000 3\n"), failure);
        QVERIFY2(step, qPrintable(failure));
        const auto sweep = [&](bool corrected) {
            TMeasurementState state;
            state.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
            state.ChannelMode = TChannelMode::Both;
            state.NoAveraging = true;
            if (corrected)
                state.Microphone = {*step, *step};
            TStandaloneMeterPorts ports;
            ports.Active = 0;
            ports.StartEnabled = true;
            TChartModel chart;
            TLevelMeter meter(state, ports, chart, ports, ports);
            std::vector<float> block(512 * 2);
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<float>(i % 7 * 1000 / 32767.0);
            for (int point = 0; point < 31; ++point) {
                state.GeneratorFrequency = TSweep::PointFrequency(100, 10000, point, 31);
                int size = static_cast<int>(block.size());
                meter.AnalyseBlock(block.data(), size);
                meter.Tick();
            }
            return std::pair(chart.Series(0), chart.Series(4));
        };
        const auto [plainL, plainR] = sweep(false);
        const auto [correctedL, correctedR] = sweep(true);
        QCOMPARE(plainL.Count(), 31);
        QCOMPARE(correctedR.Count(), 31);
        for (int i = 0; i < 31; ++i) {
            const double expected = plainL.X(i) > 1000 ? -3.0 : 0.0;
            QCOMPARE(correctedL.Y(i) - plainL.Y(i), expected);
            QCOMPARE(correctedR.Y(i) - plainR.Y(i), expected);
        }
        QCOMPARE(plainL.X(15), 1000.0); // the step's own frequency is a point of the sweep
    }
};

QTEST_GUILESS_MAIN(TestMicrophoneCalibration)
#include "test_microphone_calibration.moc"
