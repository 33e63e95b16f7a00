// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli tf on the virtual card: the transfer function of the card's default models (left: a small
// loudspeaker, right: a wire at -3 dB, the reference) written as CSV in a Polish and in the C setting
// and as FRD, the delay on the standard output, and the usage errors.

#include "CliTestSupport.h"

#include "audio/VirtualCard.h"
#include "results/ResponseFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestCliTransfer : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;

private slots:
    void responseAndDelayWritten_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("file");
        QTest::newRow("Polish CSV") << "pl_PL.UTF-8"
                                    << "głośnik.csv";
        QTest::newRow("C FRD") << "C"
                               << "głośnik.frd";
    }
    void responseAndDelayWritten()
    {
        QFETCH(QString, locale);
        QFETCH(QString, file);
        QProcessEnvironment environment = CliEnvironment();
        environment.insert("LC_ALL", locale);
        const QString path = Folder.filePath(file);
        const TCliRun run = RunCli({"tf", "--seconds", "1.5", "--reference", "R", "--fft", "8192",
                                    "--averages", "4", "--smoothing", "12", "--out", path},
                                   environment);
        QVERIFY_RUN(run, 0);
        // The loudspeaker's filters delay its low end: the correlation's peak lies a frame or so late.
        const QChar decimal = locale == "C" ? QChar('.') : QChar(',');
        QVERIFY2(run.Out.startsWith(QStringLiteral("Opóźnienie: 0") + decimal) ||
                     run.Out.startsWith(QStringLiteral("Opóźnienie: 1") + decimal),
                 qPrintable(run.Out));
        QVERIFY2(run.Out.contains(QStringLiteral(" próbki = ")) && run.Out.contains(QStringLiteral(" m (")),
                 qPrintable(run.Out));
        QVERIFY2(run.Err.contains(QStringLiteral("Uśrednione ramki: 4. Zapisano: ") + path),
                 qPrintable(run.Err));

        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(written.readAll());
        const bool csv = file.endsWith(".csv");
        QVERIFY(
            text.startsWith(csv ? QStringLiteral("Częstotliwość [Hz];Poziom [dB];Faza [°];Koherencja\r\n")
                                : QStringLiteral("* Tonvix: funkcja przenoszenia z pomiaru dwukanałowego")));
        QString failure;
        const auto points = ResponseFile::Read(path, failure);
        QVERIFY2(points, qPrintable(failure));
        QCOMPARE(points->Coherence.empty(), !csv);
        // The left channel over the right one, 1/12-octave smoothed, through the audible band.
        TChannelPath left, right;
        left.Configure(TVirtualCard::DefaultModel(0), 48000);
        right.Configure(TVirtualCard::DefaultModel(1), 48000);
        double worst = 0;
        for (std::size_t i = 0; i < points->Frequency.size(); ++i) {
            const double f = points->Frequency[i];
            if (f >= 200 && f <= 5000)
                worst = std::max(worst, std::abs(points->LevelDb[i] -
                                                 (left.ResponseDb(f, 48000) - right.ResponseDb(f, 48000))));
            if (csv)
                QVERIFY(points->Coherence[i] > 0.99);
        }
        qInfo("%s: worst %.4f dB from 200 Hz to 5 kHz", qPrintable(file), worst);
        QVERIFY(worst < 0.05);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        const QString out = Folder.filePath("x.csv");
        QTest::newRow("no reference")
            << QStringList{"tf", "--seconds", "1", "--out", out} << "brak wymaganej opcji --reference";
        QTest::newRow("file")
            << QStringList{"tf", "--seconds", "1", "--reference", "L", "--out", Folder.filePath("x.txt")}
            << "zapisuje się w pliku .csv lub .frd";
        QTest::newRow("fft") << QStringList{"tf",   "--seconds", "1", "--reference", "L", "--fft",
                                            "5000", "--out",     out}
                             << "potęgą 2 od 4096 do 131072";
        QTest::newRow("signal") << QStringList{"tf",    "--seconds", "1", "--reference", "L", "--signal",
                                               "brown", "--out",     out}
                                << "pink, white, none";
        QTest::newRow("level") << QStringList{"tf", "--seconds", "1", "--reference", "L", "--level",
                                              "3",  "--out",     out}
                               << "od -60 do 0 dBFS";
        QTest::newRow("averages") << QStringList{"tf", "--seconds", "1", "--reference", "L", "--averages",
                                                 "65", "--out",     out}
                                  << "od 1 do 64";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        const TCliRun run = RunCli(arguments);
        QVERIFY_RUN(run, 2);
        QVERIFY2(run.Err.contains(says), qPrintable(run.Err));
    }

    // A run too short for one whole frame after the delay's search says so and writes nothing.
    void tooShortForAFrame()
    {
        const QString path = Folder.filePath("krótki.csv");
        const TCliRun run =
            RunCli({"tf", "--seconds", "0.2", "--reference", "R", "--fft", "131072", "--out", path});
        QVERIFY_RUN(run, 1);
        QVERIFY2(run.Err.contains(QStringLiteral("Pomiar trwał za krótko")), qPrintable(run.Err));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestCliTransfer)
#include "test_cli_transfer.moc"
