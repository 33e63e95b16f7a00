// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli through the private sound server that scripts/test starts: its devices by their stable
// names, a recording of the null sink's monitor, and a sweep of the sink's loop, which is flat.

#include "../audio/AudioTestSupport.h"
#include "CliTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestCliSoundServer : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(false);
        TONVIX_REQUIRE_PRIVATE_SOUND_SERVER();
        // The sink's own rate: nothing is resampled.
        StoreSettings({{TKey::FrameRate, "48000"}});
    }

    void listsTheServersDevicesByName()
    {
        const TCliRun run = RunCli({"devices"}, CliEnvironment(false));
        QVERIFY_RUN(run, 0);
        const QString sink = QString::fromUtf8(TestSink()), source = QString::fromUtf8(TestSource());
        QVERIFY2(run.Out.contains("* " + source) && run.Out.contains("* " + sink + " ") &&
                     run.Out.contains("virtual-card"),
                 qPrintable(run.Out));
    }

    void recordsTheMonitor()
    {
        const QString file = Folder.filePath("cisza.lev");
        const TCliRun run = RunCli({"record", "--seconds", "2", "--interval", "250", "--input",
                                    QString::fromUtf8(TestSource()), "--out", file},
                                   CliEnvironment(false));
        QVERIFY_RUN(run, 0);
        QCOMPARE(ReadResults(file)->Ticks().Count(), std::size_t(8 * 3));
    }

    // A 20 ms burst clipped at full scale in the left channel of a quiet tone, played into the sink
    // once the recording of its monitor runs: the statistics, every interval it fell in, each CSV row
    // after it and the JSON say overload on the left channel and on no other.
    void anOverloadStaysOnRecord()
    {
        constexpr int Rate = 48000;
        QByteArray raw(Rate * 3 * 4, Qt::Uninitialized); // 3 s, the burst at 1 s
        auto* frames = reinterpret_cast<std::int16_t*>(raw.data());
        for (int i = 0; i < Rate * 3; ++i) {
            const auto quiet = std::int16_t(std::lrint(3000 * std::sin(2 * M_PI * 1000 * i / Rate)));
            const bool burst = i >= Rate && i < Rate + Rate / 50;
            frames[2 * i] = burst ? (quiet >= 0 ? std::int16_t(32767) : std::int16_t(-32768)) : quiet;
            frames[2 * i + 1] = quiet;
        }
        const QString signal = Folder.filePath("przester.raw");
        QFile signalFile(signal);
        QVERIFY(signalFile.open(QIODevice::WriteOnly) && signalFile.write(raw) == raw.size());
        signalFile.close();
        const QString csv = Folder.filePath("przester.csv");
        QProcess cli;
        StartCli(cli,
                 {"record", "--seconds", "6", "--channels", "LR", "--weighting", "A", "--log-interval", "1",
                  "--json", "--input", QString::fromUtf8(TestSource()), "--out", csv},
                 CliEnvironment(false));
        QTest::qWait(1500); // the recording runs by then, even on a loaded machine
        QProcess player;
        player.start("pacat", {"--playback", "--device=" + QString::fromUtf8(TestSink()), "--raw",
                               "--format=s16le", "--rate=48000", "--channels=2", signal});
        QVERIFY(player.waitForStarted());
        QVERIFY(cli.waitForFinished(60000));
        player.waitForFinished(10000);
        TCliRun run;
        run.Exit = cli.exitCode();
        run.Out = QString::fromUtf8(cli.readAllStandardOutput());
        run.Err = QString::fromUtf8(cli.readAllStandardError());
        QVERIFY_RUN(run, 0);
        const QJsonObject document = QJsonDocument::fromJson(run.Out.toUtf8()).object();
        const QJsonObject statistics = document["statistics"].toObject();
        QVERIFY2(statistics["left"]["overload"].toBool() && !statistics["right"]["overload"].toBool(),
                 qPrintable(run.Out));
        QVERIFY(statistics["left"]["LCpeak"].toDouble() > -0.5);
        int overloaded = 0;
        for (const QJsonValue interval : document["intervals"].toArray()) {
            overloaded += interval["left"]["overload"].toBool() ? 1 : 0;
            QVERIFY(!interval["right"]["overload"].toBool());
        }
        QVERIFY2(overloaded == 1 || overloaded == 2, qPrintable(run.Out)); // the burst may straddle two
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
        QVERIFY(rows.first().endsWith(";Przesterowanie"));
        const qsizetype marked = rows.filter(QRegularExpression(";L$")).size();
        QVERIFY2(marked == 1 || marked == 2, qPrintable(rows.join('\n')));
        QCOMPARE(rows.filter(QRegularExpression(";P$|;L P$")).size(), 0);
    }

    // The tone (25000 of 32767, the generator's default) comes back through the loop at its own level
    // in both channels: 20 lg(25000 / 32767) - 3.01 + 3 dB at every point, the first one included,
    // with the program's default point time and settling wait, whatever the server buffers.
    void sweepsTheLoopFlat()
    {
        const QString file = Folder.filePath("petla.csv");
        const TCliRun run = RunCli({"sweep", "--start", "100", "--stop", "10000", "--points", "13",
                                    "--channels", "LR", "--input", QString::fromUtf8(TestSource()),
                                    "--output", QString::fromUtf8(TestSink()), "--out", file},
                                   CliEnvironment(false));
        QVERIFY_RUN(run, 0);
        const double expected = 20 * std::log10(25000 / 32767.0) - 10 * std::log10(2.0) + 3;
        const auto results = ReadResults(file);
        const auto columns = results->Columns();
        QCOMPARE(int(columns.size()), 2);
        for (const auto& column : columns) {
            QCOMPARE(column.Points->Count(), 13);
            for (int i = 0; i < 13; ++i)
                QVERIFY2(std::abs(column.Points->Y(i) - expected) < 0.02,
                         qPrintable(QString("series %1: %2 Hz %3 dB")
                                        .arg(column.Slot + 1)
                                        .arg(column.Points->X(i))
                                        .arg(column.Points->Y(i), 0, 'f', 4)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCliSoundServer)
#include "test_cli_soundserver.moc"
