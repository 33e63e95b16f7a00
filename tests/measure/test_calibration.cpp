// SPDX-License-Identifier: GPL-3.0-or-later
// The three calibration procedures, their sweep and their failures, on fake devices.

#include "../audio/AudioTestSupport.h"
#include "MeasureTestSupport.h"

#include "measure/Calibration.h"
#include "measure/LevelMeter.h"
#include "measure/RecordingControl.h"
#include "measure/Sweep.h"

#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <vector>

namespace {

struct TFakeWindow final : IMeterWindow, ICalibrationWindow
{
    QStringList Errors;
    std::function<void()> OnError; // what a message box's own event loop lets happen
    QString Status[5], Clock;
    bool Calibrating = false;
    int TimerInterval = 0;
    double LevelMin = 0, LevelMax = 0;

    void SetReadoutText(int, const QString&) override {}
    void SetReadoutRed(int, bool) override {}
    void Beep() override {}
    bool StartButtonEnabled() const override { return false; }
    void SetTimeAxisAutomatic() override {}
    int ActiveSeries() const override { return 0; }
    void UpdateClockPanel() override {}
    void SweepStep() override {}
    void ShowError(const QString& text) override
    {
        Errors << text;
        if (OnError)
            OnError();
    }
    void SetStatusText(int panel, const QString& text) override { Status[panel] = text; }
    void SetClockText(const QString& text) override { Clock = text; }
    void SetCalibrating(bool on) override { Calibrating = on; }
    void SetCalibrationTimerInterval(int milliseconds) override { TimerInterval = milliseconds; }
    void SetLevelAxisRange(double minimum, double maximum) override
    {
        LevelMin = minimum;
        LevelMax = maximum;
    }
};

struct TNoSink final : IAcquisitionSink
{
    void Enqueue(double) override {}
};

struct TRig
{
    TMeasurementState State;
    TFakeDevice Input, Output;
    TChartModel Chart;
    TNoSink Sink;
    TFakeWindow Window;
    TLevelMeter Meter{State, Input, Chart, Sink, Window};
    TCalibration Calibration{State, Input, Output, Meter, Window};

    explicit TRig(TMeasurementKind kind)
    {
        State.MeasurementKind = kind;
        State.MeasurementDelay = 0;
    }
    // The last block's mean squares as the given levels relative to full scale.
    void BlockLevels(double left, double right)
    {
        State.BlockMeanSquareL = FullScaleSquare * std::pow(10.0L, left / 10);
        State.BlockMeanSquareR = FullScaleSquare * std::pow(10.0L, right / 10);
    }
    // A block whose samples are all `left` and `right`, as the input delivers it.
    void Feed(int left, int right)
    {
        std::vector<std::int16_t> block(2 * 1500);
        for (std::size_t i = 0; i < block.size(); i += 2) {
            block[i] = static_cast<std::int16_t>(left);
            block[i + 1] = static_cast<std::int16_t>(right);
        }
        std::vector<float> samples = AsFloats(block);
        int size = static_cast<int>(samples.size());
        Meter.AnalyseBlock(samples.data(), size);
    }
    void Finished() const
    {
        QVERIFY(!Calibration.Running() && !Input.IsRunning && !Output.IsRunning);
        QVERIFY(!Window.Calibrating);
        QCOMPARE(Window.TimerInterval, 0);
        QCOMPARE(Window.Status[0], QString("Kalibracja zakończona"));
    }
};

TCalibrationRequest Request(TCalibrationProcedure procedure)
{
    TCalibrationRequest request;
    request.Procedure = procedure;
    return request;
}

} // namespace

class TestCalibration : public QObject
{
    Q_OBJECT
private slots:
    // 124 dB against a block at -40 dB gives 124 + 40 - 3; the axis follows the left offset.
    void ReferenceLevel()
    {
        TRig rig(TMeasurementKind::SoundPressure);
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.LevelExcess = 5;
        rig.BlockLevels(-40, -50);
        rig.Calibration.Start(Request(TCalibrationProcedure::ReferenceLevel));
        QVERIFY(std::abs(rig.State.TimeCalibrationL - 161) < 1e-9);
        QVERIFY(std::abs(rig.State.TimeCalibrationR - 171) < 1e-9);
        QCOMPARE(rig.State.FreqCalibrationL, 0.0);
        QCOMPARE(rig.Output.Starts, 0); // no tone in this kind
        rig.Finished();
        QCOMPARE(rig.Window.LevelMax, 166.0);
        QCOMPARE(rig.Window.LevelMin, 76.0);
        QCOMPARE(rig.State.TimeLevelScaleMaximum, 166.0);
        QCOMPARE(rig.Calibration.StateText(), QString("Skalibrowany (kanał lewy i prawy)"));
    }

    // A calibrator is measured unweighted whatever the meter's weighting: a 250 Hz tone of 10000
    // sample units read through A would be 8.6 dB low and so would every later reading's offset.
    void ReferenceLevelIsMeasuredUnweighted()
    {
        TRig rig(TMeasurementKind::SoundPressure);
        rig.State.FrequencyWeighting = TFrequencyWeighting::A;
        int frame = 0;
        QTimer blocks;
        QObject::connect(&blocks, &QTimer::timeout, [&] {
            std::vector<std::int16_t> block(2 * 480);
            for (std::size_t i = 0; i < block.size(); i += 2, ++frame)
                block[i] = block[i + 1] =
                    std::int16_t(std::lrint(10000 * std::sin(2 * M_PI * 250 * frame / 48000)));
            std::vector<float> samples = AsFloats(block);
            int size = int(samples.size());
            rig.Meter.AnalyseBlock(samples.data(), size);
        });
        blocks.start(2);
        TCalibrationRequest request = Request(TCalibrationProcedure::ReferenceLevel);
        request.ReferenceLevel = 93.8;
        rig.Calibration.Start(request);
        const double level = 20 * std::log10(10000 / 32767.0) - 10 * std::log10(2.0);
        QVERIFY2(std::abs(rig.State.TimeCalibrationL - (93.8 - level - 3)) < 0.02,
                 qPrintable(QString::number(rig.State.TimeCalibrationL)));
        QVERIFY(!rig.State.Calibrating);
        QCOMPARE(rig.State.WeightingInForce(), TFrequencyWeighting::A);
    }

    // A tone at -23 dB becomes 0 dB: an offset of 20 dB. The right channel alone leaves the left.
    void ZeroAtFrequencyOnOneChannel()
    {
        TRig rig(TMeasurementKind::FrequencyCharacteristic);
        rig.State.ChannelMode = TChannelMode::Right;
        rig.State.FreqCalibrationL = 1.5;
        rig.State.StartFreq = 100;
        rig.BlockLevels(-10, -23);
        TCalibrationRequest request = Request(TCalibrationProcedure::ZeroAtFrequency);
        request.Frequency = 2000;
        double played = 0;
        rig.Output.FailText.clear();
        rig.Calibration.Start(request);
        played = rig.State.GeneratorFrequency;
        QCOMPARE(rig.State.FreqCalibrationL, 1.5);
        QVERIFY(std::abs(rig.State.FreqCalibrationR - 20) < 1e-9);
        QCOMPARE(rig.Output.Starts, 1);
        rig.Finished();
        QCOMPARE(played, 100.0); // back at the sweep's start frequency

        rig.Calibration.Reset();
        QCOMPARE(rig.State.FreqCalibrationL, 0.0);
        QCOMPARE(rig.State.FreqCalibrationR, 0.0);
        QCOMPARE(rig.Calibration.StateText(), QString("Nie skalibrowany"));
    }

    // The tone is read as a sweep point at its frequency is: a microphone file of +3 dB at 1 kHz
    // shifts no sweep point after a calibration at 1 kHz, and the point there reads 0 dB.
    void MicrophoneFileShiftsNoSweepPoint()
    {
        double points[2] = {};
        for (const bool withFile : {false, true}) {
            TRig rig(TMeasurementKind::FrequencyCharacteristic);
            rig.State.NoAveraging = true;
            if (withFile)
                rig.State.Microphone[0] = TMicrophoneCorrection({{1000, 3.0}});
            rig.BlockLevels(-23, -40);
            TCalibrationRequest request = Request(TCalibrationProcedure::ZeroAtFrequency);
            request.Frequency = 1000;
            rig.Calibration.Start(request);
            rig.Input.IsRunning = true; // a sweep of the same tone
            rig.State.GeneratorFrequency = 1000;
            rig.Meter.RefreshLevels();
            points[withFile] = rig.Chart.Series(0).Y(0);
        }
        QVERIFY(std::abs(points[0]) < 1e-9);
        QVERIFY(std::abs(points[1] - points[0]) < 1e-9);
    }

    // A steady tone is measured over many blocks: their energy mean, not the last block alone.
    void SteadyLevelIsTheEnergyMeanOfItsWindow()
    {
        TRig rig(TMeasurementKind::FrequencyCharacteristic);
        rig.State.ChannelMode = TChannelMode::Both;
        int blocks = 0;
        QTimer feeder;
        QObject::connect(&feeder, &QTimer::timeout, [&] {
            if (rig.Input.IsRunning)
                rig.Feed(++blocks % 2 ? 1000 : 2000, 1000);
        });
        feeder.start(5);
        TCalibrationRequest request = Request(TCalibrationProcedure::ZeroAtFrequency);
        request.Frequency = 20; // ten periods: half a second
        rig.Calibration.Start(request);
        QVERIFY(blocks > 20);
        const double mean = 10 * std::log10(2.5e6 / 1073676289.0); // of 1000^2 and 2000^2
        QVERIFY(std::abs(rig.State.FreqCalibrationL - (-mean - 3)) < 0.1);
        QVERIFY(std::abs(rig.State.FreqCalibrationR - (-10 * std::log10(1e6 / 1073676289.0) - 3)) <
                1e-5); // through a float sample
    }

    // A few blocks lost inside the sound server (silence in the input, no stream counting it) spoil
    // one window of the steady level, not the calibration.
    void AGlitchInOneWindowLeavesTheLevel()
    {
        TRig rig(TMeasurementKind::FrequencyCharacteristic);
        int blocks = 0;
        QTimer feeder;
        QObject::connect(&feeder, &QTimer::timeout, [&] {
            if (rig.Input.IsRunning)
                rig.Feed(++blocks >= 5 && blocks < 9 ? 0 : 1000, 1000);
        });
        feeder.start(5);
        TCalibrationRequest request = Request(TCalibrationProcedure::ZeroAtFrequency);
        request.Frequency = 1000;
        rig.Calibration.Start(request);
        QVERIFY(blocks > 9);
        QVERIFY(std::abs(rig.State.FreqCalibrationL - (-10 * std::log10(1e6 / 1073676289.0) - 3)) <
                1e-5); // through a float sample
    }

    // A sweep of 100 points from its own start frequency (wherever the generator was) ends on the
    // hundredth tick; the loudest block sets the offset, and the generator goes back to the sweep's start.
    void FindMaximumSweep()
    {
        TRig rig(TMeasurementKind::FrequencyCharacteristic);
        rig.State.CalibrationPointsCount = 100;
        rig.State.CalibrationStartFreq = 200;
        rig.State.StartFreq = 150;
        rig.State.GeneratorFrequency = 5000;
        TCalibrationRequest request = Request(TCalibrationProcedure::FindMaximum);
        request.TargetLevel = 94;
        rig.Calibration.Start(request);
        QCOMPARE(rig.Window.TimerInterval, 50);
        QVERIFY(rig.Window.Calibrating);
        std::vector<double> taken;
        for (int tick = 1; tick <= 100; ++tick) {
            QVERIFY(rig.Calibration.Running());
            taken.push_back(rig.State.GeneratorFrequency);
            rig.Feed(tick == 40 ? 3000 : 1000 + tick, 0);
            rig.Calibration.TimerTick();
        }
        rig.Finished();
        QCOMPARE(taken.front(), 200.0);
        QCOMPARE(taken.back(), TSweep::PointFrequency(200, 10000, 99, 100)); // the stop frequency
        QCOMPARE(rig.State.GeneratorFrequency, 150.0);
        QCOMPARE(rig.State.CalibrationPeakFrequencyL, taken[39]);
        const double level = 20 * std::log10(3000 / 32767.0);
        QVERIFY(std::abs(rig.State.FreqCalibrationL - (94 - level - 3)) < 1e-5); // through a float sample
        // The right channel heard nothing: it keeps its offset, and the user is told.
        QCOMPARE(rig.State.FreqCalibrationR, 0.0);
        QCOMPARE(rig.Window.Errors.size(), 0); // left only
    }

    // A channel that heard nothing keeps its offset, and the user learns why.
    void SilentChannelIsNotCalibrated()
    {
        TRig rig(TMeasurementKind::SoundPressure);
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.TimeCalibrationR = 7;
        rig.State.BlockMeanSquareL = 1000;
        rig.State.BlockMeanSquareR = 0;
        rig.Calibration.Start(Request(TCalibrationProcedure::ReferenceLevel));
        QVERIFY(std::abs(rig.State.TimeCalibrationL - (124 - 10 * std::log10(1000 / 1073676289.0) - 3)) <
                1e-9);
        QCOMPARE(rig.State.TimeCalibrationR, 7.0);
        QCOMPARE(rig.Window.Errors,
                 QStringList{"Brak sygnału w kanale prawym. Kalibracja tego kanału nie została wykonana."});
    }

    // A find-maximum sweep whose right channel heard nothing ends (timer and devices stopped) before it
    // says so: the message box's event loop would let the timer tick on and open one box after another.
    void SilentChannelEndsTheSweepBeforeTheMessage()
    {
        TRig rig(TMeasurementKind::FrequencyCharacteristic);
        rig.State.ChannelMode = TChannelMode::Both;
        rig.State.CalibrationPointsCount = 5;
        rig.State.CalibrationTime = 5;
        QTimer tmrKalibracja; // as the window runs it
        QObject::connect(&tmrKalibracja, &QTimer::timeout, [&] {
            if (rig.Window.TimerInterval > 0)
                rig.Calibration.TimerTick();
        });
        tmrKalibracja.start(5);
        bool stoppedFirst = false;
        rig.Window.OnError = [&] {
            stoppedFirst = rig.Window.TimerInterval == 0 && !rig.Input.IsRunning && !rig.Output.IsRunning;
            WaitProcessingEvents(100);
        };
        rig.Calibration.Start(Request(TCalibrationProcedure::FindMaximum));
        rig.Feed(1000, 0);
        QTRY_VERIFY(!rig.Calibration.Running());
        QTest::qWait(50);
        QCOMPARE(rig.Window.Errors,
                 QStringList{"Brak sygnału w kanale prawym. Kalibracja tego kanału nie została wykonana."});
        QVERIFY(stoppedFirst);
        // The left channel is calibrated all the same: its block of 1000s reads the target of 0 dB.
        QVERIFY(std::abs(rig.State.FreqCalibrationL - (-10 * std::log10(1e6 / 1073676289.0) - 3)) <
                1e-5); // through a float sample
        QCOMPARE(rig.State.FreqCalibrationR, 0.0);
    }
};

QTEST_GUILESS_MAIN(TestCalibration)
#include "test_calibration.moc"
