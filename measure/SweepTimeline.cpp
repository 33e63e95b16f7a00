// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SweepTimeline.h"

#include "measure/MeterPorts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t Far = std::numeric_limits<std::int64_t>::max() / 4; // beyond any frame

} // namespace

void TSweepTimeline::Begin(TSetUp setUp)
{
    Rate = std::max(setUp.FrameRate, 1);
    Frequencies = std::move(setUp.Frequencies);
    Planner = setUp.Planner;
    Dither = setUp.Dithered;
    OutputStream = setUp.Output;
    SeparateLanes = setUp.Separate;
    Origin = setUp.Origin >= 0 && setUp.Origin <= 1 ? setUp.Origin : -1;
    Inputs = (setUp.Inputs & 3u ? setUp.Inputs & 3u : 1u) | (Origin >= 0 ? 1u << Origin : 0u);
    Probes[0] = ProbeChirp(Rate, ProbeSeconds, ProbeStartHz, std::min(16000.0, 0.4 * Rate));
    Probes[1].assign(Probes[0].rbegin(), Probes[0].rend());
    ProbeFrames = static_cast<std::int64_t>(Probes[0].size());
    LeadFrames = std::llround(LeadSeconds * Rate);
    GapFrames = std::llround(GapSeconds * Rate);
    FixedPlan = {static_cast<int>(std::llround(SettlingSeconds * Rate)), std::max(setUp.PointFrames, 1)};
    const auto longestLag = static_cast<std::size_t>(LongestRoundTripSeconds * Rate);
    for (std::size_t p = 0; p < Finders.size(); ++p)
        if (!Finders[p] || Finders[p]->RecordingFrames() != Probes[p].size() + longestLag)
            Finders[p] = std::make_unique<TDelayFinder>(Probes[p], longestLag);
    for (std::vector<double>& heard : Heard)
        heard.reserve(Finders[0]->RecordingFrames());
    OutputCount = InputCount = 0;
    Resolved = false;
    ProbeInUse = 0;
    Restart(setUp.FirstIndex); // later restarts go on from a later point: they need no more room
    Unheard = 0;               // the devices start with this sweep
}

void TSweepTimeline::Restart(int firstIndex)
{
    // What the output played so far is still on its way to the input: the new probe is sought once it
    // has gone by. With the arrivals not known yet, a probe played before may still come after that:
    // the new probe is the other one, which the search does not take the old one for.
    std::int64_t latest = 0;
    for (int input = 0; input < 2; ++input)
        if (Resolved && Counted(input))
            latest = std::max(latest, Lanes[static_cast<std::size_t>(input)].Trip);
    Unheard = std::max<std::int64_t>(OutputCount + latest - InputCount, 0) + GapFrames;
    if (!Resolved && OutputCount > LeadFrames)
        ProbeInUse ^= 1;
    FirstIndex = firstIndex;
    const std::size_t points = static_cast<std::size_t>(std::max<int>(Points() - FirstIndex, 0));
    Starts.assign(points + 1, Far);
    // One common window needs the inputs' spread to plan the first tone; windows of their own do not.
    if (!WaitsForArrivals())
        Starts[0] = LeadFrames + ProbeFrames + GapFrames;
    Settlings.assign(points, 0);
    Phases.assign(points, 0.0);
    PlannedCount = OutputPoint = 0;
    for (std::vector<double>& heard : Heard)
        heard.clear();
    SoughtAt = 0;
    Found = {};
    ExactTrips = {};
    OutputCount = InputCount = 0;
    XrunsAtProbe.reset();
    Resolved = Missing = false;
    ResetLanes(firstIndex);
    Running = true;
}

void TSweepTimeline::Rewind(int point)
{
    if (!Resolved || !Planned(point))
        return;
    const std::size_t at = Index(point);
    Starts[at] = std::max(Starts[at], OutputCount);
    std::fill(Starts.begin() + static_cast<std::ptrdiff_t>(at) + 1, Starts.end(), Far);
    PlannedCount = OutputPoint = static_cast<int>(at);
    ResetLanes(point);
}

void TSweepTimeline::ResetLanes(int point)
{
    for (TLane& lane : Lanes) {
        lane.Point = point;
        lane.Ended = point - 1;
        lane.Begun = false;
    }
}

std::optional<std::int64_t> TSweepTimeline::RoundTrip() const
{
    if (!Resolved)
        return std::nullopt;
    return Lanes[static_cast<std::size_t>(OriginInput)].Trip;
}

std::optional<double> TSweepTimeline::Delay(int input) const
{
    const auto at = static_cast<std::size_t>(input);
    if (!Resolved || !Counted(input) || !Found[at])
        return std::nullopt;
    return ExactTrips[at] - ExactRoundTrip();
}

std::int64_t TSweepTimeline::ToneStart(int point) const
{
    // A start is known once the point before it is planned.
    if (point < FirstIndex || point - FirstIndex > PlannedCount)
        return Far;
    return Starts[Index(point)];
}

std::int64_t TSweepTimeline::WindowStart(int input, int point) const
{
    // One common window begins once the tone has reached and settled in the later input.
    const std::int64_t trip = SeparateLanes ? Lanes[static_cast<std::size_t>(input)].Trip : LatestTrip;
    return ToneStart(point) + trip + Settlings[Index(point)];
}

std::int64_t TSweepTimeline::WindowEnd(int input, int point) const
{
    // One common window ends once the earlier input hears the next tone.
    const std::int64_t trip = SeparateLanes ? Lanes[static_cast<std::size_t>(input)].Trip : EarliestTrip;
    return ToneStart(point + 1) + trip;
}

void TSweepTimeline::PlanNext()
{
    const int point = FirstIndex + PlannedCount;
    const TPointPlan plan = Planner ? Planner->PlanPoint(point, Frequency(point)) : FixedPlan;
    const auto at = static_cast<std::size_t>(PlannedCount);
    Settlings[at] = std::max(plan.SettlingFrames, 0);
    // One common window keeps its length however far apart the inputs hear the tone.
    Starts[at + 1] = Starts[at] + Settlings[at] + std::max(plan.WindowFrames, 1) +
                     (SeparateLanes ? 0 : LatestTrip - EarliestTrip);
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

bool TSweepTimeline::InWindow(int input) const
{
    const TLane& lane = Lanes[static_cast<std::size_t>(input)];
    return Running && Resolved && Counted(input) && lane.Begun && Planned(lane.Point);
}

TSweepTimeline::TOutputPart TSweepTimeline::NextOutput(int frames)
{
    // The output's count starts once the input has passed a frame: a sound server may start the input
    // well after the output, and the probe must not play before the input listens.
    if (InputCount == 0)
        return TOutputPart{TOutputKind::Silence, frames, {}, 0};
    const std::int64_t at = OutputCount;
    TOutputPart part{TOutputKind::Tone, frames, {}, 0};
    const std::int64_t probeEnd = LeadFrames + ProbeFrames;
    if (at < LeadFrames || (at >= probeEnd && at < Starts[0])) {
        // With one common window the tones wait until every arrival is known.
        part.Kind = TOutputKind::Silence;
        const std::int64_t until = at < LeadFrames ? LeadFrames : std::min(Starts[0], at + frames);
        part.Frames = static_cast<int>(std::min<std::int64_t>(frames, until - at));
    } else if (at < probeEnd) {
        if (at == LeadFrames && OutputStream)
            XrunsAtProbe = OutputStream->Xruns();
        part.Kind = TOutputKind::Probe;
        part.Frames = static_cast<int>(std::min<std::int64_t>(frames, probeEnd - at));
        part.Probe = std::span<const double>(Probes[static_cast<std::size_t>(ProbeInUse)])
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

int TSweepTimeline::FramesToBoundary(int frames, int) const
{
    // A point not planned yet has not begun to play, so none of its boundaries can be in the input.
    if (!Running || !Resolved)
        return frames;
    int nearest = frames;
    for (int input = 0; input < 2; ++input) {
        const TLane& lane = Lanes[static_cast<std::size_t>(input)];
        if (!Counted(input) || !Planned(lane.Point))
            continue;
        const std::int64_t start = WindowStart(input, lane.Point), end = WindowEnd(input, lane.Point);
        const std::int64_t boundary =
            InputCount < start ? start : (InputCount < end ? end : InputCount + frames);
        nearest =
            std::min(nearest, static_cast<int>(std::clamp<std::int64_t>(boundary - InputCount, 1, frames)));
    }
    return nearest;
}

unsigned TSweepTimeline::Passed(const float* frames, int count, int point)
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
    if (!Resolved) {
        SeekProbe(frames, count);
        return 0; // the tones start after the arrivals are known
    }
    unsigned events = 0;
    bool endedNow = false, allEnded = true;
    for (int input = 0; input < 2; ++input) {
        if (!Counted(input))
            continue;
        const unsigned lane = PassLane(input, frames, count);
        events |= lane;
        const TLane& state = Lanes[static_cast<std::size_t>(input)];
        endedNow = endedNow || ((lane & LaneEnds(input)) && state.Ended == point);
        allEnded = allEnded && state.Ended >= point;
        if (!SeparateLanes && (lane & LaneBegins(input)) && state.Point == point)
            events |= ISweepPacing::PointBegins;
    }
    if (endedNow && allEnded)
        events |= ISweepPacing::PointEnds;
    return events;
}

unsigned TSweepTimeline::PassLane(int input, const float* frames, int count)
{
    TLane& lane = Lanes[static_cast<std::size_t>(input)];
    if (!Planned(lane.Point))
        return 0;
    const std::int64_t start = WindowStart(input, lane.Point), end = WindowEnd(input, lane.Point);
    if (lane.Begun) {
        lane.Dropouts.Add(frames, count); // the frames were cut at the window's bounds
        if (InputCount < end)
            return 0;
        lane.Ended = lane.Point++;
        lane.Begun = false;
        return LaneEnds(input) | (lane.Dropouts.DropoutHeard() ? DropoutInWindow : 0u);
    }
    if (InputCount >= end)
        return PointMissed;
    if (InputCount < start)
        return 0;
    lane.Begun = true;
    lane.Dropouts.Begin(Frequency(lane.Point), Rate, 1u << input);
    return LaneBegins(input);
}

void TSweepTimeline::SeekProbe(const float* frames, int count)
{
    TDelayFinder& finder = *Finders[static_cast<std::size_t>(ProbeInUse)];
    const std::size_t room = finder.RecordingFrames() - Heard[0].size();
    const auto used = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(count), room));
    for (std::size_t channel = 0; channel < 2; ++channel)
        for (int i = 0; i < used; ++i)
            Heard[channel].push_back(frames[2 * i + static_cast<int>(channel)]);
    // A search costs a transform of the whole span: one every tenth of a second, in every input whose
    // probe has not been heard whole yet.
    // The probe leaves the output at LeadFrames, so the input's frames before that cannot hold it; they
    // are not searched, for they may hold a burst of the input's own (a card's ambient sound fading as
    // the output starts, a click as it opens) that stands out from the quiet after it in a short
    // recording, and would be taken for the probe.
    const std::size_t heard = Heard[0].size(), lead = static_cast<std::size_t>(LeadFrames);
    const bool full = heard == finder.RecordingFrames();
    if (heard < lead + static_cast<std::size_t>(ProbeFrames) ||
        (heard - SoughtAt < static_cast<std::size_t>(Rate / 10) && !full))
        return;
    SoughtAt = heard;
    std::optional<double> first;
    bool all = true;
    for (std::size_t input = 0; input < 2; ++input) {
        if (!Counted(static_cast<int>(input)))
            continue;
        if (!Found[input]) {
            const auto found = finder.Find(std::span<const double>(Heard[input]).subspan(lead));
            // Only a probe heard whole counts: part of it (its low end only) places it less sharply.
            if (found && found->Lag + static_cast<double>(ProbeFrames) <= static_cast<double>(heard - lead))
                Found[input] = static_cast<double>(lead) + found->Lag;
        }
        all = all && Found[input].has_value();
        if (Found[input])
            first = std::min(first.value_or(*Found[input]), *Found[input]);
    }
    const bool originHeard =
        Origin >= 0 ? Found[static_cast<std::size_t>(Origin)].has_value() : first.has_value();
    const double waited = first ? static_cast<double>(heard) - *first - static_cast<double>(ProbeFrames) : 0;
    if (originHeard && (all || full || waited >= LongestExtraDelaySeconds * Rate))
        Resolve();
    else if (full)
        Missing = true;
}

void TSweepTimeline::Resolve()
{
    OriginInput = Origin;
    if (OriginInput < 0) // the earliest input heard
        for (int input = 0; input < 2; ++input)
            if (Counted(input) && Found[static_cast<std::size_t>(input)] &&
                (OriginInput < 0 ||
                 *Found[static_cast<std::size_t>(input)] < *Found[static_cast<std::size_t>(OriginInput)]))
                OriginInput = input;
    const double origin = *Found[static_cast<std::size_t>(OriginInput)];
    EarliestTrip = Far;
    LatestTrip = -Far;
    for (std::size_t input = 0; input < 2; ++input) {
        // An input that did not hear the probe is taken to hear the tones when the origin does.
        const double lag = Found[input].value_or(origin);
        ExactTrips[input] = lag - static_cast<double>(LeadFrames); // it left the output at LeadFrames
        Lanes[input].Trip = static_cast<std::int64_t>(std::ceil(lag)) - LeadFrames;
        if (Counted(static_cast<int>(input))) {
            EarliestTrip = std::min(EarliestTrip, Lanes[input].Trip);
            LatestTrip = std::max(LatestTrip, Lanes[input].Trip);
        }
    }
    if (WaitsForArrivals())
        Starts[0] = std::max(LeadFrames + ProbeFrames + GapFrames, OutputCount);
    Resolved = true;
    // An input heard late (its probe sought on after the first input's) may have let its first windows
    // go by: the points start again.
    for (int input = 0; input < 2; ++input)
        if (Counted(input) && PlannedCount > 0 && WindowStart(input, FirstIndex) < InputCount) {
            Rewind(FirstIndex);
            break;
        }
}
