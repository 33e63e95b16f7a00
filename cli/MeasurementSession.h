// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioIO.h"
#include "cli/Options.h"
#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "measure/MeterPorts.h"
#include "measure/RecordingPorts.h"
#include "measure/Sweep.h"
#include "results/AcquisitionQueue.h"
#include "results/RecordingJournal.h"
#include "results/SeriesStore.h"

#include <QEventLoop>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class TLevelMeter;
class TProgress;
class TRecordingControl;
class TSineGenerator;

// The program's engine without a window: the same wave components, meter, generator, recording
// control, sweep, series store, acquisition queue and journal as the main window, with the ports the
// window implements answered here. Read-outs become the progress line; what only a window shows
// (buttons, menus, axes) has nothing to do.
class TMeasurementSession final : public IMeterWindow, public IRecordingWindow, public ISweepWindow
{
public:
    enum class TEnd { Completed, Interrupted, Failed };

    TMeasurementSession();
    ~TMeasurementSession() override;
    TMeasurementSession(const TMeasurementSession&) = delete;
    TMeasurementSession& operator=(const TMeasurementSession&) = delete;

    TMeasurementState& State() { return Measurement; }
    TAudioIn& AudioIn() { return audAudioIn; }
    TAudioOut& AudioOut() { return audAudioOut; }
    TChartModel& ChartData() { return Chart; }
    TSeriesStore& Series() { return Store; }
    TAcquisitionQueue& AcquisitionQueue() { return Queue; }
    TRecordingJournal& Journal() { return RecordingJournal; }

    // The averaging list's choice, applied as the window applies it; `applyingSettings` keeps the
    // time loaded with the settings for "Inny", as at the window's start.
    void ChooseAveraging(const TAveragingChoice& choice, bool applyingSettings);
    // The channel mode, with compensation as the window's check box allows it.
    void ChooseChannels(TChannelMode mode, bool compensation);

    // A recording `seconds` long from the end of the settling wait; with `acquire` every reading is kept
    // for the result file.
    TEnd Record(double seconds, TProgress& progress, bool acquire = true);
    // A sweep into the active series (and its pair with both channels).
    TEnd Sweep(TProgress& progress);
    // From a stop signal: the measurement ends at once, keeping what it measured.
    void Interrupt();
    // Something the measurement feeds failed: it ends at once as failed, keeping what it measured.
    void Abort(const QString& reason);

    // Runs after every tick of a recording, before the session decides whether it has ended.
    std::function<void()> AfterTick;

    QString Failure() const { return Failures; } // the reasons of a failed measurement
    bool Overloaded(int channel) const { return Overload[static_cast<std::size_t>(channel)]; }
    double SweepSeconds() const { return SweepWall; } // from the start to the stop of the last sweep

    // IMeterWindow
    void SetReadoutText(int channel, const QString& text) override;
    void SetReadoutRed(int channel, bool red) override;
    void Beep() override {}
    bool StartButtonEnabled() const override { return StartEnabled; }
    void SetLevelAxisRange(double, double) override {}
    void SetTimeAxisAutomatic() override {}
    int ActiveSeries() const override { return Store.ActiveSeries(); }
    void UpdateClockPanel() override;
    void SweepStep() override;

    // IRecordingWindow
    QString StatusText(int panel) const override { return Status.at(static_cast<std::size_t>(panel)); }
    void SetStatusText(int panel, const QString& text) override
    {
        Status.at(static_cast<std::size_t>(panel)) = text;
    }
    void SetClockText(const QString&) override {}
    void BindStartButton(bool toStop) override { Stopped = Stopped || !toStop; } // every stop ends so
    void BindStartMenuItem(bool) override {}
    void SetStartCaption(const QString&) override {}
    void SetStartEnabled(bool enabled) override { StartEnabled = enabled; }
    void SetPauseEnabled(bool) override {}
    void SetKindAndCalibrationEnabled(bool) override {}
    void SetOptionsEnabled(bool) override {}
    void SetSeriesMenusEnabled(bool) override {}
    void SetMemoryReleaseEnabled(bool) override {}
    void SetZoomAllowed(bool) override {}
    void SetReadoutsBlack() override {}
    void SetTickInterval(int milliseconds) override;
    void SetPauseBlinking(bool) override {}
    void SetTimeAxisRange(double, double) override {}
    void SetTimeAxisAutoRange(bool) override {}
    void ShowError(const QString& text) override;
    bool AcquisitionQueueEmpty() const override { return Queue.Empty(); }
    void StoreChannelPeakLevels(double left, double right) override;
    void ShowReport(int) override {} // the command prints its own summary
    int AveragingItem() const override { return Averaging.Item; }
    void SetAveragingItem(int item) override { Averaging.Item = item; }
    void SetAveragingEnabled(bool) override {}
    void SetOtherAveragingText(const QString&) override {}
    bool AskAveragingTime(double& seconds) override;

    // ISweepWindow
    bool ChooseSeries(int continuedSeries) override;
    void SetSeriesShown(int series, bool shown) override;
    void StoreSweepConditions(int series, const TSweepConditions& conditions) override;
    void StoreSweepPeakLevel(int series, double level) override;
    void SetSweepEditsEnabled(bool) override {}
    void SetProgress(int position) override;
    void SetProgressMaximum(int) override {}
    void SetEstimatedTime(const QString&) override {}
    void ClickStartButton() override;
    void StartConditionsChanged() override {}
    void SetFrequencyAxisRange(double, double) override {}
    void ShowDelay(const QString&) override {}
    double AirTemperature() const override { return Temperature; }
    bool SeparateClocks() const override;
    // The air's temperature that turns the sweep's delay into metres, °C.
    void SetAirTemperature(double celsius) { Temperature = celsius; }
    TSweep& SweepEngine() { return *SweepControl; }

private:
    TEnd Run(TProgress& progress);
    void End(TEnd end);
    void DeviceOpened(const TAudioIO& device, const QString& which);
    void DeviceClosed(const TAudioIO& device, const QString& which);
    QString ReadoutsText() const;

    TMeasurementState Measurement;
    TChartModel Chart;
    TAcquisitionQueue Queue;
    TSeriesStore Store{Measurement, Chart};
    TAudioIn audAudioIn;
    TAudioOut audAudioOut;
    TWaveDeviceOf<TAudioIn> InputDevice{audAudioIn};
    TWaveDeviceOf<TAudioOut> OutputDevice{audAudioOut};
    TRecordingJournal RecordingJournal{Queue, Measurement, InputDevice};
    std::unique_ptr<TLevelMeter> Meter;
    std::unique_ptr<TSineGenerator> Generator;
    std::unique_ptr<TRecordingControl> Recording;
    std::unique_ptr<TSweep> SweepControl;
    QTimer tmrTimer;
    QEventLoop Loop;

    TAveragingChoice Averaging;
    bool StartEnabled = true;
    std::array<QString, 5> Status;
    std::array<QString, 2> Readout;
    std::array<bool, 2> Overload{};
    TProgress* Progress = nullptr;
    double Seconds = 0;     // of the recording
    bool Measuring = false; // from a successful start until the session itself stops
    bool Stopped = false;   // the engine's stop has run since the start
    bool Ended = true;
    TEnd Outcome = TEnd::Completed;
    QString Failures;
    double SweepWall = 0;
    double Temperature = 20;
};
