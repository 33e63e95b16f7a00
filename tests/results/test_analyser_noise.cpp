// SPDX-License-Identifier: GPL-3.0-or-later
// The background noise for a room's speech transmission index read from the spectrum analyser's band
// file: exactly the Leq that the analyser wrote, in either decimal separator and after a spreadsheet
// saved it again; anything but unweighted octave bands refused, saying why and what it should be.

#include "AnalyserFiles.h"

#include "common/NumberFormat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

class TestAnalyserNoise : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;

    static QByteArray Contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void Rewrite(const QString& path, const QByteArray& contents)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(contents), contents.size());
    }

private slots:
    void readsWhatTheAnalyserWrote_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << QChar(',');
        QTest::newRow("point") << QChar('.');
    }
    void readsWhatTheAnalyserWrote()
    {
        QFETCH(QChar, separator);
        NumberFormat::SetDecimalSeparator(separator);
        const QString path = Folder.filePath(QStringLiteral("oktawy%1.csv").arg(separator == ',' ? 1 : 2));
        std::vector<TBandReading> readings;
        QString failure;
        QVERIFY2(WriteAnalyserBands(path, 1, TFrequencyWeighting::Z, failure, &readings),
                 qPrintable(failure));
        NumberFormat::SetDecimalSeparator(QChar());
        // As written, and as a spreadsheet saves it again: tabs between the fields, no quotes kept.
        for (const bool tabs : {false, true}) {
            if (tabs)
                Rewrite(path, Contents(path).replace(';', '\t'));
            const auto noise = AnalyserExport::ReadOctaveNoise(path, failure);
            QVERIFY2(noise, qPrintable(failure));
            for (std::size_t band = 0; band < AnalyserExport::NoiseOctaves.size(); ++band) {
                const auto reading =
                    std::find_if(readings.begin(), readings.end(), [&](const TBandReading& r) {
                        return r.Nominal == AnalyserExport::NoiseOctaves[band];
                    });
                QVERIFY(reading != readings.end());
                for (std::size_t channel = 0; channel < 2; ++channel)
                    QCOMPARE((*noise)[channel][band], reading->Leq[channel]);
            }
            QVERIFY((*noise)[0][4] > (*noise)[1][4] + 5); // the left channel is the louder
        }
    }

    // Thirds, weighted levels, an FFT spectrum, a band missing, a damaged row, a folder and no file at all.
    void refusesOtherFiles()
    {
        QString failure;
        const QString thirds = Folder.filePath("tercje.csv"), weighted = Folder.filePath("a.csv");
        QVERIFY2(WriteAnalyserBands(thirds, 3, TFrequencyWeighting::Z, failure), qPrintable(failure));
        QVERIFY2(WriteAnalyserBands(weighted, 1, TFrequencyWeighting::A, failure), qPrintable(failure));
        const QString octaves = Folder.filePath("oktawy.csv");
        QVERIFY2(WriteAnalyserBands(octaves, 1, TFrequencyWeighting::Z, failure), qPrintable(failure));
        const QByteArray written = Contents(octaves);
        const QString spectrum = Folder.filePath("fft.csv"), short8k = Folder.filePath("bez8k.csv"),
                      damaged = Folder.filePath("uszkodzony.csv");
        Rewrite(spectrum, "Częstotliwość [Hz] (FFT 8192, okno flat-top);Kanał lewy [dB];Kanał prawy [dB]\r\n"
                          "5,86;-80;-81\r\n");
        QByteArray cut = written;
        const qsizetype row = cut.indexOf("\r\n8000;");
        QVERIFY(row > 0);
        cut.remove(row, cut.indexOf("\r\n", row + 2) - row);
        Rewrite(short8k, cut);
        Rewrite(damaged, QByteArray(written).replace("\r\n250;", "\r\nstop;"));

        const QString hint = QStringLiteral("bez korekcji (Z), zapisane przyciskiem „Eksportuj CSV...”");
        const std::vector<std::pair<QString, QString>> cases = {
            {thirds, QStringLiteral("zawiera pasma 1/3 oktawy")},
            {weighted, QStringLiteral("poziomy są z korekcją A")},
            {spectrum, QStringLiteral("to nie jest zapis pasm analizatora widma")},
            {short8k, QStringLiteral("brak pasma 8000 Hz")},
            {damaged, QStringLiteral("nie zawiera pasma i jego poziomów")},
            {Folder.path(), QStringLiteral("to jest folder")},
            {Folder.filePath("brak.csv"), QStringLiteral("Nie można odczytać pliku")}};
        for (const auto& [path, says] : cases) {
            failure.clear();
            QVERIFY2(!AnalyserExport::ReadOctaveNoise(path, failure), qPrintable(path));
            QVERIFY2(failure.contains(says) && failure.contains(QDir::toNativeSeparators(path)),
                     qPrintable(failure));
            if (path.endsWith(QLatin1String(".csv")) && !path.endsWith(QLatin1String("brak.csv")))
                QVERIFY2(failure.contains(hint), qPrintable(failure));
        }
    }
};

QTEST_GUILESS_MAIN(TestAnalyserNoise)
#include "test_analyser_noise.moc"
