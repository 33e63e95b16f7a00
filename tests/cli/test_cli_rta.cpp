// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli rta on the virtual card: its usage errors, and the band levels and the averaged
// spectrum that it writes.

#include "CliTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

double Number(const QString& cell)
{
    return QString(cell).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

} // namespace

class TestCliRta : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;
    QString Path(const QString& name) const { return Folder.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(Folder.isValid());
        StoreSettings({{TKey::FrameRate, "48000"}});
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        QTest::newRow("bands") << QStringList{"rta", "--seconds", "1", "--bands", "5", "--out", "a.csv"}
                               << "musi być jedną z 1, 3, 6, 12, 24";
        QTest::newRow("fft") << QStringList{"rta", "--seconds", "1", "--fft", "3000", "--out", "a.csv"}
                             << "potęgą 2 od 1024 do 65536";
        QTest::newRow("both") << QStringList{"rta",     "--seconds", "1",     "--fft", "1024",
                                             "--bands", "3",         "--out", "a.csv"}
                              << "wykluczają się";
        QTest::newRow("time") << QStringList{"rta", "--seconds", "1", "--time", "I", "--out", "a.csv"}
                              << "jedną z F, S";
        QTest::newRow("file") << QStringList{"rta", "--seconds", "1", "--out", "a.lev"} << "w pliku .csv";
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        const TCliRun run = RunCli(arguments);
        QVERIFY_RUN(run, 2);
        QVERIFY2(run.Err.contains(says), qPrintable(run.Err));
    }

    // Leq, Lmax and the level now of both channels in every 1/3-octave band from 10 Hz to 20 kHz, in a
    // Polish setting, counted for the second asked for once the band filters have settled; the largest
    // F-weighted level is never below the energy mean.
    void bandLevels()
    {
        QProcessEnvironment polish = CliEnvironment();
        polish.insert("LC_ALL", "pl_PL.UTF-8");
        const QString file = Path("pasma.csv");
        const TCliRun run =
            RunCli({"rta", "--bands", "3", "--seconds", "1", "--weighting", "A", "--out", file}, polish);
        QVERIFY_RUN(run, 0);
        QVERIFY2(run.Err.contains("Filtry pasm ustalają się przez 4,0 s, zanim pomiar zacznie się liczyć."),
                 qPrintable(run.Err));
        QVERIFY2(run.Err.contains("Zapisano poziomy w pasmach z 1,0 s pomiaru w pliku " + file),
                 qPrintable(run.Err));
        const QStringList lines = Lines(file);
        QCOMPARE(lines.size(), 1 + 34);
        QVERIFY(lines[0].startsWith(
            "Pasmo [Hz] (1/3 oktawy, stała czasowa F, korekcja A, Fp 48000 Hz, czas 1,0 s);"));
        QVERIFY(lines[0].contains(";LAeq lewy [dB(A)];LAFmax lewy [dB(A)];"));
        QVERIFY(lines[1].startsWith("10;10;"));
        QVERIFY(lines[6].startsWith("31,5;"));
        for (const QString& line : lines.mid(1)) {
            const QStringList cells = line.split(';');
            QCOMPARE(cells.size(), 8);
            for (const int leq : {2, 5}) {
                QVERIFY(Number(cells[leq]) > -200 && Number(cells[leq]) < 0);
                QVERIFY(Number(cells[leq + 1]) >= Number(cells[leq]));
            }
        }
    }

    // With --fft, the spectrum averaged over the recording, bin by bin above 0 Hz.
    void averagedSpectrum()
    {
        const QString file = Path("widmo.csv");
        const TCliRun run = RunCli({"rta", "--fft", "4096", "--seconds", "1", "--out", file});
        QVERIFY_RUN(run, 0);
        const QStringList lines = Lines(file);
        QCOMPARE(lines.size(), 1 + 2048);
        QVERIFY(lines[0].startsWith(
            "Częstotliwość [Hz] (FFT 4096, okno flat-top, uśrednianie liniowe, korekcja Z, "));
        QVERIFY(lines[1].startsWith("11.71875;"));
        QVERIFY(lines.back().startsWith("24000;"));
    }
};

QTEST_MAIN(TestCliRta)
#include "test_cli_rta.moc"
