// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/DelayFinder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// A sweep paced by the streams' own frames instead of by timers. Output frames count from the first
// frame the generator fills, input frames from the first frame the meter analyses; a sound played at
// output frame n is heard at input frame n + RoundTrip, whatever the sound server's buffers hold.
//
// The output plays a short silence, a probe (found again in the input: that gives the round trip),
// another short silence, then the points back to back, each for StepFrames: point k's tone plays from
// ToneStart(k) and reaches the input at ToneStart(k) + RoundTrip. After the device under test has
// settled, the frames up to the next tone's arrival are the point's window: a point is measured from
// its window's frames alone, never from a frame of another tone or from before its tone arrived.
class TSweepTimeline
{
public:
    static constexpr double LeadSeconds = 0.05; // the input may start a little after the output
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
    };

    // What the input frames passed last brought (ISweepPacing's events, and these).
    static constexpr unsigned PointMissed = 4; // the point's window went by before it could begin

    // Before the devices start (this allocates): points firstIndex .. frequencies.size() - 1, each
    // measured for pointFrames after the settling; channels: bit 0 left, bit 1 right, the inputs where
    // the probe is sought.
    void Begin(int frameRate, int pointFrames, int firstIndex, std::vector<double> frequencies,
               unsigned channels);
    void End() { Running = false; }
    bool Active() const { return Running; }

    // Output side: the next part of the output, at most `frames` long; the output count moves on.
    TOutputPart NextOutput(int frames);

    // Input side, in the order the frames come, for the point being measured: the frames up to the
    // point's next boundary (its window's start or end), 1 .. frames; and what stereo 16-bit frames
    // passed bring.
    int FramesToBoundary(int frames, int point) const;
    unsigned Passed(const std::int16_t* frames, int count, int point);

    // The probe was sought over the longest round trip and not found.
    bool ProbeMissing() const { return Missing; }
    std::optional<std::int64_t> RoundTrip() const { return Trip; }
    std::int64_t ToneStart(int point) const;
    std::int64_t InputFrames() const { return InputCount; }

private:
    std::int64_t WindowStart(int point) const { return ToneStart(point) + *Trip + SettlingFrames; }
    std::int64_t WindowEnd(int point) const { return ToneStart(point + 1) + *Trip; }
    void SeekProbe(const std::int16_t* frames, int count);

    bool Running = false;
    int Rate = 48000;
    int StepFrames = 0, FirstIndex = 0;
    std::int64_t LeadFrames = 0, ProbeFrames = 0, GapFrames = 0, SettlingFrames = 0;
    std::vector<double> Frequencies, ProbeSamples;
    unsigned Channels = 1;
    std::int64_t OutputCount = 0, InputCount = 0;
    // The probe's search: the input's first frames per channel, and the finder.
    std::unique_ptr<TDelayFinder> Finder;
    std::vector<double> Heard[2];
    double HeardEnergy[2] = {0, 0};
    std::size_t SoughtAt = 0; // frames heard at the last search
    std::optional<std::int64_t> Trip;
    bool Missing = false;
    int BegunPoint = -1;
};
