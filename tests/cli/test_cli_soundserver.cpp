// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli through the private sound server that scripts/test starts: its devices by their stable
// names, a recording of the null sink's monitor, and a sweep of the sink's loop, which is flat.

#include "../audio/AudioTestSupport.h"
#include "CliTestSupport.h"

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
