// SPDX-License-Identifier: GPL-3.0-or-later
// tonvix-cli's figures, printed for the record:  ctest -R test_cli_figures -V
// Its start with the device list, on the virtual card and on the sound server, and the wall time of a
// sweep against the window program's for the same settings.

#include "../audio/AudioTestSupport.h"
#include "../ui/WindowTestSupport.h"
#include "CliTestSupport.h"

#include "measure/Sweep.h"
#include "measure/SweepDetection.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>

class TestCliFigures : public QObject
{
    Q_OBJECT

    QTemporaryDir Folder;

    static double Median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

private slots:
    void initTestCase() { StoreSettings({{TKey::FrameRate, "48000"}}); }

    void startsAndListsTheDevicesQuickly()
    {
        const bool server = PrivateSoundServerProblem().isEmpty();
        for (const bool virtualCard : {true, false}) {
            if (!virtualCard && !server)
                continue;
            std::vector<double> seconds;
            for (int run = 0; run < 7; ++run) {
                const TCliRun devices = RunCli({"devices"}, CliEnvironment(virtualCard));
                QVERIFY_RUN(devices, 0);
                seconds.push_back(devices.Seconds);
            }
            qInfo("tonvix-cli devices (%s): median %.3f s, longest %.3f s of 7 runs",
                  virtualCard ? "virtual card" : "sound server", Median(seconds),
                  *std::max_element(seconds.begin(), seconds.end()));
            QVERIFY(Median(seconds) < 0.3);
        }
    }

    // 40 points of 250 ms, each after 5 ms of settling, and the 0.3 s of the probe with its silences:
    // 10.5 s in both programs, and the round trip, which holds the output's queue of silence played
    // before the output's time line starts (four blocks of 1500 frames) and the card's way: 0.25 s.
    void sweepTakesTheWindowsTime()
    {
        const TCliRun cli = RunCli({"sweep", "--start", "20", "--stop", "20000", "--points", "40",
                                    "--point-time", "250", "--out", Folder.filePath("s.frd")});
        QVERIFY_RUN(cli, 0);
        const QRegularExpressionMatch reported =
            QRegularExpression("Czas pomiaru: ([0-9.,]+) s").match(cli.Err);
        QVERIFY(reported.hasMatch());
        const double cliSeconds = reported.captured(1).replace(',', '.').toDouble();

        auto window = OpenWindowOnVirtualCard();
        QVERIFY(window);
        FindControl<QAction>(*window, "actPomiarCharakterystyk")->trigger();
        window->State().PointTime = 250;
        window->State().MeasurementDelay = 300;
        FindControl<QLineEdit>(*window, "edtStartFreq")->setText("20");
        FindControl<QLineEdit>(*window, "edtStopFreq")->setText("20000");
        FindControl<QLineEdit>(*window, "edtLiczbaPunktow")->setText("40");
        const auto measuring = [&] {
            return FindControl<QToolButton>(*window, "btnStart")->defaultAction()->objectName() == "actStop";
        };
        TModalCloser chooser([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        QElapsedTimer wall;
        wall.start();
        QTest::keyClick(window.get(), Qt::Key_F2);
        QVERIFY(measuring());
        while (measuring() && wall.elapsed() < 60000)
            QTest::qWait(5);
        const double windowSeconds = wall.elapsed() / 1000.0;

        // Each point settles for 3 periods (at least 5 ms), the first for 100 ms after the probe's silence.
        const int rate = window->AudioIn().FrameRate();
        double expected = 0.3 + 0.25 + TSweepDetection::OnsetSettlingSeconds;
        for (int k = 0; k < 40; ++k)
            expected +=
                0.25 + (k == 0 ? 0.0
                               : TSweepDetection::ShortestPlan(TSweep::PointFrequency(20, 20000, k, 40), rate,
                                                               window->State().Detection)
                                         .SettlingFrames /
                                     double(rate));
        qInfo("sweep of 40 x (250 ms + settling) + 300 ms + 250 ms: tonvix-cli %.3f s (%+.2f %%), window "
              "%.3f s (%+.2f %%); "
              "tonvix-cli's whole run %.3f s",
              cliSeconds, (cliSeconds / expected - 1) * 100, windowSeconds,
              (windowSeconds / expected - 1) * 100, cli.Seconds);
        QVERIFY(std::abs(cliSeconds / windowSeconds - 1) < 0.02);
        QVERIFY(std::abs(cliSeconds / expected - 1) < 0.02);
    }
};

QTEST_MAIN(TestCliFigures)
#include "test_cli_figures.moc"
