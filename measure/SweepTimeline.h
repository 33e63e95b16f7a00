// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/DelayFinder.h"
#include "analysis/DropoutDetector.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// A sweep paced by the streams' own frames instead of by timers. Input frames count from the first
// frame the meter analyses, output frames from the first frame the generator fills after it (silence
// until then); a sound played at output frame n is heard at input frame n + RoundTrip, whatever the
// sound server's buffers hold.
//
// The output plays a short silence, a probe (found again in the input: that gives the round trip),
// another short silence, then the points back to back: point k's tone plays from ToneStart(k) and
// reaches the input at ToneStart(k) + RoundTrip. After the device under test has settled, the frames up
// to the next tone's arrival are the point's window: a point is measured from its window's frames
// alone, never from a frame of another tone or from before its tone arrived. A window in which the
// tone fell silent for a moment is told apart (DropoutInWindow): the stream had a gap there.
//
// Each point's settling and window are planned when the output comes to its tone, by a planner when
// one is given (it may lengthen the points still to come from what the points measured so far tell),
// otherwise the same for every point.
struct TPointPlan
{
    int SettlingFrames = 0;
    int WindowFrames = 1;
};

class ISweepPointPlanner
{
public:
    virtual ~ISweepPointPlanner() = default;
    virtual TPointPlan PlanPoint(int point, double frequency) = 0;
};

class TSweepTimeline
{
public:
    static constexpr double LeadSeconds = 0.05; // silence before the probe
    static constexpr double ProbeSeconds = 0.1;
    static constexpr double ProbeStartHz = 100.0;
    static constexpr double GapSeconds = 0.15; // longer than the probe's search interval
    static constexpr double LongestRoundTripSeconds = 3.0;
    static constexpr double SettlingSeconds = 0.005; // the device under test, after a change of tone

    enum class TOutputKind { Probe, Silence, Tone };
    struct TOutputPart
    {
        TOutputKind Kind;
        int Frames;
        std::span<const double> Probe; // Probe: its samples for these frames, peak 1
        double Frequency = 0;          // Tone
        int Point = -1;                // Tone: whose
        bool Begins = false;           // Tone: its first frame is the point's first
        bool Dithered = false;         // Tone: to be dithered
    };

    // What the input frames passed last brought (ISweepPacing's events, and these).
    static constexpr unsigned PointMissed = 4;     // the point's window went by before it could begin
    static constexpr unsigned DropoutInWindow = 8; // with PointEnds: the window's tone fell silent

    // Before the devices start (this allocates): points firstIndex .. frequencies.size() - 1, each
    // measured for pointFrames after the settling unless a planner plans them; channels: bit 0 left,
    // bit 1 right, the inputs where the probe is sought; dithered: the tones get a triangular dither.
    void Begin(int frameRate, int pointFrames, int firstIndex, std::vector<double> frequencies,
               unsigned channels, ISweepPointPlanner* planner = nullptr, bool dithered = false);
    // The same sweep again from firstIndex on, as if the devices had just started: a new probe finds
    // the round trip anew. The input's count starts again once what was played before has been heard,
    // the output's after it. Does not allocate.
    void Restart(int firstIndex);
    void End() { Running = false; }
    bool Active() const { return Running; }

    // Output side: the next part of the output, at most `frames` long; the output count moves on.
    TOutputPart NextOutput(int frames);

    // Input side, in the order the frames come, for the point being measured: the frames up to the
    // point's next boundary (its window's start or end), 1 .. frames; and what stereo 16-bit frames
    // passed bring.
    int FramesToBoundary(int frames, int point) const;
    unsigned Passed(const float* frames, int count, int point);

    // The probe was sought over the longest round trip and not found.
    bool ProbeMissing() const { return Missing; }
    std::optional<std::int64_t> RoundTrip() const { return Trip; }
    // The round trip to a fraction of a frame, as the probe's correlation places it.
    double ExactRoundTrip() const { return ExactTrip; }
    // Where point's tone starts in the output; far beyond any frame for a point not planned yet.
    std::int64_t ToneStart(int point) const;
    std::int64_t InputFrames() const { return InputCount; }
    // The generator's phase at the first frame of point's tone (the generator notes it).
    void NoteTonePhase(int point, double phase);
    double TonePhase(int point) const;
    // The next input frames belong to point's window (it has begun and not ended).
    bool InWindow(int point) const;
    int Points() const { return static_cast<int>(Frequencies.size()); }
    double Frequency(int point) const { return Frequencies[static_cast<std::size_t>(point)]; }

private:
    std::size_t Index(int point) const { return static_cast<std::size_t>(point - FirstIndex); }
    bool Planned(int point) const { return point >= FirstIndex && point - FirstIndex < PlannedCount; }
    std::int64_t WindowStart(int point) const { return ToneStart(point) + *Trip + Settlings[Index(point)]; }
    std::int64_t WindowEnd(int point) const { return ToneStart(point + 1) + *Trip; }
    void PlanNext();
    void SeekProbe(const float* frames, int count);

    bool Running = false;
    int Rate = 48000;
    int FirstIndex = 0;
    TPointPlan FixedPlan;
    ISweepPointPlanner* Planner = nullptr;
    bool Dither = false;
    std::int64_t LeadFrames = 0, ProbeFrames = 0, GapFrames = 0;
    std::vector<double> Frequencies, ProbeSamples;
    // Per point from the first: where its tone starts (one more: where the last one's window ends),
    // its settling and the generator's phase at its start. Points 0 .. PlannedCount - 1 are planned.
    std::vector<std::int64_t> Starts;
    std::vector<int> Settlings;
    std::vector<double> Phases;
    int PlannedCount = 0, OutputPoint = 0;
    unsigned Channels = 1;
    std::int64_t OutputCount = 0, InputCount = 0;
    std::int64_t Unheard = 0; // input frames still bringing what was played before a restart
    // The probe's search: the input's first frames per channel, and the finder.
    std::unique_ptr<TDelayFinder> Finder;
    std::vector<double> Heard[2];
    double HeardEnergy[2] = {0, 0};
    std::size_t SoughtAt = 0; // frames heard at the last search
    std::optional<std::int64_t> Trip;
    double ExactTrip = 0;
    bool Missing = false;
    int BegunPoint = -1;
    TDropoutDetector Dropouts; // in the begun point's window
};
