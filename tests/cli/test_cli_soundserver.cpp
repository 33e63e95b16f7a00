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
        // The sink's own rate (nothing resampled), a server that buffers before it plays, and an
        // averaging time well inside a point.
        StoreSettings({{TKey::FrameRate, "48000"},
                       {TKey::MeasurmentDelay, "1000"},
                       {TKey::Average, "3"},
                       {TKey::AverageTime, "250"}});
    }

    void listsTheServersDevicesByName()
    {
        const TCliRun run = RunCli({"devices"}, CliEnvironment(false));
        QVERIFY_RUN(run, 0);
        QVERIFY2(run.Out.contains("* tonvix_null.monitor") && run.Out.contains("* tonvix_null ") &&
                     run.Out.contains("virtual-card"),
                 qPrintable(run.Out));
    }

    void recordsTheMonitor()
    {
        const QString file = Folder.filePath("cisza.lev");
        const TCliRun run = RunCli({"record", "--seconds", "2", "--interval", "250", "--input",
                                    "tonvix_null.monitor", "--out", file},
                                   CliEnvironment(false));
        QVERIFY_RUN(run, 0);
        QCOMPARE(ReadResults(file)->Ticks().Count(), std::size_t(8 * 3));
    }

    // The tone (25000 of 32767, the generator's default) comes back through the loop at its own level
    // in both channels: 20 lg(25000 / 32767) - 3.01 + 3 dB at every point.
    void sweepsTheLoopFlat()
    {
        const QString file = Folder.filePath("petla.csv");
        const TCliRun run = RunCli({"sweep", "--start", "100", "--stop", "10000", "--points", "5",
                                    "--point-time", "1500", "--channels", "LR", "--input",
                                    "tonvix_null.monitor", "--output", "tonvix_null", "--out", file},
                                   CliEnvironment(false));
        QVERIFY_RUN(run, 0);
        const double expected = 20 * std::log10(25000 / 32767.0) - 10 * std::log10(2.0) + 3;
        const auto results = ReadResults(file);
        const auto columns = results->Columns();
        QCOMPARE(int(columns.size()), 2);
        for (const auto& column : columns) {
            QCOMPARE(column.Points->Count(), 5);
            for (int i = 0; i < 5; ++i) {
                qInfo("series %d: %8.1f Hz %+.4f dB", column.Slot + 1, column.Points->X(i),
                      column.Points->Y(i));
                QVERIFY(std::abs(column.Points->Y(i) - expected) < 0.05);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCliSoundServer)
#include "test_cli_soundserver.moc"
