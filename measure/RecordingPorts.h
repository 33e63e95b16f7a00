// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/WaveFormat.h"
#include "measure/MeterPorts.h"

#include <QString>

// Who asked for a stop. An action (button, menu item, F2) leaves the time axis as the user sees it;
// any given sender shows the report when the "ShowRaport" preference is on.
enum class TStopSender { None, Action, Window };

// What the recording control needs of a wave component; the window wraps audAudioIn / audAudioOut.
class IWaveDevice
{
public:
    virtual ~IWaveDevice() = default;
    virtual bool Start() = 0; // false leaves the reason in LastError()
    virtual void StopNow() = 0;
    virtual bool Running() const = 0;
    virtual QString LastError() const = 0;
};

// A wave component (TAudioIn, TAudioOut) as the recording control starts it, as its own target, and
// as the meter and the generator read it.
template <class TComponent> class TWaveDeviceOf final : public IWaveDevice, public IStreamInfo
{
public:
    explicit TWaveDeviceOf(TComponent& component) : Component(component) {}
    bool Start() override { return Component.Start(); }
    void StopNow() override { Component.StopNow(); }
    bool Running() const override { return Component.Running(); }
    int FrameRate() const override { return Component.FrameRate(); }
    std::uint64_t Xruns() const override { return Component.Xruns(); }
    int BlockFrames() const override { return Component.BufferSize() / Component.WaveFormat().BytesPerFrame; }
    bool IntegerSamples() const override { return Component.SampleFormat() == TSampleFormat::Integer; }
    QString LastError() const override { return Component.LastError(); }

private:
    TComponent& Component;
};

// What the recording control needs of the main window. The window implements it; tests fake it.
class IRecordingWindow
{
public:
    virtual ~IRecordingWindow() = default;

    // Status bar: panel 0 the state, panel 4 the acquisition.
    virtual QString StatusText(int panel) const = 0;
    virtual void SetStatusText(int panel, const QString& text) = 0;
    virtual void SetClockText(const QString& text) = 0; // pnlCzas

    // Start and stop binding. toStop true: actStart gets the shortcut 254 and actStop F2, btnStart is
    // bound to actStop (its caption follows, "&Stop"); false: the reverse, with "&Start".
    virtual void BindStartButton(bool toStop) = 0;
    virtual void BindStartMenuItem(bool toStop) = 0; // mmiPomiarStart
    virtual void SetStartCaption(const QString& caption) = 0;
    virtual void SetStartEnabled(bool enabled) = 0; // btnStart
    virtual void SetPauseEnabled(bool enabled) = 0; // btnPauza

    // The two measurement-kind entries of "Pomiar", mmiNarzedziaKalibracja and tbnKalibracja.
    virtual void SetKindAndCalibrationEnabled(bool enabled) = 0;
    virtual void SetOptionsEnabled(bool enabled) = 0;       // mmiOpcjeWykresu, mmiKonfiguracja
    virtual void SetSeriesMenusEnabled(bool enabled) = 0;   // mmi/pmi DodajSerie, UsunSerie, AktywnaSeria
    virtual void SetMemoryReleaseEnabled(bool enabled) = 0; // tbnKosz, mmiKosz
    virtual void SetZoomAllowed(bool allowed) = 0;
    virtual void SetReadoutsBlack() = 0;

    // Timers: tmrTimer's interval (0 leaves it idle) and tmrPauza on or off.
    virtual void SetTickInterval(int milliseconds) = 0;
    virtual void SetPauseBlinking(bool on) = 0;

    // Chart axes. A time range is a fixed one (automatic range off); SetLevelAxisRange also records
    // the limits that the zoom returns to.
    virtual void SetTimeAxisRange(double minimum, double maximum) = 0;
    virtual void SetTimeAxisAutoRange(bool on) = 0;
    virtual void SetLevelAxisRange(double minimum, double maximum) = 0;

    virtual void ShowError(const QString& text) = 0;
    virtual bool AcquisitionQueueEmpty() const = 0;

    // The channel series' records (chart series 8 and 9) and their report.
    virtual void StoreChannelPeakLevels(double left, double right) = 0;
    virtual void ShowReport(int series) = 0;

    // Averaging list cbCzasUsredniania: 0 "S (1s)", 1 "F (0,125s)", 2 "I  (0,035s)", 3 "Inny", 4 "Brak".
    virtual int AveragingItem() const = 0;
    virtual void SetAveragingItem(int item) = 0;
    // One time weighting per result: the averaging list is locked while a recording runs or pauses.
    virtual void SetAveragingEnabled(bool enabled) = 0;
    virtual void SetOtherAveragingText(const QString& text) = 0;
    virtual bool AskAveragingTime(double& seconds) = 0; // the averaging-time dialog; false: cancelled
};

// What the frequency kind adds to the start and the stop of a measurement; the sweep implements it.
class ISweepAdditions
{
public:
    virtual ~ISweepAdditions() = default;
    virtual bool PrepareStart(bool byStartAction) = 0; // false cancels the start
    virtual void RecordConditions() = 0;               // once the settling wait is over
    virtual void Finish(TStopSender sender) = 0;       // its stop additions and axis set-up
};
