// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "measure/MeterPorts.h"
#include "measure/RecordingPorts.h"
#include "measure/SweepDetection.h"
#include "measure/SweepTimeline.h"

#include <QObject>
#include <QString>
#include <array>

// What a series' record keeps of the sweep that measured it.
struct TSweepConditions
{
    double AveragingTime = 0; // s; 0 with "Brak"
    int FrameRate = 0;        // Hz
    TChannelMode Mode = TChannelMode::Left;
    bool MicrophoneCorrected = false; // a microphone correction was in force for the series' channel
    bool Synchronous = false;         // measured by synchronous detection
    TReferenceChannel Reference = TReferenceChannel::None;
};

// What the sweep needs of the main window. The window implements it; tests fake it.
class ISweepWindow
{
public:
    virtual ~ISweepWindow() = default;

    // The series store: the active slot (0..7, -1 when none), the chooser that precedes a start
    // (false: cancelled; a continued series keeps the points it holds), showing and hiding a slot,
    // and the record of a slot.
    virtual int ActiveSeries() const = 0;
    virtual bool ChooseSeries(int continuedSeries) = 0;
    virtual void SetSeriesShown(int series, bool shown) = 0;
    virtual void StoreSweepConditions(int series, const TSweepConditions& conditions) = 0;
    virtual void StoreSweepPeakLevel(int series, double level) = 0;
    virtual void ShowReport(int series) = 0;

    // The sweep panel's three edits and the series menus, locked while a sweep runs.
    virtual void SetSweepEditsEnabled(bool enabled) = 0;
    virtual void SetProgress(int position) = 0; // pbPasekPostepu
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void SetEstimatedTime(const QString& text) = 0; // edtCzasPomiaru
    virtual void SetStatusText(int panel, const QString& text) = 0;
    virtual void UpdateClockPanel() = 0;
    // Stops the measurement as btnStart does while measuring, also in a start's settling wait.
    virtual void ClickStartButton() = 0;
    // The reasons that keep the start action disabled have changed: see TSweep::StartAllowed.
    virtual void StartConditionsChanged() = 0;

    virtual void SetFrequencyAxisRange(double minimum, double maximum) = 0;
    virtual void SetLevelAxisRange(double minimum, double maximum) = 0;
    virtual void ShowError(const QString& text) = 0;

    // The delay between the inputs that the sweep found, as text (empty: none found yet).
    virtual void ShowDelay(const QString& text) = 0;
    // The air's temperature in °C, which turns a delay into metres.
    virtual double AirTemperature() const = 0;
    // The output and the input run on the clocks of two different sound cards.
    virtual bool SeparateClocks() const = 0;
};

// The frequency-characteristic sweep: its parameters and their edits, the estimated time, the step
// that moves from point to point, the additions to a measurement's start and stop, and the chart axes
// of this kind. The recording control starts and stops the devices. The points are paced by the
// streams' frames (TSweepTimeline): the generator plays each point's tone for the point time and a
// short settling, and the level meter takes the point from the input frames that hold its settled tone
// alone, appends it to the active series and steps. With synchronous detection the same frames are
// correlated with the generator's tone instead (TSweepDetection), which plans the points' lengths.
// A point whose frames a gap of the streams spoiled (a counted underflow or overflow, or a moment of
// silence in its window that the server never owned up to) is measured again, after a new probe.
class TSweep final : public ISweepAdditions, public ISweepPacing
{
public:
    // Reasons in SweepBlocked.
    static constexpr int NoFrequencyRange = 0;
    static constexpr int StartAboveNyquist = 2;
    static constexpr int StopAboveNyquist = 3;
    static constexpr int TooFewPoints = 4;
    static constexpr int MinimumPoints = 3;
    // Times a point is measured again before the sweep gives up on the streams and stops.
    static constexpr int MostRetakes = 2;
    // The highest frequency a point can be measured at: above it the detection has no tone to fit.
    static constexpr double HighestFraction = 0.49; // of the input's frame rate
    static double HighestFrequency(int frameRate) { return HighestFraction * frameRate; }

    TSweep(TMeasurementState& state, const IStreamInfo& input, const IStreamInfo& output,
           const TChartModel& chart, ISweepWindow& window);
    TSweep(const TSweep&) = delete;
    TSweep& operator=(const TSweep&) = delete;

    // Point index of count, spaced logarithmically from start to stop (both above 0).
    static double PointFrequency(double start, double stop, int index, int count);

    // Text changes of edtStartFreq, edtStopFreq and edtLiczbaPunktow. A text that does not read as
    // a frequency above 0 (or as a count) leaves the value in force and changes nothing else.
    void StartFreqChanged(const QString& text);
    void StopFreqChanged(const QString& text);
    void PointsChanged(const QString& text);
    // Leaving the edits: the text the edit must show, which is `text` itself when it stays.
    QString StartFreqOnExit(const QString& text) const;
    QString StopFreqOnExit(const QString& text) const;
    QString PointsOnExit(const QString& text) const;

    // The input's frame rate has changed: the frequencies are checked against its half again.
    void FrameRateChanged();
    // A sweep may start: no reason blocks it, a series is there to receive the points and both
    // frequencies are usable.
    bool StartAllowed() const;
    // edtCzasPomiaru: (points x point time + settling delay) in whole milliseconds, as "25,3s".
    QString EstimatedTimeText() const;
    void ShowEstimatedTime();
    // "Zeruj generator": the first point again, the progress bar back to its start.
    void Zero();
    // After every tick of a sweep, once the point of the current frequency is appended.
    void Step();
    // Axis set-up of this kind: the frequency axis by its range rule, then the level axis.
    void SetUpAxes();

    // The additions to the start and the stop of a measurement.
    bool PrepareStart(bool byStartAction) override;
    void RecordConditions() override;
    void Finish(TStopSender sender) override;

    // What the generator plays while a sweep runs, and where its points are in the input.
    TSweepTimeline& Timeline() { return Paced; }
    int FramesToBoundary(int frames) const override;
    unsigned Passed(const float* frames, int count) override;
    const TDetectedPoint* DetectedPoint() const override
    {
        return PointTaken && Synchronous ? &Detection.Point() : nullptr;
    }
    const TPointDetail* PointDetail(int input) const override;
    // The measured input's arrival after the reference's (without one: the right input's after the left
    // one's, when both are measured), in seconds; nothing before it is known or without two inputs.
    std::optional<double> MeasuredDelay() const;
    // The delay as "10,000 ms = 3,432 m" at the air's temperature; empty when there is none.
    QString DelayText() const;
    // Without a reference, the phase of a sweep across two cards' clocks is no measurement.
    bool PhaseMeasured() const { return !NoPhase; }

private:
    // What a sweep stopped before its last point went on under; anything else starts it afresh.
    struct TConditions
    {
        int Series = -1;
        TChannelMode Mode = TChannelMode::Left;
        TDetectionSettings Detection;
        int FrameRate = 0;
        std::int32_t Amplitude = 0;
        bool Compensation = false, NoAveraging = false;
        double AveragingTime = 0;
        bool operator==(const TConditions& other) const;
    };
    TConditions ConditionsNow(int series) const;

    void FrequencyChanged(const QString& text, double& frequency, int nyquistReason);
    void SetBlocked(int reason, bool blocked);
    double Highest() const { return HighestFrequency(Input.FrameRate()); }
    // The series that receive points: the active one and, with both channels, its pair.
    unsigned MeasuredSeries(int active) const;
    void SetUpFrequencyAxis();
    void SetUpLevelAxis();
    void BeginTimeline();
    int PointFrames() const; // of the averaged-level method
    // A reason why the sweep cannot start as set up; empty when it can.
    QString SetUpProblem() const;
    // The point being measured again, from a new probe on; once it was too often, the sweep stops
    // with `text` instead.
    void RetakeOrFail(const QString& text);
    // Stops the sweep, keeping its points, and then says why.
    void Fail(const QString& text);
    // What the detection does with the frames passed: feeds, begins and ends windows, and once a point's
    // windows have all ended judges it; the events the meter is to follow.
    unsigned Detect(const float* frames, int count, unsigned inWindow, unsigned events);

    TMeasurementState& State;
    const IStreamInfo& Input;
    const IStreamInfo& Output;
    const TChartModel& Chart;
    ISweepWindow& Window;
    unsigned HiddenForSweep = 0; // series hidden by "MinimizeOnMeasurment", shown again at the stop
    TConditions Interrupted;     // of a sweep stopped before its last point (Series -1: none)
    TSweepTimeline Paced;
    TSweepDetection Detection{State};
    bool Synchronous = false;            // this sweep detects its points
    bool PointTaken = false;             // the frames passed last ended a point
    bool NoPhase = false;                // the phase of this sweep's points is not measured
    std::array<TPointDetail, 2> Marks{}; // an averaged level's overload and settling
    int Retakes = 0;                     // of the point being measured
    std::uint64_t InputXruns = 0;        // the input's gaps when its time line began
    QObject Messages;                    // queued messages go with the sweep
};
