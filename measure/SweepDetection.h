// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/SynchronousDetector.h"
#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "measure/SweepTimeline.h"

#include <array>
#include <memory>
#include <vector>

// What synchronous detection made of one point, per input (0 left, 1 right): the level in dB as the
// meter publishes levels (the fundamental's mean square, calibration added and the microphone's
// deviation taken off), or for the input measured against a reference the ratio of the two in dB; and
// the point's phase, harmonics, distortion and marks (overload, unsettled).
struct TDetectedPoint
{
    unsigned Inputs = 0; // bit 0 left, bit 1 right: the inputs measured (the others hold nothing)
    std::array<double, 2> Level{};
    std::array<TPointDetail, 2> Detail{};
};

// The detection of a sweep's points in each input's own windows: plans each point's settling and window
// (whole periods of the tone, at least MinimumPeriods and the shortest point time, lengthened up to the
// longest one while the points measured so far say that their level's standard error would be above
// TargetErrorDb; with the averaged-level method the point time), measures each window against the
// generator's own tone, and judges whether the tone had settled in it.
//
// Settling: a point is kept once the two halves of its windows agree, within SettledSigmas of their own
// noise or SettledTolerance of the point itself. A point that had not settled is played again with a
// longer settling (by half its settling and window, more the farther its halves were apart), up to the
// user's longest settling; one that has not settled even then is kept and marked. The settling a point
// needed is planned for the points after it, shortened by a quarter each time a point settled with a margin,
// so that a resonance costs time only around it.
//
// Phases: every input's windows are placed by its own arrival, and every phase is taken against the
// generator's tone as the origin's arrival (the reference's) places it, so that a delay between the
// inputs stays in the phase (-360 f d). Without a reference, the fundamental's phase relative to the
// generator's tone with the earliest input's round trip taken off; with one, the phase of measured over
// reference, in which the card and every latency but the device's own cancel. Degrees, (-180, 180].
// The inputs whose windows a sweep measures: the measured channels and the reference (bit 0 left, 1 right).
unsigned SweepInputs(const TMeasurementState& state);

class TSweepDetection final : public ISweepPointPlanner
{
public:
    static constexpr double TargetErrorDb = 0.005;
    static constexpr double MinimumPeriods = 10;
    static constexpr double SettlingPeriods = 3;
    static constexpr double ShortestSettlingSeconds = 0.005;
    static constexpr double SettledTolerance = 3e-4; // of the point: 0.0026 dB, 0.017 degrees
    static constexpr double SettledSigmas = 4;       // noise exceeds it once in 3000 halves
    // The first tone starts from silence: the device's response to its onset (a loudspeaker's
    // movement, a coupling capacitor charging to a new offset) dies away more slowly than a change of
    // frequency's does, and would leak into the harmonics.
    static constexpr double OnsetSettlingSeconds = 0.1;

    enum class TVerdict { Taken, Unsettled, Dropout, ReferenceSilent };

    explicit TSweepDetection(const TMeasurementState& state);
    TSweepDetection(const TSweepDetection&) = delete;
    TSweepDetection& operator=(const TSweepDetection&) = delete;

    // The generator's tone of `frequency` advances by this many radians a frame (it steps with 3.14159
    // for pi, so its true frequency is a little below the nominal one).
    static double ToneStep(double frequency, int frameRate);
    // A point's shortest settling and window in frames; a window of pointFrames with the averaged-level
    // method (pointFrames > 0).
    static TPointPlan ShortestPlan(double frequency, int frameRate, const TDetectionSettings& settings,
                                   int pointFrames = 0);

    // Before the devices start (allocates): the points' frequencies are the timeline's; pointFrames > 0:
    // the averaged-level method's windows, whose levels the meter measures. integerSamples: the input
    // streams 16-bit samples (its full scale, OverloadMagnitude, is not a float stream's).
    void Begin(int frameRate, bool integerSamples, const TSweepTimeline& timeline, int pointFrames = 0);
    // The timeline has restarted: its next point follows silence again, as the first one did.
    void Restart() { FirstPlanned = false; }
    TPointPlan PlanPoint(int point, double frequency) override;

    // Input's window (of the timeline's LanePoint) begins with the input's next frame; stereo frames for
    // the inputs whose bit is set in `inWindow`; input's window (LaneEndedPoint) ended, with a dropout in
    // it or not.
    void BeginWindow(int input);
    void Add(const float* frames, int count, unsigned inWindow);
    void EndWindow(int input, bool dropout);
    // Every window of point has ended: whether it is taken (Point() holds it), must be played again
    // after a longer settling, or the streams or the reference failed it.
    TVerdict Finish(int point);
    const TDetectedPoint& Point() const { return Taken; }
    // The point taken holds no phase: what it would hold is no measurement.
    void DropPhases()
    {
        for (TPointDetail& detail : Taken.Detail)
            detail.Measured &= ~TPointDetail::PhaseMeasured;
    }

private:
    struct TWindow
    {
        TSynchronousDetector::TResult Result;
        bool Dropout = false;
    };
    TWindow& Slot(int input, int point);
    TPointDetail DetailOf(const TSynchronousDetector::TResult& result) const;
    double LevelOf(const TSynchronousDetector::TResult& result, int input, double frequency) const;
    // How far a measured input's halves are apart, as a share of what they may be; 0 for nothing to judge.
    double Unsettledness(int input, int reference) const;
    int LongestSettling(const TPointPlan& shortest) const;

    const TMeasurementState& State;
    const TSweepTimeline* Timeline = nullptr;
    int Rate = 48000;
    double FullScale = OverloadMagnitude(false); // in FullScaleUnits
    int FixedWindow = 0;                         // frames, with the averaged-level method
    std::array<std::unique_ptr<TSynchronousDetector>, 2> Detectors;
    // The windows that ended, per input, of the points in flight (an input far behind the other ends a
    // point while the other is some points further on).
    std::array<std::vector<TWindow>, 2> Windows;
    std::array<const TSynchronousDetector::TResult*, 2> Judged{};
    double RequiredSeconds = 0; // what the last point's noise asks of a window
    int Learned = 0;            // frames of settling the last points needed
    bool FirstPlanned = false;  // a point after the silence around the probe is planned
    TDetectedPoint Taken;
};
