// SPDX-License-Identifier: GPL-3.0-or-later
// The sweep measured in the whole program on the virtual card, printed for the record:
//   ctest -R test_sweep_figures -V
// Its accuracy against the card's own model of the device under test, its duration, the spread of
// the interval between points and the processor time it takes.

#include "WindowTestSupport.h"

#include "audio/DeviceServices.h"
#include "audio/DeviceUnderTest.h"
#include "audio/VirtualCard.h"
#include "measure/Sweep.h"
#include "measure/SweepDetection.h"
#include "ui/OknoGlowna.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

class TestSweepFigures : public QObject
{
    Q_OBJECT

    QTemporaryDir WorkDir;
    std::unique_ptr<TFormaGlowna> Window;
    QString Said; // what the last sweep said, or how it ended without a word

    bool Measuring()
    {
        return FindControl<QToolButton>(*Window, "btnStart")->defaultAction()->objectName() == "actStop";
    }
    // The sweep as F2 and the chooser's Enter start it; the wall time from the start to the stop.
    double Sweep(double timeoutSeconds)
    {
        TModalCloser chooser([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        QElapsedTimer wall;
        wall.start();
        QTest::keyClick(Window.get(), Qt::Key_F2);
        const bool started = Measuring();
        while (Measuring() && wall.elapsed() < timeoutSeconds * 1000)
            QTest::qWait(20);
        Said.clear();
        if (Measuring())
            Said = QStringLiteral("still measuring at the time limit, point %1, %2 input blocks done")
                       .arg(Window->State().SweepIndex)
                       .arg(Window->AudioIn().BuffersDone());
        else if (QTest::qWaitFor([&] { return !chooser.Said.isEmpty(); }, 200)) // a stop's message
            Said = chooser.Said;
        return started ? wall.elapsed() / 1000.0 : 0;
    }

private slots:
    void initTestCase()
    {
        TDeviceServices::UseVirtualCardOnly(true);
        QVERIFY(WorkDir.isValid());
        QVERIFY(QDir::setCurrent(WorkDir.path()));
    }
    void init()
    {
        Window = OpenWindowOnVirtualCard();
        QVERIFY(Window);
        TDeviceServices::VirtualCard().SetAmbient(false);
        FindControl<QAction>(*Window, "actPomiarCharakterystyk")->trigger();
    }
    void cleanup()
    {
        Window.reset();
        TDeviceServices::VirtualCard().RestoreDefaults();
    }

    // A low-pass at 2 kHz with -6 dB on the left and a high-pass at 200 Hz on the right, swept from
    // 20 Hz to 20 kHz in 31 points at ten times the card's speed, each point after eight averaging
    // time constants: every point within 0.05 dB of the model's own magnitude.
    void sweepFollowsTheModel()
    {
        constexpr int rate = 48000, points = 31;
        TChannelModel left, right;
        left.GainDb = -6;
        left.LowPassHz = 2000;
        right.HighPassHz = 200;
        TVirtualCard& card = TDeviceServices::VirtualCard();
        card.SetModel(0, left);
        card.SetModel(1, right);
        card.SetSpeed(10);
        Window->AudioIn().SetFrameRate(rate);
        Window->AudioOut().SetFrameRate(rate);
        Window->AudioOut().SetBufferSize(8192 * 2); // four blocks: 68 ms of real time to refill one
        FindControl<QRadioButton>(*Window, "rbKanalLR")->click();
        TMeasurementState& state = Window->State();
        state.AveragingTime = 1.0; // S
        state.NoAveraging = false;
        state.PointTime = 1000;        // 10 s of card time: the way through and eight time constants
        state.MeasurementDelay = 1000; // 10 s of card time
        FindControl<QLineEdit>(*Window, "edtStartFreq")->setText("20");
        FindControl<QLineEdit>(*Window, "edtStopFreq")->setText("20000");
        FindControl<QLineEdit>(*Window, "edtLiczbaPunktow")->setText(QString::number(points));

        QVERIFY(Sweep(60) > 0);
        const TChartSeriesData& measuredL = Window->ChartData().Series(0);
        const TChartSeriesData& measuredR = Window->ChartData().Series(4);
        QVERIFY2(measuredL.Count() == points && measuredR.Count() == points, qPrintable(Said));

        TChannelPath pathL, pathR;
        pathL.Configure(left, rate);
        pathR.Configure(right, rate);
        // The tone's level at the card's output (a sine of 25000 in 16-bit units) through the model,
        // with the model's own noise added in power; the generator steps its phase with 3.14159 for pi.
        const double toneLevel = 20 * std::log10(state.Amplitude / 32767.0) - 10 * std::log10(2.0) + 3;
        auto expected = [&](const TChannelPath& path, const TChannelModel& model, double f) {
            const double tone = toneLevel + path.ResponseDb(f, rate), noise = model.NoiseDbfs + 3;
            return 10 * std::log10(std::pow(10.0, tone / 10) + std::pow(10.0, noise / 10));
        };
        double worst = 0;
        for (int i = 0; i < points; ++i) {
            const double f = TSweep::PointFrequency(20, 20000, i, points) * 3.14159 / std::numbers::pi;
            const double errorL = measuredL.Y(i) - expected(pathL, left, f);
            const double errorR = measuredR.Y(i) - expected(pathR, right, f);
            qInfo("%8.1f Hz  left %8.3f dB (%+.3f)  right %8.3f dB (%+.3f)", measuredL.X(i), measuredL.Y(i),
                  errorL, measuredR.Y(i), errorR);
            worst = std::max({worst, std::abs(errorL), std::abs(errorR)});
        }
        qInfo("largest deviation from the model: %.4f dB; output underruns %llu", worst,
              static_cast<unsigned long long>(Window->AudioOut().Xruns()));
        QVERIFY(worst < 0.05);
        QCOMPARE(Window->AudioOut().Xruns(), std::uint64_t(0));
    }

    // 100 points of 250 ms, in real time.
    void durationJitterAndLoad()
    {
        TMeasurementState& state = Window->State();
        state.PointTime = 250;
        state.MeasurementDelay = 300;
        FindControl<QLineEdit>(*Window, "edtLiczbaPunktow")->setText("100");
        std::vector<qint64> taken;
        QElapsedTimer clock;
        clock.start();
        connect(&Window->ChartData(), &TChartModel::PointAppended, this,
                [&](int series, int) { taken.push_back(series == 0 ? clock.nsecsElapsed() : -1); });
        const double cpuBefore = CpuSeconds(), uiBefore = CpuSeconds(RUSAGE_THREAD);
        const double seconds = Sweep(60);
        const double cpu = CpuSeconds() - cpuBefore, ui = CpuSeconds(RUSAGE_THREAD) - uiBefore;
        taken.erase(std::remove(taken.begin(), taken.end(), -1), taken.end());
        QCOMPARE(int(taken.size()), 100);

        std::vector<double> intervals;
        for (std::size_t i = 1; i < taken.size(); ++i)
            intervals.push_back((taken[i] - taken[i - 1]) / 1e6);
        double mean = 0, spread = 0;
        for (double interval : intervals)
            mean += interval / intervals.size();
        for (double interval : intervals)
            spread += (interval - mean) * (interval - mean) / intervals.size();
        const auto [shortest, longest] = std::minmax_element(intervals.begin(), intervals.end());
        // Each point settles for 3 periods (at least 5 ms) first, the first one for 100 ms after the
        // silence, the probe with its silences takes 0.3 s, and the last point is heard a round trip
        // after it was played.
        const int rate = Window->AudioIn().FrameRate();
        double expected = 0.3 + TSweepDetection::OnsetSettlingSeconds +
                          Window->SweepEngine().Timeline().ExactRoundTrip() / rate;
        for (int k = 0; k < 100; ++k) {
            const double f = TSweep::PointFrequency(state.StartFreq, state.StopFreq, k, 100);
            expected += (k == 0 ? 0.0
                                : TSweepDetection::ShortestPlan(f, rate, state.Detection).SettlingFrames /
                                      double(rate)) +
                        0.25;
        }
        qInfo("sweep of 100 x (250 ms + settling) + 300 ms: %.3f s (expected %.3f s, %+.2f %%)", seconds,
              expected, (seconds / expected - 1) * 100);
        qInfo("interval between points: mean %.3f ms, standard deviation %.3f ms, %.3f .. %.3f ms", mean,
              std::sqrt(spread), *shortest, *longest);
        qInfo("processor time: %.2f s, %.2f %% of one core; the user-interface thread alone %.2f %%", cpu,
              cpu / seconds * 100, ui / seconds * 100);
        QVERIFY(std::abs(seconds / expected - 1) < 0.02);
    }
};

QTEST_MAIN(TestSweepFigures)
#include "test_sweep_figures.moc"
