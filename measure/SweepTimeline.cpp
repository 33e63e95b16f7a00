// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SweepTimeline.h"

#include "measure/MeterPorts.h"

#include <algorithm>
#include <cmath>
#include <limits>

void TSweepTimeline::Begin(int frameRate, int pointFrames, int firstIndex, std::vector<double> frequencies,
                           unsigned channels, ISweepPointPlanner* planner, bool dithered)
{
    Rate = std::max(frameRate, 1);
    Frequencies = std::move(frequencies);
    Planner = planner;
    Dither = dithered;
    Channels = channels & 3u ? channels & 3u : 1u;
    ProbeSamples = ProbeChirp(Rate, ProbeSeconds, ProbeStartHz, std::min(16000.0, 0.4 * Rate));
    ProbeFrames = static_cast<std::int64_t>(ProbeSamples.size());
    LeadFrames = std::llround(LeadSeconds * Rate);
    GapFrames = std::llround(GapSeconds * Rate);
    FixedPlan = {static_cast<int>(std::llround(SettlingSeconds * Rate)), std::max(pointFrames, 1)};
    const auto longestLag = static_cast<std::size_t>(LongestRoundTripSeconds * Rate);
    if (!Finder || Finder->RecordingFrames() != ProbeSamples.size() + longestLag)
        Finder = std::make_unique<TDelayFinder>(ProbeSamples, longestLag);
    for (std::vector<double>& heard : Heard)
        heard.reserve(Finder->RecordingFrames());
    Restart(firstIndex); // later restarts go on from a later point: they need no more room
    Unheard = 0;         // the devices start with this sweep
}

void TSweepTimeline::Restart(int firstIndex)
{
    // What the output played so far is still on its way to the input: the new probe is sought once it
    // has gone by (with the round trip not found yet, a little after the last frame played).
    Unheard = std::max<std::int64_t>(OutputCount + Trip.value_or(0) - InputCount, 0) + GapFrames;
    FirstIndex = firstIndex;
    const std::size_t points = static_cast<std::size_t>(std::max<int>(Points() - FirstIndex, 0));
    Starts.assign(points + 1, 0);
    Settlings.assign(points, 0);
    Phases.assign(points, 0.0);
    Starts[0] = LeadFrames + ProbeFrames + GapFrames;
    PlannedCount = OutputPoint = 0;
    for (std::vector<double>& heard : Heard)
        heard.clear();
    HeardEnergy[0] = HeardEnergy[1] = 0;
    SoughtAt = 0;
    OutputCount = InputCount = 0;
    Trip.reset();
    ExactTrip = 0;
    Missing = false;
    BegunPoint = -1;
    Running = true;
}

std::int64_t TSweepTimeline::ToneStart(int point) const
{
    // A start is known once the point before it is planned.
    if (point < FirstIndex || point - FirstIndex > PlannedCount)
        return std::numeric_limits<std::int64_t>::max() / 4;
    return Starts[Index(point)];
}

void TSweepTimeline::PlanNext()
{
    const int point = FirstIndex + PlannedCount;
    const TPointPlan plan = Planner ? Planner->PlanPoint(point, Frequency(point)) : FixedPlan;
    const auto at = static_cast<std::size_t>(PlannedCount);
    Settlings[at] = std::max(plan.SettlingFrames, 0);
    Starts[at + 1] = Starts[at] + Settlings[at] + std::max(plan.WindowFrames, 1);
    ++PlannedCount;
}

void TSweepTimeline::NoteTonePhase(int point, double phase)
{
    if (Planned(point))
        Phases[Index(point)] = phase;
}

double TSweepTimeline::TonePhase(int point) const
{
    return Planned(point) ? Phases[Index(point)] : 0.0;
}

bool TSweepTimeline::InWindow(int point) const
{
    return Running && Trip && BegunPoint == point && Planned(point) && InputCount >= WindowStart(point) &&
           InputCount < WindowEnd(point);
}

TSweepTimeline::TOutputPart TSweepTimeline::NextOutput(int frames)
{
    // The output's count starts once the input has passed a frame: a sound server may start the input
    // well after the output, and the probe must not play before the input listens.
    if (InputCount == 0)
        return TOutputPart{TOutputKind::Silence, frames, {}, 0};
    const std::int64_t at = OutputCount;
    TOutputPart part{TOutputKind::Tone, frames, {}, 0};
    const std::int64_t probeEnd = LeadFrames + ProbeFrames, firstTone = Starts[0];
    if (at < LeadFrames || (at >= probeEnd && at < firstTone)) {
        part.Kind = TOutputKind::Silence;
        part.Frames =
            static_cast<int>(std::min<std::int64_t>(frames, (at < LeadFrames ? LeadFrames : firstTone) - at));
    } else if (at < probeEnd) {
        part.Kind = TOutputKind::Probe;
        part.Frames = static_cast<int>(std::min<std::int64_t>(frames, probeEnd - at));
        part.Probe = std::span<const double>(ProbeSamples)
                         .subspan(static_cast<std::size_t>(at - LeadFrames), part.Frames);
    } else if (Starts.size() < 2) { // no point to play
        part.Kind = TOutputKind::Silence;
    } else {
        // Parts end where tones do: a point is planned as its tone begins. The last point's tone goes
        // on until the sweep stops.
        const int last = static_cast<int>(Settlings.size()) - 1;
        for (;;) {
            if (OutputPoint == PlannedCount)
                PlanNext();
            if (OutputPoint < last && at >= Starts[static_cast<std::size_t>(OutputPoint) + 1]) {
                ++OutputPoint;
                continue;
            }
            break;
        }
        const auto index = static_cast<std::size_t>(OutputPoint);
        part.Point = FirstIndex + OutputPoint;
        part.Frequency = Frequency(part.Point);
        part.Begins = at == Starts[index];
        part.Dithered = Dither;
        if (OutputPoint < last)
            part.Frames = static_cast<int>(std::min<std::int64_t>(frames, Starts[index + 1] - at));
    }
    OutputCount += part.Frames;
    return part;
}

int TSweepTimeline::FramesToBoundary(int frames, int point) const
{
    // A point not planned yet has not begun to play, so none of its boundaries can be in the input.
    if (!Running || !Trip || !Planned(point))
        return frames;
    const std::int64_t start = WindowStart(point), end = WindowEnd(point);
    const std::int64_t boundary = InputCount < start ? start : (InputCount < end ? end : InputCount + frames);
    return static_cast<int>(std::clamp<std::int64_t>(boundary - InputCount, 1, frames));
}

unsigned TSweepTimeline::Passed(const std::int16_t* frames, int count, int point)
{
    if (Running && Unheard > 0) {
        const auto skipped = static_cast<int>(std::min<std::int64_t>(Unheard, count));
        Unheard -= skipped;
        frames += 2 * static_cast<std::ptrdiff_t>(skipped);
        count -= skipped;
    }
    InputCount += count;
    if (!Running || count <= 0)
        return 0;
    if (!Trip) {
        SeekProbe(frames, count);
        if (!Trip)
            return 0;
    }
    if (!Planned(point))
        return 0;
    const std::int64_t start = WindowStart(point), end = WindowEnd(point);
    if (BegunPoint == point) {
        Dropouts.Add(frames, count); // the frames were cut at the window's bounds
        if (InputCount < end)
            return 0;
        return ISweepPacing::PointEnds | (Dropouts.DropoutHeard() ? DropoutInWindow : 0u);
    }
    if (InputCount >= end)
        return PointMissed;
    if (InputCount < start)
        return 0;
    BegunPoint = point; // at its start, or later when the probe was found late
    Dropouts.Begin(Frequency(point), Rate, Channels);
    return ISweepPacing::PointBegins;
}

void TSweepTimeline::SeekProbe(const std::int16_t* frames, int count)
{
    const std::size_t room = Finder->RecordingFrames() - Heard[0].size();
    const auto used = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(count), room));
    for (int channel = 0; channel < 2; ++channel)
        for (int i = 0; i < used; ++i) {
            const double x = frames[2 * i + channel] / 32768.0;
            Heard[channel].push_back(x);
            HeardEnergy[channel] += x * x;
        }
    // A search costs a transform of the whole span: one every tenth of a second, in the louder of the
    // channels measured, until the probe has been heard whole.
    // The probe leaves the output at LeadFrames, so the input's frames before that cannot hold it; they
    // are not searched, for they may hold a burst of the input's own (a card's ambient sound fading as
    // the output starts, a click as it opens) that stands out from the quiet after it in a short
    // recording, and would be taken for the probe.
    const std::size_t heard = Heard[0].size(), lead = static_cast<std::size_t>(LeadFrames);
    const bool full = heard == Finder->RecordingFrames();
    if (heard < lead + static_cast<std::size_t>(ProbeFrames) ||
        (heard - SoughtAt < static_cast<std::size_t>(Rate / 10) && !full))
        return;
    SoughtAt = heard;
    const int channel = Channels == 3u ? (HeardEnergy[1] > HeardEnergy[0] ? 1 : 0) : (Channels == 2u ? 1 : 0);
    const auto found = Finder->Find(std::span<const double>(Heard[channel]).subspan(lead));
    // Only a probe heard whole counts: part of it (its low end only) places it less sharply. The lag
    // found counts from LeadFrames, where the probe left the output: it is the round trip.
    if (found && found->Lag + static_cast<double>(ProbeFrames) <= static_cast<double>(heard - lead)) {
        Trip = static_cast<std::int64_t>(std::ceil(found->Lag));
        ExactTrip = found->Lag;
    } else if (full)
        Missing = true;
}
