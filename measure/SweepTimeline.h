// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/DelayFinder.h"
#include "analysis/DropoutDetector.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class IStreamInfo;

// A sweep paced by the streams' own frames instead of by timers. Input frames count from the first
// frame the meter analyses, output frames from the first frame the generator fills after it (silence
// until then); a sound played at output frame n is heard in input c at frame n + Trip(c), whatever the
// sound server's buffers hold.
//
// The output plays a short silence, a probe, another short silence (with one common window for two
// inputs, until the probe has been found in both), then the points back to back. Each input has its own
// arrival (a microphone metres away, a loudspeaker that delays): point k's tone plays from ToneStart(k) and
// reaches input c at ToneStart(k) + Trip(c). After the device under test has settled, the frames up to the
// next tone's arrival are the point's window in that input: a point is measured from its windows' frames
// alone, never from a frame of another tone or from before its tone arrived. Each input is a lane with its
// own windows; with one common window (for the meter's levels) it is the part of the point that both inputs
// hold, and each tone is played longer by the inputs' spread so that the common window keeps its length. A
// window in which the tone fell silent for a moment is told apart (DropoutInWindow): the stream had a gap
// there.
//
// Each point's settling and window are planned when the output comes to its tone, by a planner when
// one is given (it may lengthen the points still to come from what the points measured so far tell),
// otherwise the same for every point. A point found unsettled is played again (Rewind) without a new
// probe: the streams have not broken, only the device under test needed longer.
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
    // How much later than the first input an input's probe is still sought: a wireless or DSP
    // loudspeaker, a microphone metres away. An input that does not hear it by then takes the arrival of
    // the first (its own tone may be too far down for the probe to stand out).
    static constexpr double LongestExtraDelaySeconds = 1.0;
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
    static constexpr unsigned PointMissed = 4;     // a window went by before it could begin
    static constexpr unsigned DropoutInWindow = 8; // with a lane's end: its window's tone fell silent
    // Input c's window of a point begins with the next frame, or ended with the frames passed.
    static constexpr unsigned LaneBegins(int input) { return 16u << input; }
    static constexpr unsigned LaneEnds(int input) { return 64u << input; }

    // Before the devices start (this allocates): points firstIndex .. frequencies.size() - 1, each
    // measured for pointFrames after the settling unless a planner plans them; inputs: bit 0 left, bit 1
    // right, those whose points count (the probe is sought in each); origin: the input whose arrival is
    // the time origin of phases (the reference), -1: the earliest one; separate: each input has windows
    // of its own, otherwise one common window; dithered: the tones get a triangular dither; output: the
    // stream whose gaps after the probe has been played spoil the round trip.
    struct TSetUp
    {
        int FrameRate = 48000;
        int PointFrames = 1;
        int FirstIndex = 0;
        std::vector<double> Frequencies;
        unsigned Inputs = 1;
        int Origin = -1;
        bool Separate = false;
        ISweepPointPlanner* Planner = nullptr;
        bool Dithered = false;
        const IStreamInfo* Output = nullptr;
    };
    void Begin(TSetUp setUp);
    // The same sweep again from firstIndex on, as if the devices had just started: a new probe finds
    // the arrivals anew. The input's count starts again once what was played before has been heard,
    // the output's after it. Does not allocate.
    void Restart(int firstIndex);
    // Point (whose windows have all ended, or not) is played again from the next output frame on, planned
    // anew; the points after it follow it again. The arrivals stay. Does not allocate.
    void Rewind(int point);
    void End() { Running = false; }
    bool Active() const { return Running; }

    // Output side: the next part of the output, at most `frames` long; the output count moves on.
    TOutputPart NextOutput(int frames);
    // The output's gaps counted when the probe's first frame was handed out; nothing before.
    std::optional<std::uint64_t> OutputXrunsAtProbe() const { return XrunsAtProbe; }

    // Input side, in the order the frames come: the frames up to the next boundary of a window (its
    // start or end, in any lane), 1 .. frames; and what stereo 16-bit frames passed bring. `point` is the
    // point being taken: PointEnds once every lane's window of it has ended, PointBegins (with one common
    // window) once it begins.
    int FramesToBoundary(int frames, int point) const;
    unsigned Passed(const float* frames, int count, int point);

    // The probe was sought over the longest round trip and not found (in the origin, or in any input).
    bool ProbeMissing() const { return Missing; }
    // The origin's arrival once every input's is known: whole frames, and to a fraction of a frame as
    // the probe's correlation places it.
    std::optional<std::int64_t> RoundTrip() const;
    double ExactRoundTrip() const { return ExactTrips[static_cast<std::size_t>(OriginInput)]; }
    // Input's arrival after the origin's, in frames, when its own probe was found (so 0 for the origin).
    std::optional<double> Delay(int input) const;
    // Where point's tone starts in the output; far beyond any frame for a point not planned yet.
    std::int64_t ToneStart(int point) const;
    std::int64_t InputFrames() const { return InputCount; }
    // The generator's phase at the first frame of point's tone (the generator notes it).
    void NoteTonePhase(int point, double phase);
    double TonePhase(int point) const;
    // The point whose window in input's lane began last or is awaited, and the one that ended last.
    int LanePoint(int input) const { return Lanes[static_cast<std::size_t>(input)].Point; }
    int LaneEndedPoint(int input) const { return Lanes[static_cast<std::size_t>(input)].Ended; }
    // The next input frames belong to a window in input's lane.
    bool InWindow(int input) const;
    // The settling planned for point (0 for a point not planned).
    int Settling(int point) const { return Planned(point) ? Settlings[Index(point)] : 0; }
    int Points() const { return static_cast<int>(Frequencies.size()); }
    double Frequency(int point) const { return Frequencies[static_cast<std::size_t>(point)]; }

private:
    struct TLane
    {
        int Point = 0;  // the point whose window is awaited or open
        int Ended = -1; // the last point whose window ended
        bool Begun = false;
        std::int64_t Trip = 0; // whole frames
        TDropoutDetector Dropouts;
    };

    std::size_t Index(int point) const { return static_cast<std::size_t>(point - FirstIndex); }
    bool Planned(int point) const { return point >= FirstIndex && point - FirstIndex < PlannedCount; }
    bool Counted(int input) const { return (Inputs & (1u << input)) != 0; }
    bool WaitsForArrivals() const { return !SeparateLanes && Inputs == 3u; }
    std::int64_t WindowStart(int input, int point) const;
    std::int64_t WindowEnd(int input, int point) const;
    void PlanNext();
    void SeekProbe(const float* frames, int count);
    void Resolve();
    void ResetLanes(int point);
    unsigned PassLane(int input, const float* frames, int count);

    bool Running = false;
    int Rate = 48000;
    int FirstIndex = 0;
    TPointPlan FixedPlan;
    ISweepPointPlanner* Planner = nullptr;
    const IStreamInfo* OutputStream = nullptr;
    bool Dither = false, SeparateLanes = false;
    unsigned Inputs = 1;
    int Origin = -1;     // as set up
    int OriginInput = 0; // in force: the origin, or the earliest input
    std::int64_t LeadFrames = 0, ProbeFrames = 0, GapFrames = 0;
    std::int64_t EarliestTrip = 0, LatestTrip = 0; // of the inputs that count
    std::vector<double> Frequencies;
    // The probe rising in frequency and its mirror: a new probe before the arrivals were known is the
    // other one, so that the one played before cannot be taken for it.
    std::array<std::vector<double>, 2> Probes;
    std::array<std::unique_ptr<TDelayFinder>, 2> Finders;
    int ProbeInUse = 0;
    // Per point from the first: where its tone starts (one more: where the last one's window ends),
    // its settling and the generator's phase at its start. Points 0 .. PlannedCount - 1 are planned.
    std::vector<std::int64_t> Starts;
    std::vector<int> Settlings;
    std::vector<double> Phases;
    int PlannedCount = 0, OutputPoint = 0;
    std::int64_t OutputCount = 0, InputCount = 0;
    std::int64_t Unheard = 0; // input frames still bringing what was played before a restart
    std::optional<std::uint64_t> XrunsAtProbe;
    // The probe's search: the input's first frames per channel, and where each input heard it.
    std::array<std::vector<double>, 2> Heard;
    std::size_t SoughtAt = 0; // frames heard at the last search
    std::array<std::optional<double>, 2> Found;
    std::array<double, 2> ExactTrips{};
    bool Resolved = false, Missing = false;
    std::array<TLane, 2> Lanes;
};
