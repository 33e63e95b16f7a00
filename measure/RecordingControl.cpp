// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/RecordingControl.h"

#include "audio/AudioIO.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int MillisecondsPerDay = 86'400'000;
constexpr int AveragingItemCount = 3; // the items F4 steps through: S, F, I
constexpr double AveragingTimes[AveragingItemCount] = {1.0, 0.125, 0.035};
constexpr double NoDataLevelMinimum = -90.0, NoDataLevelMaximum = 0.0;
constexpr int MeterStartLimit = 5000, MeterStartPoll = 5; // ms

const QString Measuring = QStringLiteral("Pomiar");
const QString Stopped = QStringLiteral("Pomiar zatrzymany");
const QString Paused = QStringLiteral("Pauza");
const QString Continue = QStringLiteral("&Kontynuuj");
const QString Acquiring = QStringLiteral("Zapis danych do pamięci");

} // namespace

TRecordingControl::TRecordingControl(TMeasurementState& state, IWaveDevice& input, IWaveDevice& output,
                                     TChartModel& chart, IRecordingWindow& window, ISweepAdditions& sweep,
                                     IClock& clock)
    : State(state), Input(input), Output(output), Chart(chart), Window(window), Sweep(sweep), Clock(clock)
{
}

void WaitProcessingEvents(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    // Blocks keep being analysed while the loop runs; the timer ends it without burning a core.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(milliseconds);
    loop.exec();
}

// ---- Start and stop

void TRecordingControl::Start(bool byStartAction)
{
    double carriedSeconds = 0;
    if (Pressure()) {
        if (State.RecordingPaused && State.PauseOffset != 0)
            carriedSeconds = State.PauseOffset;
        PrepareRecording();
        State.ElapsedTime = carriedSeconds; // a pause during the settling wait pauses at the origin
    } else if (!Sweep.PrepareStart(byStartAction)) {
        return;
    }

    Window.BindStartButton(true);
    Active = true;

    if (StartMeasurementDevices(State, Input, Pressure() ? nullptr : &Output,
                                [this](const QString& text) { Window.ShowError(text); })) {
        Window.SetKindAndCalibrationEnabled(false);
        State.ResultsSaved = false;
        Window.SetZoomAllowed(false);
        Window.SetStatusText(0, Measuring);
        Window.BindStartMenuItem(true);
        Window.SetReadoutsBlack();

        Window.SetStartEnabled(false);
        ShowAveragingLock();
        SettlingWait(State, [this] { return Active && Input.Running(); });
        Window.SetStartEnabled(true);

        // A stop during the wait has ended the measurement already; a device lost in it ends it below.
        if (Active && Input.Running()) {
            State.ResetPeaks();
            State.Statistics.Collecting = Pressure(); // from here on, the settling left out
            // A sweep's points come with the input's frames (TSweep's pacing), not with the ticks.
            Window.SetTickInterval(Pressure() ? State.ChartTimeRefresh : 0);
            if (!Pressure())
                Sweep.RecordConditions();
            StartTimeLine(carriedSeconds);
        }
    }

    if (Active && (State.OutputStartFailed || !Input.Running()))
        Stop(TStopSender::None);
}

void TRecordingControl::PrepareRecording()
{
    if (State.AcquisitionOn) {
        Window.SetMemoryReleaseEnabled(true);
        Window.SetStatusText(4, Acquiring);
    }
    if (!State.RecordingPaused || State.PauseOffset == 0) { // a continue keeps the channel series
        Chart.Clear(LeftChannelSeries);
        Chart.Clear(RightChannelSeries);
        State.PauseOffset = 0;
        State.Statistics.Reset();
        State.OverloadSinceTick = {};
        SetUpAxes(false);
    }
    // Also after "Zeruj czas" in a pause: a fresh start must not be taken for a pause at its stop.
    State.RecordingPaused = false;
    Window.SetSeriesMenusEnabled(true);
    Window.SetPauseBlinking(false);
    Window.SetPauseEnabled(true);
}

void TRecordingControl::StartTimeLine(double carriedSeconds)
{
    const auto carriedCounts =
        static_cast<std::int64_t>(std::llround(carriedSeconds * static_cast<double>(State.CounterFrequency)));
    const auto carriedMilliseconds =
        static_cast<int>(std::llround(carriedSeconds * 1000.0) % MillisecondsPerDay);
    State.StartClock = Clock.TimeOfDay().addMSecs(-carriedMilliseconds);
    State.StartCount = Clock.Counter() - carriedCounts;
}

bool StartMeasurementDevices(TMeasurementState& state, IWaveDevice& input, IWaveDevice* output,
                             const std::function<void(const QString&)>& showError)
{
    state.OutputStartFailed = false;
    if (output != nullptr && !output->Start()) {
        state.OutputStartFailed = true;
        showError(OutputFailurePrefix + output->LastError());
    }
    state.InputStartFailed = !input.Start();
    if (state.InputStartFailed)
        showError(input.LastError());
    return !state.InputStartFailed;
}

void SettlingWait(TMeasurementState& state, const std::function<bool()>& going)
{
    const bool pressure = state.MeasurementKind == TMeasurementKind::SoundPressure;
    if (pressure) {
        state.StartMeter = true;
        state.MeterReady = false;
    } else {
        state.RestartTimeWeighting = true;
    }
    WaitProcessingEvents(state.MeasurementDelay);
    // The meter's start is counted in the input's frames, which a server under load may hand over
    // late; a stream that brings none for long is not waited for (nothing counts until they come).
    QElapsedTimer waited;
    waited.start();
    while (pressure && going && !state.MeterReady && going() && waited.elapsed() < MeterStartLimit)
        WaitProcessingEvents(MeterStartPoll);
}

void TRecordingControl::Stop(TStopSender sender)
{
    Active = false;
    State.Statistics.Collecting = false;
    Input.StopNow();
    Output.StopNow();
    Window.SetTickInterval(0);
    Window.SetZoomAllowed(true);
    Window.SetKindAndCalibrationEnabled(true);
    Window.SetOptionsEnabled(true);

    if (Pressure()) {
        Window.SetPauseEnabled(false);
        Window.SetTimeAxisAutoRange(false);
        Window.SetStatusText(4, QString());
        Window.SetSeriesMenusEnabled(!State.RecordingPaused); // the series stay as they are while paused
        if (State.RecordingPaused) {
            Window.SetStatusText(0, Paused);
            State.PauseOffset = State.ElapsedTime;
        } else {
            Window.SetStatusText(0, Stopped);
            State.PauseOffset = 0;
            if (Window.AcquisitionQueueEmpty())
                State.ResultsSaved = true;
        }
        StorePeakLevels();
        if (sender != TStopSender::None && State.Preferences.ShowRaport)
            ShowReports();
        SetUpAxes(sender == TStopSender::Action);
    } else {
        Sweep.Finish(sender);
    }

    Window.BindStartButton(false);
    Window.BindStartMenuItem(false);
    if (State.RecordingPaused)
        Window.SetStartCaption(Continue);
    ShowAveragingLock();
}

void TRecordingControl::StorePeakLevels()
{
    Window.StoreChannelPeakLevels(TLevelMeter::PeakLevel(State, 0), TLevelMeter::PeakLevel(State, 1));
}

void TRecordingControl::ShowReports()
{
    if (State.ChannelMode != TChannelMode::Right)
        Window.ShowReport(LeftChannelSeries);
    if (State.ChannelMode != TChannelMode::Left)
        Window.ShowReport(RightChannelSeries);
}

// ---- Pause

void TRecordingControl::Pause()
{
    State.RecordingPaused = true;
    Window.SetPauseBlinking(true);
    Stop(TStopSender::Window);
    Window.SetKindAndCalibrationEnabled(false);
}

void TRecordingControl::PauseBlink()
{
    const bool shown = !Window.StatusText(0).isEmpty();
    Window.SetStatusText(0, shown ? QString() : Paused);
    Window.SetStartCaption(shown ? QString() : Continue);
}

// ---- Acquisition and the clock panel

void TRecordingControl::SetAcquisition(bool on)
{
    State.AcquisitionOn = on;
    if (on && Input.Running()) {
        Window.SetStatusText(4, Acquiring);
        Window.SetMemoryReleaseEnabled(true);
    } else {
        Window.SetStatusText(4, QString());
    }
}

void TRecordingControl::UpdateClockPanel()
{
    if (!Pressure()) {
        Window.SetClockText(QStringLiteral("Częst.: ") + NumberFormat::Fixed(State.GeneratorFrequency, 0, 2) +
                            QStringLiteral(" Hz"));
        return;
    }
    State.NowClock = Clock.TimeOfDay();
    int elapsed = State.StartClock.isValid() ? State.StartClock.msecsTo(State.NowClock) : 0;
    if (elapsed < 0) // past midnight
        elapsed += MillisecondsPerDay;
    Window.SetClockText(ClockText(elapsed));
}

QString TRecordingControl::ClockText(int elapsedMilliseconds)
{
    return QStringLiteral("Czas: ") + NumberFormat::LongTime(QTime(0, 0).addMSecs(elapsedMilliseconds)) +
           QStringLiteral("s");
}

// ---- Averaging

bool TRecordingControl::AveragingLocked() const
{
    return Input.Running() || (State.RecordingPaused && State.PauseOffset != 0);
}

void TRecordingControl::ShowAveragingLock()
{
    Window.SetAveragingEnabled(!AveragingLocked());
}

void TRecordingControl::AveragingChanged(bool applyingSettings)
{
    const int item = Window.AveragingItem();
    if (AveragingLocked()) { // the list stays as the recording started
        if (item != AveragingApplied)
            Window.SetAveragingItem(AveragingApplied);
        return;
    }
    State.NoAveraging = false;
    if (item == AveragingNone) {
        State.NoAveraging = true;
        AveragingApplied = item;
        return;
    }
    if (item < 0 || item > AveragingOther)
        return;
    AveragingApplied = item;
    State.ImpulseWeighting = item == AveragingImpulse;
    if (item < AveragingItemCount) {
        State.AveragingTime = AveragingTimes[item];
    } else if (!applyingSettings) {
        double seconds = State.AveragingTime;
        if (Window.AskAveragingTime(seconds) && std::isfinite(seconds) && seconds > 0)
            State.AveragingTime = seconds;
    }
    Window.SetOtherAveragingText(QStringLiteral("Inny: ") + NumberFormat::General(State.AveragingTime) +
                                 QStringLiteral("s"));
    Window.SetAveragingItem(item);
}

void TRecordingControl::StepAveraging()
{
    const int item = Window.AveragingItem();
    if (AveragingLocked() || item < 0 || item >= AveragingItemCount)
        return;
    Window.SetAveragingItem((item + 1) % AveragingItemCount);
    AveragingChanged(false);
}

// ---- Chart

void TRecordingControl::ResetTime()
{
    State.PauseOffset = 0;
    Chart.Clear(LeftChannelSeries);
    Chart.Clear(RightChannelSeries);
    SetUpAxes(false);
    ShowAveragingLock();
}

void TRecordingControl::SetUpAxes(bool callerIsAction)
{
    if (!callerIsAction)
        SetUpTimeAxis();
    SetUpLevelAxis();
}

void TRecordingControl::SetUpTimeAxis()
{
    const double scope = State.ChartTimeScope;
    if (!State.TimeAutoScale)
        Window.SetTimeAxisRange(State.TimeScaleMinimum, State.TimeScaleMaximum);
    else if (Recording())
        SlideTimeWindow();
    else if (State.RecordingPaused && scope <= State.PauseOffset)
        Window.SetTimeAxisRange(State.PauseOffset - scope, State.PauseOffset);
    else
        Window.SetTimeAxisRange(0, scope);
}

void TRecordingControl::SlideTimeWindow()
{
    const double scope = State.ChartTimeScope;
    const TChartSeriesData& left = Chart.Series(LeftChannelSeries);
    const TChartSeriesData& right = Chart.Series(RightChannelSeries);
    while (left.MaxX() - left.MinX() > scope) {
        Chart.DeleteFirst(LeftChannelSeries);
        Chart.DeleteFirst(RightChannelSeries);
    }
    if (left.MaxX() < scope) {
        Window.SetTimeAxisRange(0, scope);
        return;
    }
    Window.SetTimeAxisAutoRange(true);
    // Widen a window that a larger scope left too narrow, one tick's step at a time. Two points in each
    // series give the step; a step of 0 would never widen anything.
    while (left.Count() >= 2 && right.Count() >= 2 && scope > left.MaxX() - left.MinX()) {
        const double stepLeft = left.X(1) - left.X(0);
        const double stepRight = right.X(1) - right.X(0);
        if (stepLeft <= 0 || stepRight <= 0)
            break;
        Chart.Append(LeftChannelSeries, left.X(0) - stepLeft, left.Y(0));
        Chart.Append(RightChannelSeries, right.X(0) - stepRight, right.Y(0));
    }
}

void TRecordingControl::SetUpLevelAxis()
{
    if (!State.TimeAutoLevelScale) {
        Window.SetLevelAxisRange(State.TimeLevelScaleMinimum, State.TimeLevelScaleMaximum);
        return;
    }
    double minimum = NoDataLevelMinimum, maximum = NoDataLevelMaximum;
    if (const auto range =
            Chart.DataRange(Chart.VisibleOf(SeriesBit(LeftChannelSeries) | SeriesBit(RightChannelSeries)))) {
        minimum = range->MinY;
        maximum = range->MaxY;
    }
    WidenLevelRange(minimum, maximum, State.LevelExcess);
    Window.SetLevelAxisRange(minimum, maximum);
}
