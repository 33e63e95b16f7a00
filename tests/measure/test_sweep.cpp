// SPDX-License-Identifier: GPL-3.0-or-later
// The sweep's parameters, step, start and stop additions and axes, on a fake window.

#include "MeasureTestSupport.h"

#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/Sweep.h"

#include <QTest>
#include <cmath>
#include <functional>
#include <vector>

namespace {

struct TRig
{
    TMeasurementState State;
    TFakeDevice Input, Output;
    TChartModel Chart;
    TFakeSweepWindow Window;
    TSweep Sweep{State, Input, Output, Chart, Window};

    TRig() { State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic; }
    // A sweep as the tick runs it: the generator's frequency is where the point is taken.
    std::vector<double> Run(int ticks)
    {
        std::vector<double> taken;
        for (int tick = 0; tick < ticks; ++tick) {
            taken.push_back(State.GeneratorFrequency);
            Sweep.Step();
        }
        return taken;
    }
};

} // namespace

class TestSweep : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    // Three points land on 100, 1000 and 10000 Hz, and the third stops the sweep.
    void ThreePointsAndTheStopByItself()
    {
        TRig rig;
        rig.Sweep.StartFreqChanged("100");
        rig.Sweep.StopFreqChanged("10000");
        rig.Sweep.PointsChanged("3");
        const std::vector<double> taken = rig.Run(3);
        QCOMPARE(taken.size(), std::size_t(3));
        QCOMPARE(taken[0], 100.0);
        QVERIFY(std::abs(taken[1] - 1000) < 1e-9);
        QVERIFY(std::abs(taken[2] - 10000) < 1e-9);
        QCOMPARE(rig.Window.StartClicks, 1);
        QCOMPARE(rig.Window.ClockUpdates, 2);
        QCOMPARE(rig.Window.Progress, 2);
        QCOMPARE(rig.State.SweepIndex, 0);
        QCOMPARE(rig.State.GeneratorFrequency, 100.0);
    }

    // A stop after 10 of 100 points keeps the 11th frequency; the next start takes the other 90.
    // Zeroing starts over and leaves the phase for the next block to join.
    void ManualStopContinuesAndZeroingStartsOver()
    {
        TRig rig;
        rig.Window.Active = 2;
        rig.Run(10);
        rig.Sweep.Finish(TStopSender::Action);
        QCOMPARE(rig.State.SweepIndex, 10);
        QCOMPARE(rig.State.GeneratorFrequency, TSweep::PointFrequency(100, 10000, 10, 100));
        QVERIFY(rig.Sweep.PrepareStart(true));
        QCOMPARE(rig.Window.Continued, 2); // the series keeps its first ten points
        rig.Run(90);
        QCOMPARE(rig.Window.StartClicks, 1);
        rig.Sweep.Finish(TStopSender::Action);
        QVERIFY(rig.Sweep.PrepareStart(true));
        QCOMPARE(rig.Window.Continued, -1); // a new sweep

        rig.Run(10);
        rig.State.GeneratorPhase = 1.5;
        rig.Sweep.Zero();
        QCOMPARE(rig.State.SweepIndex, 0);
        QCOMPARE(rig.State.GeneratorFrequency, 100.0);
        QCOMPARE(rig.State.GeneratorPhase, 1.5);
        QCOMPARE(rig.Window.Progress, 0);
        QVERIFY(rig.Sweep.PrepareStart(true));
        QCOMPARE(rig.Window.Continued, -1);
    }

    // A stopped sweep goes on only in its own series and under the conditions it was measured under:
    // another method, reference, frame rate or amplitude, or another series chosen, starts it afresh (its
    // points would otherwise be half of one kind and half of another, labelled as the last).
    void OnlyTheSameConditionsContinue()
    {
        const std::vector<std::function<void(TRig&)>> changes{
            [](TRig& rig) { rig.State.Detection.Method = TSweepMethod::Synchronous; },
            [](TRig& rig) {
                rig.State.Detection.Method = TSweepMethod::Synchronous;
                rig.State.Detection.Reference = TReferenceChannel::Right;
            },
            [](TRig& rig) { rig.Input.Rate = 44100; },
            [](TRig& rig) { rig.State.Amplitude /= 2; },
            [](TRig& rig) { rig.Window.Active = 3; }, // the chooser leaves another series active
        };
        for (std::size_t change = 0; change < changes.size(); ++change) {
            TRig rig;
            rig.Window.Active = 2;
            rig.Run(10);
            rig.Sweep.Finish(TStopSender::Action);
            QCOMPARE(rig.State.SweepIndex, 10);
            changes[change](rig);
            if (rig.State.Detection.Reference == TReferenceChannel::Right)
                rig.State.ChannelMode = TChannelMode::Left;
            QVERIFY(rig.Sweep.PrepareStart(true));
            QVERIFY2(rig.State.SweepIndex == 0 && rig.State.GeneratorFrequency == rig.State.StartFreq,
                     qPrintable(QString("change %1").arg(change)));
        }
    }

    // Reasons that block the start, and the texts the edits get back when they are left.
    void EditsBlockTheStartAndCorrectThemselves()
    {
        TRig rig;
        QVERIFY(rig.Sweep.StartAllowed());
        rig.Sweep.PointsChanged("2");
        QVERIFY(!rig.Sweep.StartAllowed());
        QCOMPARE(rig.Sweep.PointsOnExit("2"), QString("3"));
        rig.Sweep.PointsChanged("3");
        QVERIFY(rig.Sweep.StartAllowed());
        QCOMPARE(rig.Window.ProgressMaximum, 2);

        // Above 0.49 of the frame rate no tone can be measured (at exactly half of it the samples of a
        // sine are all zero): 23520 Hz at 48000 frames/s is the highest frequency either edit keeps.
        rig.Sweep.StartFreqChanged("30000"); // and above the stop
        QVERIFY(rig.State.SweepBlocked[TSweep::StartAboveNyquist]);
        QVERIFY(rig.State.SweepBlocked[TSweep::NoFrequencyRange]);
        QCOMPARE(rig.Sweep.StartFreqOnExit("30000"), QString("23520"));
        rig.Sweep.StartFreqChanged("24000");
        QVERIFY(rig.State.SweepBlocked[TSweep::StartAboveNyquist]);
        rig.Sweep.StartFreqChanged("23520");
        QVERIFY(!rig.State.SweepBlocked[TSweep::StartAboveNyquist]);
        rig.Sweep.StopFreqChanged("24000");
        QVERIFY(rig.State.SweepBlocked[TSweep::StopAboveNyquist]);
        QCOMPARE(rig.Sweep.StopFreqOnExit("24000"), QString("23520"));
        rig.Sweep.StopFreqChanged("10000");
        rig.Sweep.StartFreqChanged("100");
        QVERIFY(rig.Sweep.StartAllowed());

        // Text that is no frequency, or 0, leaves the value in force; leaving an empty edit or a 0
        // shows the value again.
        for (const char* text : {"", "1,2,3", "0"}) {
            rig.Sweep.StartFreqChanged(text);
            QCOMPARE(rig.State.StartFreq, 100.0);
        }
        QCOMPARE(rig.Sweep.StartFreqOnExit(""), QString("100"));
        QCOMPARE(rig.Sweep.StartFreqOnExit("0"), QString("100"));
        QCOMPARE(rig.Sweep.StopFreqOnExit("0"), QString("10000"));
        QCOMPARE(rig.Sweep.StopFreqOnExit("5000"), QString("5000"));

        rig.Window.Active = -1; // no series to take the points
        QVERIFY(!rig.Sweep.StartAllowed());
        rig.Window.Active = 0;
        rig.State.StopFreq = -5; // what stored settings may hold
        QVERIFY(!rig.Sweep.StartAllowed());
    }

    void Estimate_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("expected");
        QTest::newRow("comma") << QChar(',') << QString("25,3s");
        QTest::newRow("point") << QChar('.') << QString("25.3s");
    }
    void Estimate()
    {
        QFETCH(QChar, separator);
        QFETCH(QString, expected);
        NumberFormat::SetDecimalSeparator(separator);
        TRig rig;
        rig.State.PointTime = 250;
        rig.State.MeasurementDelay = 300;
        rig.Sweep.PointsChanged("100");
        QCOMPARE(rig.Window.Estimate, expected);
    }

    // The range rules, the margin rounded to whole hertz with halves to even, and the level axis.
    void Axes()
    {
        TRig rig;
        rig.State.FreqAutoScale = 1;
        rig.State.StartFreq = 25;
        rig.State.StopFreq = 10000;
        rig.Sweep.SetUpAxes();
        QCOMPARE(rig.Window.FrequencyMin, 22.0); // 22.5
        QCOMPARE(rig.Window.FrequencyMax, 11000.0);
        QCOMPARE(rig.Window.LevelMin, -90.0);

        rig.State.FreqAutoScale = 0; // from the visible result series
        rig.Chart.SetVisible(2, true);
        rig.Chart.Append(2, 1000, -20);
        rig.Chart.Append(2, 3000, -10);
        rig.Chart.Append(5, 50, 7); // hidden
        rig.State.FreqExcess = 0;
        rig.State.FreqAutoLevelScale = true;
        rig.Sweep.SetUpAxes();
        QCOMPARE(rig.Window.FrequencyMin, 1000.0);
        QCOMPARE(rig.Window.FrequencyMax, 3000.0);
        QCOMPARE(rig.Window.LevelMin, -25.0);
        QCOMPARE(rig.Window.LevelMax, -5.0);

        rig.Chart.Clear(2); // nothing to show: the sweep's range, which must be a range
        rig.State.StopFreq = 25;
        rig.Sweep.SetUpAxes();
        QVERIFY(rig.State.SweepBlocked[TSweep::NoFrequencyRange]);
        QVERIFY(!rig.Sweep.StartAllowed());
        rig.State.FreqAutoScale = 2;
        rig.Sweep.SetUpAxes();
        QCOMPARE(rig.Window.FrequencyMin, 100.0);
        QCOMPARE(rig.Window.FrequencyMax, 10000.0);
        QVERIFY(!rig.State.SweepBlocked[TSweep::NoFrequencyRange]);
    }

    // The edits are filled at start-up in either kind: in the sound-pressure kind they leave its axes
    // alone, and the value still counts when this kind is chosen.
    void EditInTheOtherKindLeavesItsAxes()
    {
        TRig rig;
        rig.State.MeasurementKind = TMeasurementKind::SoundPressure;
        rig.Window.FrequencyMax = rig.Window.LevelMax = 7;
        rig.Sweep.StartFreqChanged("200");
        rig.Sweep.StopFreqChanged("5000");
        QCOMPARE(rig.Window.FrequencyMax, 7.0);
        QCOMPARE(rig.Window.LevelMax, 7.0);
        QCOMPARE(rig.State.GeneratorFrequency, 200.0);
        rig.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
        rig.Sweep.SetUpAxes();
        QCOMPARE(rig.Window.FrequencyMax, 5500.0);
    }

    // The chooser's cancel, the conditions in both records of a pair, the peaks (a silent channel at
    // the meter's floor), the series hidden for the sweep and the report.
    void StartAndStopAdditions()
    {
        TRig rig;
        rig.Window.ChooserAnswer = false;
        QVERIFY(!rig.Sweep.PrepareStart(true));
        QVERIFY(rig.Window.EditsEnabled);

        rig.Window.ChooserAnswer = true;
        rig.Window.Active = 1;
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.NoAveraging = true;
        rig.State.Preferences.MinimizeOnMeasurment = true;
        rig.State.Preferences.ShowRaport = true;
        for (int series : {0, 1, 3, 5})
            rig.Chart.SetVisible(series, true);
        QVERIFY(rig.Sweep.PrepareStart(true));
        QVERIFY(!rig.Window.EditsEnabled);
        QCOMPARE(rig.Window.Hidden, (std::vector<int>{0, 3})); // 1 and its pair 5 stay in view
        rig.Sweep.RecordConditions();
        QCOMPARE(rig.Window.Conditions, (std::vector<int>{1, 5}));
        QCOMPARE(rig.Window.ConditionAveraging, 0.0);

        rig.State.PeakMaxL = 16384;
        rig.Sweep.Finish(TStopSender::Action);
        QVERIFY(rig.Window.EditsEnabled);
        QCOMPARE(rig.Window.Status0, QString("Pomiar zatrzymany"));
        QCOMPARE(rig.Window.Shown, (std::vector<int>{0, 3}));
        QCOMPARE(rig.Window.Peaks.size(), std::size_t(2));
        QVERIFY(std::abs(rig.Window.Peaks[0].second - 20 * std::log10(0.5)) < 1e-12);
        QCOMPARE(rig.Window.Peaks[1], std::make_pair(5, TLevelMeter::SilenceLevel));
        QCOMPARE(rig.Window.Reports, std::vector<int>{1});

        rig.Sweep.Finish(TStopSender::None); // no sender, no report
        QCOMPARE(rig.Window.Reports.size(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestSweep)
#include "test_sweep.moc"
