// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/ChartModel.h"
#include "common/Clock.h"
#include "measure/MeasurementState.h"
#include "measure/MeterFilters.h"
#include "measure/MeterPorts.h"

#include <cstdint>

// Widens an automatic level axis by the excess (dB) and rounds its ends to whole dB, halves to even.
void WidenLevelRange(double& minimum, double& maximum, double excess);

// Turns the recorded blocks into the two levels and publishes them to the read-outs, the chart and
// the acquisition queue. Block analysis weights every sample in frequency and in time and feeds the
// statistics; the tick converts to decibels and publishes.
class TLevelMeter
{
public:
    // Digital silence has no logarithm: every level (read-out, chart, queue, files) is at least this,
    // well below the quietest non-silent 16-bit block (one LSB in a million frames is about -147 dB).
    static constexpr double SilenceLevel = -200.0;

    TLevelMeter(TMeasurementState& state, const IStreamInfo& input, TChartModel& chart,
                IAcquisitionSink& sink, IMeterWindow& window, IClock& clock = ProgramClock());
    TLevelMeter(const TLevelMeter&) = delete;
    TLevelMeter& operator=(const TLevelMeter&) = delete;

    // The input's OnBufferFilled: Count float samples of stereo frames, left unchanged; always true
    // (re-queue).
    bool AnalyseBlock(float* Samples, int& Count);
    // A sweep paced by the input's frames takes its points when the pacing says, not at the ticks.
    void SetSweepPacing(ISweepPacing* pacing) { Pacing = pacing; }
    // tmrTimer's work: the levels, then the clock panel (recording) or the sweep step (sweep).
    void Tick();
    void RefreshLevels();
    // Calibration's block levels (no offset, no averaging) and the peak capture.
    void CaptureCalibrationLevels();
    // The energy mean of every block analysed from StartEnergyMean on, as a level without offset (the
    // last block's when none has come since): a steady tone measured over many of its periods.
    void StartEnergyMean();
    double EnergyMeanLevel(int channel) const;

    // 10 log10(meanSquare / 32767^2) + offset, never below SilenceLevel and never NaN.
    static double Level(long double meanSquare, double offset);
    // 20 log10(largest sample magnitude / PeakReference) of a channel's extremes since the last reset (0
    // left, 1 right): 0 dB once it overloaded, SilenceLevel when it saw nothing but zeros.
    static double PeakLevel(const TMeasurementState& state, int channel);

    // The lowest frame rate the weighting filters are built for (the lowest the program offers);
    // below it the meter measures unweighted.
    static constexpr int MinimumWeightedRate = 8000;

private:
    using TStereo = TMeterFilters::TStereo;
    // The block's mean squares, the time-weighted ones after it and the statistics.
    void MeasureBlock(const float* samples, int frames, int frameRate);
    void FoldExtremes(double minL, double maxL, double minR, double maxR);
    void PublishSoundPressure();
    void PublishSweep();
    void ShowReadouts(double left, double right);
    void FitLevelAxis();
    void AppendChannelPoint(int series, double value);
    bool DirectTickDue() const;
    bool Paced() const;
    void FollowPacing(unsigned events); // what a sweep's pacing said of the segment just measured
    void CapturePeak(int channel);
    bool SignalOverload(int channel, double magnitude); // red read-out and beep at the overload

    TMeasurementState& State;
    const IStreamInfo& Input;
    TChartModel& Chart;
    IAcquisitionSink& Sink;
    IMeterWindow& Window;
    IClock& Clock;
    ISweepPacing* Pacing = nullptr;
    TStereo PointSquares{}; // of the sweep's point being measured
    long double PointFrames = 0;
    long double EnergyL = 0, EnergyR = 0; // sums of squares since StartEnergyMean
    long double EnergyFrames = 0;
    TMeterFilters Filters;
};
