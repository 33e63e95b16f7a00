// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MeasurementSession.h"

#include "audio/DeviceServices.h"
#include "cli/Terminal.h"
#include "common/Clock.h"
#include "common/NumberFormat.h"
#include "measure/LevelMeter.h"
#include "measure/RecordingControl.h"
#include "measure/SineGenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <algorithm>

TMeasurementSession::TMeasurementSession()
{
    // The journal takes a place only for a recording that keeps its values (record --out); those left by
    // ended programs stay for the window's offer.
    RecordingJournal.OnFailure = [](const QString& message) { PrintMessage(message); };
    Meter = std::make_unique<TLevelMeter>(Measurement, InputDevice, Chart, RecordingJournal, *this);
    SweepControl = std::make_unique<TSweep>(Measurement, InputDevice, OutputDevice, Chart, *this);
    Generator = std::make_unique<TSineGenerator>(Measurement, OutputDevice, &SweepControl->Timeline());
    Meter->SetSweepPacing(SweepControl.get());
    Recording = std::make_unique<TRecordingControl>(Measurement, InputDevice, OutputDevice, Chart, *this,
                                                    *SweepControl);
    audAudioIn.SetStereo(true);
    audAudioIn.OnBufferFilled = [this](float* samples, int& count) {
        return Meter->AnalyseBlock(samples, count);
    };
    audAudioOut.OnFillBuffer = [this](float* samples, int& count) {
        return Generator->FillOutputBlock(samples, count);
    };
    audAudioIn.OnStop = [this](QObject*) { DeviceClosed(audAudioIn, QStringLiteral("wejściowe")); };
    audAudioOut.OnStop = [this](QObject*) { DeviceClosed(audAudioOut, QStringLiteral("wyjściowe")); };
    // The device chosen in the window that is absent now: the default one measures, and the user is told.
    audAudioIn.OnStart = [this](QObject*) { DeviceOpened(audAudioIn, QStringLiteral("wejściowego")); };
    audAudioOut.OnStart = [this](QObject*) { DeviceOpened(audAudioOut, QStringLiteral("wyjściowego")); };
    // Points are taken at these ticks, as in the window: a coarse timer would let them wander.
    tmrTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tmrTimer, &QTimer::timeout, [this] { Meter->Tick(); });
    Measurement.CounterFrequency = ProgramClock().CounterFrequency();
    Store.Register(); // "Seria 1" active, as on a first start of the window
}

TMeasurementSession::~TMeasurementSession()
{
    audAudioIn.StopNow(); // no block may reach the engine while it goes
    audAudioOut.StopNow();
}

void TMeasurementSession::ChooseAveraging(const TAveragingChoice& choice, bool applyingSettings)
{
    Averaging = choice;
    Recording->AveragingChanged(applyingSettings);
}

void TMeasurementSession::ChooseChannels(TChannelMode mode, bool compensation)
{
    Measurement.ChannelMode = mode;
    Measurement.Compensation = compensation && mode != TChannelMode::Both;
    Store.SyncPairing();
}

// ---- Running a measurement

TMeasurementSession::TEnd TMeasurementSession::Record(double seconds, TProgress& progress, bool acquire)
{
    Measurement.MeasurementKind = TMeasurementKind::SoundPressure;
    Seconds = seconds;
    Recording->SetAcquisition(acquire);
    return Run(progress);
}

TMeasurementSession::TEnd TMeasurementSession::Sweep(TProgress& progress)
{
    Measurement.MeasurementKind = TMeasurementKind::FrequencyCharacteristic;
    SweepControl->Zero();
    QElapsedTimer wall;
    wall.start();
    const TEnd end = Run(progress);
    SweepWall = wall.elapsed() / 1000.0;
    return end;
}

TMeasurementSession::TEnd TMeasurementSession::Run(TProgress& progress)
{
    Progress = &progress;
    Failures.clear();
    Outcome = TEnd::Completed;
    Ended = false;
    Stopped = false;
    Measuring = true;
    Recording->Start(true); // returns after the settling wait, or at once when a device failed
    if (Measurement.InputStartFailed || Measurement.OutputStartFailed)
        End(TEnd::Failed);
    else if (!Ended && !audAudioIn.Running()) // a sweep with no series to take its points
        End(TEnd::Failed);
    if (!Ended)
        Loop.exec();
    // The engine posts its reasons for stopping itself, to be given once the block that found the fault
    // is done: they arrive after the stop, and a measurement that stopped with one failed.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    if (Outcome == TEnd::Completed && !Failures.isEmpty())
        Outcome = TEnd::Failed;
    Progress = nullptr;
    return Outcome;
}

void TMeasurementSession::End(TEnd end)
{
    if (Ended)
        return;
    Ended = true;
    Outcome = end;
    Measuring = false;
    if (!Stopped) // the engine may have stopped itself already (a device that failed to start)
        Recording->Stop(TStopSender::None);
    Loop.quit();
}

void TMeasurementSession::Interrupt()
{
    End(TEnd::Interrupted);
}

void TMeasurementSession::Abort(const QString& reason)
{
    Failures += reason + QLatin1Char('\n');
    End(TEnd::Failed);
}

// A device closes by itself only when it failed or went away: the session closes its devices only
// through the stop, after it has ended the measurement.
void TMeasurementSession::DeviceClosed(const TAudioIO& device, const QString& which)
{
    if (!Measuring || device.DeviceOpen())
        return;
    QString reason = device.LastError();
    Failures += QStringLiteral("Urządzenie ") + which + QStringLiteral(" przestało działać") +
                (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')')) +
                QStringLiteral("; zmierzone wartości zostają zapisane.\n");
    End(TEnd::Failed);
}

void TMeasurementSession::DeviceOpened(const TAudioIO& device, const QString& which)
{
    if (device.DeviceMissing())
        PrintMessage(QStringLiteral("Brak urządzenia ") + which + QStringLiteral(" „") +
                     QString::fromUtf8(device.DeviceName()) +
                     QStringLiteral("”; używane jest urządzenie domyślne."));
}

QString TMeasurementSession::ReadoutsText() const
{
    QString text;
    if (Measurement.ChannelMode != TChannelMode::Right)
        text += QStringLiteral("  L ") + Readout[0] +
                (Overload[0] ? QStringLiteral(" (przesterowanie)") : QString());
    if (Measurement.ChannelMode != TChannelMode::Left)
        text += QStringLiteral("  P ") + Readout[1] +
                (Overload[1] ? QStringLiteral(" (przesterowanie)") : QString());
    return text;
}

// ---- IMeterWindow

void TMeasurementSession::SetReadoutText(int channel, const QString& text)
{
    Readout.at(static_cast<std::size_t>(channel)) = text.trimmed();
}

void TMeasurementSession::SetReadoutRed(int channel, bool red)
{
    if (red)
        Overload.at(static_cast<std::size_t>(channel)) = true;
}

// After every tick of a recording: the progress, and the end once the time is up. With ticks from the
// timer the last one is the tick nearest to the end, so N seconds of ticks every T give N / T values.
void TMeasurementSession::UpdateClockPanel()
{
    if (Measurement.MeasurementKind != TMeasurementKind::SoundPressure || !Measuring)
        return;
    if (AfterTick)
        AfterTick();
    const double elapsed = Measurement.ElapsedTime;
    if (Progress)
        Progress->Show(elapsed / Seconds, NumberFormat::Fixed(elapsed, 0, 1) + QStringLiteral(" s z ") +
                                              NumberFormat::General(Seconds) + QStringLiteral(" s") +
                                              ReadoutsText());
    const double halfTick = std::max(Measurement.ChartTimeRefresh, 0) / 2000.0;
    if (elapsed >= Seconds - halfTick)
        End(TEnd::Completed);
}

void TMeasurementSession::SweepStep()
{
    SweepControl->Step();
}

// ---- IRecordingWindow

void TMeasurementSession::SetTickInterval(int milliseconds)
{
    if (milliseconds <= 0) // ticks come from the blocks
        tmrTimer.stop();
    else
        tmrTimer.start(milliseconds);
}

void TMeasurementSession::ShowError(const QString& text)
{
    Failures += text + QLatin1Char('\n');
}

void TMeasurementSession::StoreChannelPeakLevels(double left, double right)
{
    Store.Slot(LeftChannelSeries).SlotPeakLevel = left;
    Store.Slot(RightChannelSeries).SlotPeakLevel = right;
}

bool TMeasurementSession::AskAveragingTime(double& seconds)
{
    seconds = Averaging.Seconds;
    return true;
}

// ---- ISweepWindow

bool TMeasurementSession::ChooseSeries(int continuedSeries)
{
    const int active = Store.ActiveSeries();
    Store.PrepareForSweep(active, active == continuedSeries);
    return active >= 0;
}

void TMeasurementSession::SetSeriesShown(int series, bool shown)
{
    if (Store.Hidden(series) == shown)
        Store.ShowHide(series);
}

void TMeasurementSession::StoreSweepConditions(int series, const TSweepConditions& conditions)
{
    Store.StoreSweepConditions(series, conditions);
}

void TMeasurementSession::StoreSweepPeakLevel(int series, double level)
{
    Store.Slot(series).SlotPeakLevel = level;
}

void TMeasurementSession::SetProgress(int position)
{
    if (!Progress || !Measuring || Measurement.PointsCount <= 0)
        return;
    const int taken = std::min(position + 1, Measurement.PointsCount);
    Progress->Show(static_cast<double>(taken) / Measurement.PointsCount,
                   QStringLiteral("punkt %1 z %2, ").arg(taken).arg(Measurement.PointsCount) +
                       NumberFormat::Fixed(Measurement.GeneratorFrequency, 0, 1) + QStringLiteral(" Hz") +
                       ReadoutsText());
}

bool TMeasurementSession::SeparateClocks() const
{
    return TDeviceServices::SeparateClocks(audAudioIn, audAudioOut);
}

// The sweep's last point: the stop, as the window's start button (bound to the stop) does it.
void TMeasurementSession::ClickStartButton()
{
    if (!Measuring)
        return;
    Recording->Stop(TStopSender::Action);
    End(TEnd::Completed);
}
