// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeasureTestSupport.h"
#include "audio/AudioIO.h"
#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/RecordingControl.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <vector>

namespace {

struct TFakeClock final : IClock
{
    std::int64_t Now = 0; // ms
    std::int64_t Counter() const override { return Now; }
    std::int64_t CounterFrequency() const override { return 1000; }
    QTime TimeOfDay() const override { return QTime(23, 59, 50).addMSecs(int(Now % 86'400'000)); }
};

struct TFakeWindow final : IRecordingWindow, ISweepAdditions
{
    QString Status[5];
    QString Clock, StartCaption = "&Start", OtherText = "Inny";
    bool ButtonToStop = false, MenuToStop = false, StartEnabled = true, PauseEnabled = false;
    bool KindsEnabled = true, OptionsEnabled = true, SeriesMenusEnabled = true, MemoryReleaseEnabled = false;
    bool ZoomAllowed = true, Blinking = false, TimeAuto = false, QueueEmpty = true;
    int TickInterval = 0, Item = 0, ReadoutsBlack = 0;
    double TimeMin = 0, TimeMax = 0, LevelMin = 0, LevelMax = 0, PeakL = 1, PeakR = 1;
    QStringList Errors;
    std::vector<int> Reports;
    bool DialogAnswer = false;
    double DialogValue = 0;
    int Dialogs = 0;
    bool SweepGoesOn = true;
    std::vector<TStopSender> SweepStops;
    std::function<void()> DuringWait; // runs once while the start button is disabled
    std::function<void()> EveryWait;  // runs in every wait, first
    bool AveragingEnabled = true;

    QString StatusText(int panel) const override { return Status[panel]; }
    void SetStatusText(int panel, const QString& text) override { Status[panel] = text; }
    void SetClockText(const QString& text) override { Clock = text; }
    void BindStartButton(bool toStop) override
    {
        ButtonToStop = toStop;
        StartCaption = toStop ? "&Stop" : "&Start";
    }
    void BindStartMenuItem(bool toStop) override { MenuToStop = toStop; }
    void SetStartCaption(const QString& caption) override { StartCaption = caption; }
    void SetStartEnabled(bool enabled) override
    {
        StartEnabled = enabled;
        if (!enabled && EveryWait)
            QTimer::singleShot(0, EveryWait);
        if (!enabled && DuringWait)
            QTimer::singleShot(10, std::exchange(DuringWait, nullptr));
    }
    void SetPauseEnabled(bool enabled) override { PauseEnabled = enabled; }
    void SetKindAndCalibrationEnabled(bool enabled) override { KindsEnabled = enabled; }
    void SetOptionsEnabled(bool enabled) override { OptionsEnabled = enabled; }
    void SetSeriesMenusEnabled(bool enabled) override { SeriesMenusEnabled = enabled; }
    void SetMemoryReleaseEnabled(bool enabled) override { MemoryReleaseEnabled = enabled; }
    void SetZoomAllowed(bool allowed) override { ZoomAllowed = allowed; }
    void SetReadoutsBlack() override { ++ReadoutsBlack; }
    void SetTickInterval(int milliseconds) override { TickInterval = milliseconds; }
    void SetPauseBlinking(bool on) override { Blinking = on; }
    void SetTimeAxisRange(double minimum, double maximum) override
    {
        TimeAuto = false;
        TimeMin = minimum;
        TimeMax = maximum;
    }
    void SetTimeAxisAutoRange(bool on) override { TimeAuto = on; }
    void SetLevelAxisRange(double minimum, double maximum) override
    {
        LevelMin = minimum;
        LevelMax = maximum;
    }
    void ShowError(const QString& text) override { Errors << text; }
    bool AcquisitionQueueEmpty() const override { return QueueEmpty; }
    void StoreChannelPeakLevels(double left, double right) override
    {
        PeakL = left;
        PeakR = right;
    }
    void ShowReport(int series) override { Reports.push_back(series); }
    int AveragingItem() const override { return Item; }
    void SetAveragingItem(int item) override { Item = item; }
    void SetAveragingEnabled(bool enabled) override { AveragingEnabled = enabled; }
    void SetOtherAveragingText(const QString& text) override { OtherText = text; }
    bool AskAveragingTime(double& seconds) override
    {
        ++Dialogs;
        if (DialogAnswer)
            seconds = DialogValue;
        return DialogAnswer;
    }
    bool PrepareStart(bool) override { return SweepGoesOn; }
    void RecordConditions() override {}
    void Finish(TStopSender sender) override { SweepStops.push_back(sender); }
};

struct TFakeSink final : IAcquisitionSink
{
    std::vector<double> Values;
    std::vector<std::pair<std::size_t, unsigned>> Overloads; // tick, channels
    void Enqueue(double value) override { Values.push_back(value); }
    void MarkOverload(unsigned channels) override { Overloads.emplace_back(Values.size() / 3 - 1, channels); }
};

// The meter's side of the window forwards the clock panel to the control, as the main window does.
struct TMeterWindow final : IMeterWindow
{
    TFakeWindow& Recording;
    TRecordingControl* Control = nullptr;
    int ReadoutChanges = 0;

    explicit TMeterWindow(TFakeWindow& recording) : Recording(recording) {}
    void SetReadoutText(int, const QString&) override { ++ReadoutChanges; }
    void SetReadoutRed(int channel, bool red) override { Red[channel] = red; }
    void Beep() override {}
    bool StartButtonEnabled() const override { return Recording.StartEnabled; }
    bool Red[2] = {false, false};
    void SetLevelAxisRange(double minimum, double maximum) override
    {
        Recording.SetLevelAxisRange(minimum, maximum);
    }
    void SetTimeAxisAutomatic() override { Recording.SetTimeAxisAutoRange(true); }
    int ActiveSeries() const override { return 0; }
    void UpdateClockPanel() override { Control->UpdateClockPanel(); }
    void SweepStep() override {}
};

// The control and the real level meter over fakes: the clock only moves when a test moves it.
struct TRig
{
    TMeasurementState State;
    TFakeDevice Input, Output;
    TChartModel Chart;
    TFakeWindow Window;
    TFakeClock Clock;
    TFakeSink Sink;
    TMeterWindow MeterWindow{Window};
    TRecordingControl Control{State, Input, Output, Chart, Window, Window, Clock};
    TLevelMeter Meter{State, Input, Chart, Sink, MeterWindow, Clock};
    std::vector<float> Block = std::vector<float>(1500 * 2);

    TRig()
    {
        State.CounterFrequency = 1000;
        State.MeasurementDelay = 0;
        MeterWindow.Control = &Control;
        Chart.SetVisible(LeftChannelSeries, true);
        Chart.SetVisible(RightChannelSeries, true);
        // The blocks of the meter's own start, which the recording waits for.
        Window.EveryWait = [this] {
            for (int blocks = 0; !State.MeterReady && Input.Running() && blocks < 100; ++blocks)
                FeedBlock();
        };
    }
    // A timer tick ms milliseconds after the last one.
    void TickAfter(int ms)
    {
        Clock.Now += ms;
        Meter.Tick();
    }
    void FeedBlock()
    {
        int size = int(Block.size());
        Meter.AnalyseBlock(Block.data(), size);
    }
};

// The control and the meter on the virtual sound card: real wave components in real time.
struct TCardRig
{
    TMeasurementState State;
    TAudioIn AudioIn;
    TAudioOut AudioOut;
    TWaveDeviceOf<TAudioIn> Input{AudioIn};
    TWaveDeviceOf<TAudioOut> Output{AudioOut};
    TChartModel Chart;
    TFakeWindow Window;
    TFakeSink Sink;
    TMeterWindow MeterWindow{Window};
    TRecordingControl Control{State, Input, Output, Chart, Window, Window};
    TLevelMeter Meter{State, Input, Chart, Sink, MeterWindow};
    int Blocks = 0, BlocksMeasured = 0;

    TCardRig(int frames, double speed)
    {
        TDeviceServices::UseVirtualCardOnly(true);
        TDeviceServices::VirtualCard().RestoreDefaults();
        TDeviceServices::VirtualCard().SetSpeed(speed);
        AudioIn.SetStereo(true);
        AudioIn.SetQuantization(16);
        AudioIn.SetFrameRate(48000);
        AudioIn.SetBufferSize(frames * 4);
        AudioOut.SetFrameRate(48000);
        AudioOut.SetQuantization(16);
        AudioOut.SetBufferSize(frames * 2);
        AudioIn.OnBufferFilled = [this](float* buffer, int& size) {
            ++Blocks;
            BlocksMeasured += Window.StartEnabled ? 1 : 0;
            return Meter.AnalyseBlock(buffer, size);
        };
        AudioOut.OnFillBuffer = [](float* buffer, int& size) {
            std::fill(buffer, buffer + size, 0);
            return true;
        };
        State.CounterFrequency = ProgramClock().CounterFrequency();
        State.MeasurementDelay = 100;
        MeterWindow.Control = &Control;
        Chart.SetVisible(LeftChannelSeries, true);
    }
    ~TCardRig()
    {
        Control.Stop(TStopSender::None);
        TDeviceServices::VirtualCard().RestoreDefaults();
    }
};

} // namespace

class TestRecordingControl : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { NumberFormat::SetDecimalSeparator(QChar()); }

    void startAndStopBindTheControlsAndTimeTheRecording()
    {
        TRig rig;
        rig.Chart.Append(LeftChannelSeries, 1, -40);
        rig.Window.QueueEmpty = false;
        rig.State.PeakMaxL = 500;
        rig.Clock.Now = 5000;
        rig.Control.Start();

        QVERIFY(rig.Chart.Series(LeftChannelSeries).Empty()); // a fresh start clears the channel series
        QCOMPARE(rig.Window.Status[0], QString("Pomiar"));
        QVERIFY(rig.Window.ButtonToStop && rig.Window.MenuToStop && rig.Window.StartEnabled);
        QVERIFY(!rig.Window.KindsEnabled && !rig.Window.ZoomAllowed && rig.Window.PauseEnabled);
        QCOMPARE(rig.Window.TickInterval, 250);
        QCOMPARE(rig.State.StartCount, std::int64_t(5000));
        QCOMPARE(rig.State.PeakMaxL, 0);
        QVERIFY(!rig.State.ResultsSaved);
        QCOMPARE(rig.Output.Starts, 0); // a recording plays nothing

        rig.TickAfter(250);
        rig.TickAfter(250);
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 2);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).X(1), 0.5);

        rig.Control.Stop(TStopSender::Action);
        QVERIFY(!rig.Input.Running());
        QCOMPARE(rig.Window.Status[0], QString("Pomiar zatrzymany"));
        QCOMPARE(rig.Window.TickInterval, 0);
        QVERIFY(!rig.Window.ButtonToStop && !rig.Window.MenuToStop && !rig.Window.PauseEnabled);
        QVERIFY(rig.Window.KindsEnabled && rig.Window.OptionsEnabled && rig.Window.ZoomAllowed);
        QCOMPARE(rig.Window.StartCaption, QString("&Start"));
        QVERIFY(!rig.State.ResultsSaved); // values still in the queue

        rig.Window.QueueEmpty = true;
        rig.Control.Start();
        rig.Control.Stop(TStopSender::Action);
        QVERIFY(rig.State.ResultsSaved);
    }

    // The meter starts from rest on the signal during the wait, with the chosen time constant, and
    // the recording waits for its start to end: with a delay of 0 too, where no block came yet.
    void settlingWaitPumpsEventsStartsTheMeterAndNoTicks()
    {
        for (const int delay : {120, 0}) {
            TRig rig;
            rig.State.MeasurementDelay = delay;
            rig.State.AveragingTime = 1.0;
            bool startDuringWait = false, startEnabledDuringWait = true;
            const auto feed = rig.Window.EveryWait;
            rig.Window.EveryWait = [&] {
                startDuringWait = rig.State.StartMeter; // events pumped, and the start asked for
                startEnabledDuringWait = rig.Window.StartEnabled;
                feed();
            };
            QElapsedTimer timer;
            timer.start();
            rig.Control.Start();
            QVERIFY(timer.elapsed() >= delay - 10);
            QVERIFY(startDuringWait);
            QVERIFY(!startEnabledDuringWait);
            QVERIFY(rig.State.MeterReady);
            QCOMPARE(rig.State.AveragingTime, 1.0);
            QVERIFY(rig.Window.StartEnabled);
        }
    }

    // One time weighting per result: the list and F4 are locked from the start until the stop, and
    // through a pause; "Zeruj czas" in a pause ends the recording's claim.
    void averagingIsLockedThroughTheRecording()
    {
        TRig rig;
        rig.Window.Item = 1; // F
        rig.Control.AveragingChanged(false);
        rig.Control.Start();
        QVERIFY(!rig.Window.AveragingEnabled);
        rig.Window.Item = 0;
        rig.Control.AveragingChanged(false); // refused: the list goes back
        QCOMPARE(rig.Window.Item, 1);
        QCOMPARE(rig.State.AveragingTime, 0.125);
        rig.Control.StepAveraging();
        QCOMPARE(rig.State.AveragingTime, 0.125);
        rig.TickAfter(250);
        rig.Control.Pause();
        QVERIFY(!rig.Window.AveragingEnabled);
        rig.Control.StepAveraging();
        QCOMPARE(rig.State.AveragingTime, 0.125);
        rig.Control.ResetTime();
        QVERIFY(rig.Window.AveragingEnabled);
        rig.Control.StepAveraging(); // F -> I
        QVERIFY(rig.State.ImpulseWeighting);
    }

    void stopOrLostDeviceDuringTheSettlingWaitLeavesNoTimerRunning()
    {
        for (const bool lost : {false, true}) {
            TRig rig;
            rig.State.MeasurementDelay = 50;
            rig.State.PeakMaxL = 100;
            rig.Window.DuringWait = [&] {
                if (lost)
                    rig.Input.IsRunning = false;
                else
                    rig.Control.Stop(TStopSender::Action);
            };
            rig.Control.Start();
            QCOMPARE(rig.Window.TickInterval, 0);
            QCOMPARE(rig.Window.Status[0], QString("Pomiar zatrzymany"));
            QVERIFY(!rig.Window.ButtonToStop && !rig.Window.MenuToStop && rig.Window.KindsEnabled);
        }
    }

    void pauseDuringTheSettlingWaitPausesAtTheOrigin()
    {
        TRig rig;
        rig.State.ElapsedTime = 42; // left by an earlier recording
        rig.State.MeasurementDelay = 50;
        rig.Window.DuringWait = [&] { rig.Control.Pause(); };
        rig.Control.Start();
        QVERIFY(rig.State.RecordingPaused);
        QCOMPARE(rig.State.PauseOffset, 0.0);
        QCOMPARE(rig.Window.TickInterval, 0);
    }

    void startFailuresShowTheReasonAndStop()
    {
        {
            TRig rig;
            rig.Input.FailText = "Error opening wave record: no device";
            rig.State.StartCount = 77;
            rig.Control.Start();
            QCOMPARE(rig.Window.Errors, QStringList{"Error opening wave record: no device"});
            QVERIFY(rig.State.InputStartFailed);
            QCOMPARE(rig.State.StartCount, std::int64_t(77)); // no clock or counter is set
            QCOMPARE(rig.Window.Status[0], QString("Pomiar zatrzymany"));
            QVERIFY(!rig.Window.ButtonToStop && rig.Window.KindsEnabled && rig.Window.StartEnabled);
            QVERIFY(rig.Window.Reports.empty()); // the program's own stop shows no report
        }
        {
            TRig rig;
            rig.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
            rig.Output.FailText = "device busy";
            rig.Control.Start();
            QCOMPARE(rig.Window.Errors,
                     QStringList{"Nie można uruchomić urządzenia wyjściowego: \rdevice busy"});
            QVERIFY(rig.State.OutputStartFailed && !rig.State.InputStartFailed);
            QCOMPARE(rig.Input.Starts, 1); // the input was started, then the stop ran
            QVERIFY(!rig.Input.Running());
            QCOMPARE(rig.Window.SweepStops, std::vector<TStopSender>{TStopSender::None});
            QVERIFY(!rig.Window.ButtonToStop);
        }
        {
            TRig rig; // a cancelled series choice cancels the whole start
            rig.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
            rig.Window.SweepGoesOn = false;
            rig.Control.Start();
            QCOMPARE(rig.Input.Starts + rig.Output.Starts, 0);
            QVERIFY(!rig.Window.ButtonToStop && rig.Window.SweepStops.empty());
        }
    }

    void peakLevelsAndReports()
    {
        TRig rig;
        rig.State.Preferences.ShowRaport = true;
        rig.Control.Start();
        rig.Control.Stop(TStopSender::Action); // silence: the meter's floor, not full scale
        QCOMPARE(rig.Window.PeakL, TLevelMeter::SilenceLevel);
        QCOMPARE(rig.Window.PeakR, TLevelMeter::SilenceLevel);
        QCOMPARE(rig.Window.Reports, std::vector<int>{LeftChannelSeries});

        rig.Window.Reports.clear();
        rig.State.ChannelMode = TChannelMode::Both;
        rig.Control.Start();
        rig.State.PeakMaxL = 16384;
        rig.State.PeakMinR = -3277; // not folded in by a tick yet
        rig.Control.Stop(TStopSender::Window);
        QVERIFY(std::abs(rig.Window.PeakL - 20 * std::log10(0.5)) < 1e-12);
        QVERIFY(std::abs(rig.Window.PeakR - 20 * std::log10(3277 / 32768.0)) < 1e-12);
        QCOMPARE(rig.Window.Reports, (std::vector<int>{LeftChannelSeries, RightChannelSeries}));

        rig.Window.Reports.clear();
        rig.Control.Start();
        rig.Control.Stop(TStopSender::None);
        QVERIFY(rig.Window.Reports.empty());
    }

    void pauseBlinksAndContinueCarriesTheTimeLineOn()
    {
        TRig rig;
        rig.State.AcquisitionOn = true;
        rig.Control.Start();
        for (int tick = 0; tick < 12; ++tick)
            rig.TickAfter(250); // 3 s
        QCOMPARE(rig.Window.Clock, QString("Czas: 00:00:03s"));

        rig.Control.Pause();
        QVERIFY(rig.State.RecordingPaused && rig.Window.Blinking);
        QCOMPARE(rig.State.PauseOffset, 3.0);
        QCOMPARE(rig.Window.Status[0], QString("Pauza"));
        QCOMPARE(rig.Window.StartCaption, QString("&Kontynuuj"));
        QVERIFY(!rig.Window.KindsEnabled && !rig.Window.SeriesMenusEnabled && !rig.Window.PauseEnabled);
        QCOMPARE(rig.Window.TimeMin, 1.0); // the last ChartTimeScope seconds before the pause
        QCOMPARE(rig.Window.TimeMax, 3.0);

        rig.Control.PauseBlink();
        QCOMPARE(rig.Window.Status[0], QString());
        QCOMPARE(rig.Window.StartCaption, QString());
        rig.Control.PauseBlink();
        QCOMPARE(rig.Window.Status[0], QString("Pauza"));
        QCOMPARE(rig.Window.StartCaption, QString("&Kontynuuj"));

        const int pointsBefore = rig.Chart.Series(LeftChannelSeries).Count();
        rig.Clock.Now += 60'000; // a minute's pause
        rig.Control.Start();
        QVERIFY(!rig.State.RecordingPaused && !rig.Window.Blinking);
        QVERIFY(rig.Window.SeriesMenusEnabled);                              // the pause's lock ends with it
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), pointsBefore); // kept
        rig.TickAfter(250);
        QCOMPARE(rig.State.ElapsedTime, 3.25);
        const TChartSeriesData& left = rig.Chart.Series(LeftChannelSeries);
        QCOMPARE(left.X(left.Count() - 1), 3.25);
        QCOMPARE(rig.Window.Clock, QString("Czas: 00:00:03s"));
        QCOMPARE(rig.Sink.Values[rig.Sink.Values.size() - 3], 3.25); // acquired times carry on too
        for (int tick = 0; tick < 8; ++tick)
            rig.TickAfter(250);
        QCOMPARE(rig.Window.Clock, QString("Czas: 00:00:05s"));

        rig.Control.Stop(TStopSender::Action);
        QCOMPARE(rig.State.PauseOffset, 0.0);
        QCOMPARE(rig.Window.Status[0], QString("Pomiar zatrzymany"));
    }

    void resetTimeInAPauseMakesTheNextStartFresh()
    {
        TRig rig;
        rig.Control.Start();
        rig.TickAfter(250);
        rig.TickAfter(250);
        rig.Control.Pause();
        rig.Control.ResetTime();
        QCOMPARE(rig.State.PauseOffset, 0.0);
        QVERIFY(rig.Chart.Series(LeftChannelSeries).Empty());
        QCOMPARE(rig.Window.TimeMin, 0.0);
        QCOMPARE(rig.Window.TimeMax, 2.0);

        rig.Clock.Now += 1000;
        rig.Control.Start();
        QVERIFY(!rig.State.RecordingPaused && !rig.Window.Blinking);
        QVERIFY(rig.Window.SeriesMenusEnabled); // the pause's lock ends with it
        rig.TickAfter(250);
        QCOMPARE(rig.State.ElapsedTime, 0.25);
        rig.Control.Stop(TStopSender::Action);
        QCOMPARE(rig.Window.Status[0], QString("Pomiar zatrzymany")); // not taken for a pause
        QCOMPARE(rig.Window.StartCaption, QString("&Start"));
    }

    // The statistics count the blocks of the recording from its start: not those of the settling wait
    // nor any after the stop, and a continue adds to them while a fresh start begins anew.
    void statisticsCountTheRecordedBlocksOnly()
    {
        TRig rig;
        const double block = 1500 / 48000.0;
        rig.State.MeasurementDelay = 30;
        rig.Window.DuringWait = [&] { rig.FeedBlock(); };
        rig.Control.Start();
        QCOMPARE(rig.State.Statistics.Duration(), 0.0);
        rig.FeedBlock();
        rig.FeedBlock();
        QCOMPARE(rig.State.Statistics.Duration(), 2 * block);

        rig.TickAfter(250);
        rig.Control.Pause();
        rig.FeedBlock();
        rig.Control.Start();
        rig.FeedBlock();
        QCOMPARE(rig.State.Statistics.Duration(), 3 * block);

        rig.Control.Stop(TStopSender::Action);
        rig.FeedBlock();
        QCOMPARE(rig.State.Statistics.Duration(), 3 * block);
        rig.Control.Start();
        rig.FeedBlock();
        QCOMPARE(rig.State.Statistics.Duration(), block);
    }

    // An overload stays on record for the whole recording, its channel only: the read-out stays red
    // through later refreshes and a pause, the acquired tick says so, and a fresh start clears it.
    void overloadIsKeptThroughTheRecording()
    {
        TRig rig;
        rig.State.DisplayTimeRefresh = 1;
        rig.Control.SetAcquisition(true);
        rig.Control.Start();
        rig.Block[100] = -1.0f; // left
        rig.FeedBlock();
        rig.Block[100] = 0;
        rig.TickAfter(250);
        rig.FeedBlock();
        rig.TickAfter(250);
        QVERIFY(rig.MeterWindow.Red[0] && !rig.MeterWindow.Red[1]);
        QCOMPARE(rig.Sink.Overloads, (std::vector<std::pair<std::size_t, unsigned>>{{0, 1u}}));
        rig.Control.Pause();
        rig.Control.Start(); // "Kontynuuj"
        rig.FeedBlock();
        rig.TickAfter(250);
        QVERIFY(rig.State.Statistics.Channel(0).Overload && !rig.State.Statistics.Channel(1).Overload);
        QVERIFY(rig.MeterWindow.Red[0]);
        rig.Control.Stop(TStopSender::Action);
        rig.Control.Start();
        rig.FeedBlock();
        rig.TickAfter(250);
        QVERIFY(!rig.State.Statistics.Channel(0).Overload && !rig.MeterWindow.Red[0]);
    }

    void acquisitionSwitchAndThreeValuesATick()
    {
        TRig rig;
        rig.Control.SetAcquisition(true); // idle: nothing to announce yet
        QVERIFY(rig.State.AcquisitionOn && !rig.Window.MemoryReleaseEnabled);
        QCOMPARE(rig.Window.Status[4], QString());

        rig.Control.Start();
        QCOMPARE(rig.Window.Status[4], QString("Zapis danych do pamięci"));
        QVERIFY(rig.Window.MemoryReleaseEnabled);
        rig.State.TimeCalibrationR = -7;
        rig.TickAfter(250);
        rig.TickAfter(250);
        QCOMPARE(rig.Sink.Values.size(), std::size_t(6));
        QCOMPARE(rig.Sink.Values[3], 0.5);
        QCOMPARE(rig.Sink.Values[4], rig.Chart.Series(LeftChannelSeries).Y(1));
        QCOMPARE(rig.Sink.Values[5], rig.Chart.Series(RightChannelSeries).Y(1));

        rig.Control.SetAcquisition(false);
        QCOMPARE(rig.Window.Status[4], QString());
        rig.TickAfter(250);
        QCOMPARE(rig.Sink.Values.size(), std::size_t(6));
        rig.Control.SetAcquisition(true);
        QCOMPARE(rig.Window.Status[4], QString("Zapis danych do pamięci"));
        rig.Control.Stop(TStopSender::Action);
        QCOMPARE(rig.Window.Status[4], QString());
    }

    void intervalZeroTakesOnePointABlockOnlyAfterTheWait()
    {
        TRig rig;
        rig.State.ChartTimeRefresh = 0;
        rig.State.MeasurementDelay = 30;
        int blocksDuringWait = 0;
        rig.Window.DuringWait = [&] {
            rig.FeedBlock();
            ++blocksDuringWait;
        };
        rig.Control.Start();
        QCOMPARE(blocksDuringWait, 1);
        QVERIFY(rig.Chart.Series(LeftChannelSeries).Empty()); // no points while settling
        QCOMPARE(rig.Window.TickInterval, 0);                 // the timer stays idle
        for (int block = 0; block < 5; ++block)
            rig.FeedBlock();
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 5);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).Count(), 5);
    }

    void readoutsChangeOnEveryDisplayTimeRefreshTick()
    {
        TRig rig;
        rig.State.DisplayTimeRefresh = 4;
        rig.Control.Start();
        for (int tick = 0; tick < 9; ++tick)
            rig.TickAfter(250);
        QCOMPARE(rig.MeterWindow.ReadoutChanges, 3 * 2); // ticks 1, 5 and 9, two read-outs each
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 9);
    }

    void averagingChoiceAndF4()
    {
        TRig rig;
        NumberFormat::SetDecimalSeparator(',');
        rig.Window.Item = 1;
        rig.Control.AveragingChanged(false);
        QCOMPARE(rig.State.AveragingTime, 0.125);
        QCOMPARE(rig.Window.OtherText, QString("Inny: 0,125s"));

        rig.Control.StepAveraging(); // F -> I, the impulse weighting
        QCOMPARE(rig.Window.Item, 2);
        QCOMPARE(rig.State.AveragingTime, 0.035);
        QVERIFY(rig.State.ImpulseWeighting);
        rig.Control.StepAveraging(); // I -> S
        QCOMPARE(rig.Window.Item, 0);
        QCOMPARE(rig.State.AveragingTime, 1.0);
        QVERIFY(!rig.State.ImpulseWeighting);
        QCOMPARE(rig.Window.OtherText, QString("Inny: 1s"));

        rig.Window.Item = 4; // "Brak": the time and the "Inny" text stay
        rig.Control.AveragingChanged(false);
        QVERIFY(rig.State.NoAveraging);
        QCOMPARE(rig.State.AveragingTime, 1.0);
        QCOMPARE(rig.Window.OtherText, QString("Inny: 1s"));
        rig.Control.StepAveraging();
        QCOMPARE(rig.Window.Item, 4);
        QVERIFY(rig.State.NoAveraging);

        NumberFormat::SetDecimalSeparator('.');
        rig.Window.Item = 3;
        rig.Control.AveragingChanged(true); // applying stored settings: no dialog
        QCOMPARE(rig.Window.Dialogs, 0);
        QVERIFY(!rig.State.NoAveraging);
        QCOMPARE(rig.Window.OtherText, QString("Inny: 1s"));
        rig.Window.DialogAnswer = true;
        rig.Window.DialogValue = 2.5;
        rig.Control.AveragingChanged(false);
        QCOMPARE(rig.State.AveragingTime, 2.5);
        QCOMPARE(rig.Window.OtherText, QString("Inny: 2.5s"));
        QCOMPARE(rig.Window.Item, 3);
        rig.Window.DialogValue = std::nan("");
        rig.Control.AveragingChanged(false); // never a NaN time constant
        QCOMPARE(rig.State.AveragingTime, 2.5);
        rig.Control.StepAveraging();
        QCOMPARE(rig.Window.Item, 3);
    }

    void levelAxisFollowsTheVisibleChannelSeries()
    {
        TRig rig;
        rig.State.TimeAutoLevelScale = true;
        rig.State.LevelExcess = 5;
        rig.Control.SetUpAxes(true);
        QCOMPARE(rig.Window.LevelMin, -95.0); // no data: -90 and 0, widened
        QCOMPARE(rig.Window.LevelMax, 5.0);

        rig.Chart.Append(LeftChannelSeries, 0, -60.5);
        rig.Chart.Append(LeftChannelSeries, 1, -19.5);
        rig.Chart.Append(RightChannelSeries, 0, -100);
        rig.Chart.SetVisible(RightChannelSeries, false);
        rig.Control.SetUpAxes(true);
        QCOMPARE(rig.Window.LevelMin, -66.0); // -65.5 and -14.5, halves to even
        QCOMPARE(rig.Window.LevelMax, -14.0);

        rig.State.LevelExcess = 0;
        rig.Chart.SetVisible(RightChannelSeries, true);
        rig.Control.SetUpAxes(true);
        QCOMPARE(rig.Window.LevelMin, -100.0);
        QCOMPARE(rig.Window.LevelMax, -19.5);

        rig.State.TimeAutoLevelScale = false;
        rig.State.TimeLevelScaleMinimum = -80;
        rig.State.TimeLevelScaleMaximum = -10;
        rig.Control.SetUpAxes(true);
        QCOMPARE(rig.Window.LevelMin, -80.0);
        QCOMPARE(rig.Window.LevelMax, -10.0);
    }

    void timeAxisSetUp()
    {
        TRig rig;
        rig.Window.TimeMin = rig.Window.TimeMax = -1;
        rig.Control.SetUpAxes(true); // an action leaves the time axis alone
        QCOMPARE(rig.Window.TimeMax, -1.0);
        rig.State.TimeAutoScale = false;
        rig.State.TimeScaleMinimum = 1;
        rig.State.TimeScaleMaximum = 7.5;
        rig.Control.SetUpAxes(false);
        QCOMPARE(rig.Window.TimeMin, 1.0);
        QCOMPARE(rig.Window.TimeMax, 7.5);

        rig.State.TimeAutoScale = true;
        rig.State.ChartTimeScope = 5;
        rig.Control.Start();
        for (int tick = 0; tick < 40; ++tick) // 10 s
            rig.TickAfter(250);
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 21);

        rig.State.ChartTimeScope = 2; // narrower: trimmed at once
        rig.Control.SetUpAxes(false);
        const TChartSeriesData& left = rig.Chart.Series(LeftChannelSeries);
        const TChartSeriesData& right = rig.Chart.Series(RightChannelSeries);
        QCOMPARE(left.MinX(), 8.0);
        QCOMPARE(right.MinX(), 8.0);
        QVERIFY(rig.Window.TimeAuto);

        rig.State.ChartTimeScope = 3; // wider: filled in front with the first value, a step at a time
        rig.Control.SetUpAxes(false);
        QCOMPARE(left.MinX(), 7.0);
        QCOMPARE(left.Count(), 13);
        QCOMPARE(left.Y(0), left.Y(4));
        QCOMPARE(right.MinX(), 7.0);

        rig.Chart.Clear(RightChannelSeries);
        rig.Chart.Append(RightChannelSeries, 10, -50); // one point: no widening, and no endless loop
        rig.State.ChartTimeScope = 8;
        rig.Control.SetUpAxes(false);
        QCOMPARE(left.Count(), 13);
        rig.Chart.Append(RightChannelSeries, 10, -50); // a step of 0 cannot widen either
        rig.Control.SetUpAxes(false);
        QCOMPARE(left.Count(), 13);

        rig.Chart.Clear(LeftChannelSeries);
        rig.Chart.Append(LeftChannelSeries, 1, -50); // younger than the scope: 0 to the scope
        rig.Control.SetUpAxes(false);
        QCOMPARE(rig.Window.TimeMin, 0.0);
        QCOMPARE(rig.Window.TimeMax, 8.0);
    }

    void clockPanel()
    {
        QCOMPARE(TRecordingControl::ClockText(65'000), QString("Czas: 00:01:05s"));
        TRig rig; // the fake clock starts ten seconds before midnight
        rig.Control.Start();
        rig.Clock.Now = 3'725'000;
        rig.Control.UpdateClockPanel();
        QCOMPARE(rig.Window.Clock, QString("Czas: 01:02:05s"));

        NumberFormat::SetDecimalSeparator(',');
        rig.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
        rig.State.GeneratorFrequency = 1234.567;
        rig.Control.UpdateClockPanel();
        QCOMPARE(rig.Window.Clock, QString("Częst.: 1234,57 Hz"));
    }

    void anHourWithTheSlidingWindowKeepsTheSeriesAtTheWindowSize()
    {
        TRig rig;
        rig.State.AcquisitionOn = true;
        rig.Control.Start();
        for (int tick = 0; tick < 4 * 600; ++tick) // ten minutes, past the series' first compaction
            rig.TickAfter(250);
        const std::size_t settled = rig.Chart.Series(LeftChannelSeries).CapacityBytes();
        for (int tick = 0; tick < 4 * 3600; ++tick) {
            rig.FeedBlock();
            rig.TickAfter(250);
            QVERIFY(rig.Chart.Series(LeftChannelSeries).Count() <= 9);
        }
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), 9);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).Count(), 9);
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).CapacityBytes(), settled);
        QCOMPARE(rig.Chart.Series(RightChannelSeries).CapacityBytes(), settled);
        QCOMPARE(rig.Sink.Values.size(), std::size_t(3 * 4 * 4200)); // only the queue grows
        QCOMPARE(rig.Window.Clock, QString("Czas: 01:10:00s"));
    }

    void recordsOnTheVirtualCardOnePointABlock()
    {
        TCardRig rig(1500, 5);
        rig.State.ChartTimeRefresh = 0;
        rig.State.AcquisitionOn = true;
        rig.Control.Start();
        QVERIFY(rig.AudioIn.Running());
        QVERIFY(rig.Blocks > rig.BlocksMeasured); // blocks flowed through the settling wait
        QCOMPARE(rig.Window.TickInterval, 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.BlocksMeasured >= 200, 10000);
        rig.Control.Stop(TStopSender::Action);
        QCOMPARE(rig.Chart.Series(LeftChannelSeries).Count(), rig.BlocksMeasured);
        QCOMPARE(rig.Sink.Values.size(), std::size_t(3 * rig.BlocksMeasured));
        const TChartSeriesData& left = rig.Chart.Series(LeftChannelSeries);
        QVERIFY(std::isfinite(left.MinY()) && left.MinY() > TLevelMeter::SilenceLevel);
        QVERIFY(left.MaxY() < 0); // the ambient sound is quiet
        QVERIFY(!rig.AudioIn.Running());
        QCOMPARE(rig.Window.Status[0], QString("Pomiar zatrzymany"));
    }

    void startFailuresOnTheVirtualCard()
    {
        {
            TCardRig rig(1500, 1);
            TDeviceServices::VirtualCard().RefuseOpen("the card is gone");
            rig.Control.Start();
            QCOMPARE(rig.Window.Errors.size(), 1);
            QVERIFY(rig.Window.Errors[0].contains("the card is gone"));
            QVERIFY(!rig.Window.Errors[0].startsWith(OutputFailurePrefix));
            QVERIFY(rig.State.InputStartFailed && !rig.AudioIn.Running());
            QCOMPARE(rig.Window.Status[0], QString("Pomiar zatrzymany"));
        }
        {
            TCardRig rig(1500, 1);
            rig.State.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
            TDeviceServices::VirtualCard().RefuseOpen("no output");
            rig.Control.Start();
            QCOMPARE(rig.Window.Errors.size(), 2); // the output's, then the input's
            QVERIFY(rig.Window.Errors[0].startsWith("Nie można uruchomić urządzenia wyjściowego: \r"));
            QVERIFY(rig.Window.Errors[0].contains("no output"));
            QVERIFY(!rig.AudioIn.Running() && !rig.AudioOut.Running());
            QCOMPARE(rig.Window.SweepStops.size(), std::size_t(1));
        }
    }
};

QTEST_MAIN(TestRecordingControl)
#include "test_recording_control.moc"
