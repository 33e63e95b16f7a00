// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/SynchronousDetector.h"
#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "measure/SweepTimeline.h"

#include <array>
#include <memory>

// What synchronous detection made of one point, per input (0 left, 1 right): the level in dB as the
// meter publishes levels (the fundamental's mean square, calibration added and the microphone's
// deviation taken off), or for the input measured against a reference the ratio of the two in dB; and
// the point's phase, harmonics and distortion.
struct TDetectedPoint
{
    std::array<double, 2> Level{};
    std::array<TPointDetail, 2> Detail{};
};

// The synchronous detection of a sweep's points: plans each point's settling and window (whole
// periods of the tone, at least MinimumPeriods and the shortest point time, lengthened up to the
// longest one while the points measured so far say that their level's standard error would be above
// TargetErrorDb), and measures each window against the generator's own tone.
//
// Phases: without a reference, the fundamental's phase relative to the generator's tone with the round
// trip the probe measured taken off (so it includes what the probe's placing missed); with one, the
// phase of measured over reference, in which the card and every latency cancel. Degrees, (-180, 180].
class TSweepDetection final : public ISweepPointPlanner
{
public:
    static constexpr double TargetErrorDb = 0.005;
    static constexpr double MinimumPeriods = 10;
    static constexpr double SettlingPeriods = 3;
    static constexpr double ShortestSettlingSeconds = 0.005;
    // The first tone starts from silence: the device's response to its onset (a loudspeaker's
    // movement, a coupling capacitor charging to a new offset) dies away more slowly than a change of
    // frequency's does, and would leak into the harmonics.
    static constexpr double OnsetSettlingSeconds = 0.1;

    explicit TSweepDetection(const TMeasurementState& state);
    TSweepDetection(const TSweepDetection&) = delete;
    TSweepDetection& operator=(const TSweepDetection&) = delete;

    // The generator's tone of `frequency` advances by this many radians a frame (it steps with 3.14159
    // for pi, so its true frequency is a little below the nominal one).
    static double ToneStep(double frequency, int frameRate);
    // A point's settling and its shortest window, in frames.
    static TPointPlan ShortestPlan(double frequency, int frameRate, const TDetectionSettings& settings);

    // Before the devices start (allocates): the points' frequencies are the timeline's.
    void Begin(int frameRate, const TSweepTimeline& timeline);
    // The timeline has restarted: its next point follows silence again, as the first one did.
    void Restart() { FirstPlanned = false; }
    TPointPlan PlanPoint(int point, double frequency) override;

    // Point's window begins with the input's next frame, takes stereo frames, and ends; Finish is false
    // when the reference input heard nothing of the tone.
    void BeginWindow(int point);
    void Add(const float* frames, int count);
    bool Finish(int point);
    const TDetectedPoint& Point() const { return Taken; }

private:
    TPointDetail DetailOf(const TSynchronousDetector::TResult& result) const;
    double LevelOf(const TSynchronousDetector::TResult& result, int input, double frequency) const;

    const TMeasurementState& State;
    const TSweepTimeline* Timeline = nullptr;
    int Rate = 48000;
    std::array<std::unique_ptr<TSynchronousDetector>, 2> Detectors;
    double RequiredSeconds = 0; // what the last point's noise asks of a window
    bool FirstPlanned = false;  // a point after the silence around the probe is planned
    TDetectedPoint Taken;
};
