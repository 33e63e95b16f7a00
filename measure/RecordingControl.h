// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "common/Clock.h"
#include "measure/MeasurementState.h"
#include "measure/RecordingPorts.h"

#include <QString>
#include <functional>

// Waits for the given time while the event loop runs on: blocks, timers and commands are served.
void WaitProcessingEvents(int milliseconds);
// Starts a measurement's devices: the output first when a tone is played, then the input. A failure
// is shown (the output's after OutputFailurePrefix) and leaves its flag set; true when the input runs.
bool StartMeasurementDevices(TMeasurementState& state, IWaveDevice& input, IWaveDevice* output,
                             const std::function<void(const QString&)>& showError);
// actAktywacja, after every start: MeasurementDelay ms of served events. A recording starts its meter
// from rest on the running signal (TMeterFilters::StartFromRest) and, given `going`, waits while it
// holds for the meter's own start as well, with a delay of 0 too, so that its first reading of a
// steady signal is that of a meter long switched on; a sweep starts its time weighting anew, as the
// mean of what it hears until a time constant has passed.
void SettlingWait(TMeasurementState& state, const std::function<bool()>& going = {});

// The control layer of a measurement: start, settling wait, stop, pause and continue, acquisition,
// the clock panel, the averaging choice and the chart axes of a sound-pressure recording. The window's
// handlers delegate here; the level meter does the numeric work on the ticks in between.
//
// Time line: a continue carries on from PauseOffset. The start moves StartCount and StartClock back by
// PauseOffset, so the meter's ElapsedTime, the chart points, the acquired times and the clock panel all
// continue where the pause left them instead of counting from 0 again.
class TRecordingControl
{
public:
    static constexpr double MinimumAveragingTime = 0.035; // s, the shortest one the user may choose
    static constexpr int PauseBlinkInterval = 500;        // ms, tmrPauza
    static constexpr int AveragingImpulse = 2;            // "I  (0,035s)"
    static constexpr int AveragingOther = 3;              // "Inny"
    static constexpr int AveragingNone = 4;               // "Brak"

    TRecordingControl(TMeasurementState& state, IWaveDevice& input, IWaveDevice& output, TChartModel& chart,
                      IRecordingWindow& window, ISweepAdditions& sweep, IClock& clock = ProgramClock());
    TRecordingControl(const TRecordingControl&) = delete;
    TRecordingControl& operator=(const TRecordingControl&) = delete;

    // actStartExecute; byStartAction tells the sweep whether the start action itself was used.
    void Start(bool byStartAction = true);
    // actStopExecute. Always runs to its end; stopping an idle device does nothing.
    void Stop(TStopSender sender);
    void Pause();      // btnPauzaClick
    void PauseBlink(); // tmrPauzaTimer

    void SetAcquisition(bool on); // cbAkwizycjaClick
    void UpdateClockPanel();      // after every tick of a recording

    // cbCzasUsrednianiaChange; applyingSettings keeps the dialog of "Inny" closed at start-up.
    void AveragingChanged(bool applyingSettings);
    void StepAveraging(); // F4: S -> F -> I -> S; "Inny" and "Brak" stay
    // While a recording runs or pauses (or a sweep runs) its time weighting stays as it started.
    bool AveragingLocked() const;

    void ResetTime(); // "Zeruj czas"
    // From the start to the stop, the settling wait included.
    bool InProgress() const { return Active; }
    // Axis set-up of the sound-pressure kind; an action as caller leaves the time axis alone.
    void SetUpAxes(bool callerIsAction);

    static QString ClockText(int elapsedMilliseconds);

private:
    bool Recording() const { return Input.Running(); }
    bool Pressure() const { return State.MeasurementKind == TMeasurementKind::SoundPressure; }
    void PrepareRecording();
    void StartTimeLine(double carriedSeconds); // StartCount and StartClock, moved back by a carried time
    void StorePeakLevels();
    void ShowReports();
    void SetUpTimeAxis();
    void SlideTimeWindow();
    void SetUpLevelAxis();
    void ShowAveragingLock();

    TMeasurementState& State;
    IWaveDevice& Input;
    IWaveDevice& Output;
    TChartModel& Chart;
    IRecordingWindow& Window;
    ISweepAdditions& Sweep;
    IClock& Clock;
    bool Active = false;      // from the start to the stop, settling wait included
    int AveragingApplied = 0; // the averaging item in force
};
