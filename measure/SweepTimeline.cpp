// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SweepTimeline.h"

#include "measure/MeterPorts.h"

#include <algorithm>
#include <cmath>

void TSweepTimeline::Begin(int frameRate, int pointFrames, int firstIndex, std::vector<double> frequencies,
                           unsigned channels)
{
    Rate = std::max(frameRate, 1);
    FirstIndex = firstIndex;
    Frequencies = std::move(frequencies);
    Channels = channels & 3u ? channels & 3u : 1u;
    ProbeSamples = ProbeChirp(Rate, ProbeSeconds, ProbeStartHz, std::min(16000.0, 0.4 * Rate));
    ProbeFrames = static_cast<std::int64_t>(ProbeSamples.size());
    LeadFrames = std::llround(LeadSeconds * Rate);
    GapFrames = std::llround(GapSeconds * Rate);
    SettlingFrames = std::llround(SettlingSeconds * Rate);
    StepFrames = static_cast<int>(std::max<std::int64_t>(pointFrames, 1) + SettlingFrames);
    const auto longestLag = static_cast<std::size_t>(LongestRoundTripSeconds * Rate);
    if (!Finder || Finder->RecordingFrames() != ProbeSamples.size() + longestLag)
        Finder = std::make_unique<TDelayFinder>(ProbeSamples, longestLag);
    for (std::vector<double>& heard : Heard) {
        heard.clear();
        heard.reserve(Finder->RecordingFrames());
    }
    HeardEnergy[0] = HeardEnergy[1] = 0;
    SoughtAt = 0;
    OutputCount = InputCount = 0;
    Trip.reset();
    Missing = false;
    BegunPoint = -1;
    Running = true;
}

std::int64_t TSweepTimeline::ToneStart(int point) const
{
    return LeadFrames + ProbeFrames + GapFrames + static_cast<std::int64_t>(point - FirstIndex) * StepFrames;
}

TSweepTimeline::TOutputPart TSweepTimeline::NextOutput(int frames)
{
    const std::int64_t at = OutputCount;
    TOutputPart part{TOutputKind::Tone, frames, {}, 0};
    const std::int64_t probeEnd = LeadFrames + ProbeFrames, firstTone = ToneStart(FirstIndex);
    if (at < LeadFrames || (at >= probeEnd && at < firstTone)) {
        part.Kind = TOutputKind::Silence;
        part.Frames =
            static_cast<int>(std::min<std::int64_t>(frames, (at < LeadFrames ? LeadFrames : firstTone) - at));
    } else if (at < probeEnd) {
        part.Kind = TOutputKind::Probe;
        part.Frames = static_cast<int>(std::min<std::int64_t>(frames, probeEnd - at));
        part.Probe = std::span<const double>(ProbeSamples)
                         .subspan(static_cast<std::size_t>(at - LeadFrames), part.Frames);
    } else {
        // The last point's tone goes on until the sweep stops.
        const auto last = static_cast<int>(Frequencies.size()) - 1;
        const auto point =
            static_cast<int>(std::min<std::int64_t>(FirstIndex + (at - firstTone) / StepFrames, last));
        part.Frequency = Frequencies[static_cast<std::size_t>(std::max(point, 0))];
        if (point < last)
            part.Frames = static_cast<int>(std::min<std::int64_t>(frames, ToneStart(point + 1) - at));
    }
    OutputCount += part.Frames;
    return part;
}

int TSweepTimeline::FramesToBoundary(int frames, int point) const
{
    if (!Running || !Trip)
        return frames;
    const std::int64_t start = WindowStart(point), end = WindowEnd(point);
    const std::int64_t boundary = InputCount < start ? start : (InputCount < end ? end : InputCount + frames);
    return static_cast<int>(std::clamp<std::int64_t>(boundary - InputCount, 1, frames));
}

unsigned TSweepTimeline::Passed(const std::int16_t* frames, int count, int point)
{
    InputCount += count;
    if (!Running || count <= 0)
        return 0;
    if (!Trip) {
        SeekProbe(frames, count);
        if (!Trip)
            return 0;
    }
    const std::int64_t start = WindowStart(point), end = WindowEnd(point);
    if (BegunPoint == point)
        return InputCount >= end ? ISweepPacing::PointEnds : 0;
    if (InputCount >= end)
        return PointMissed;
    if (InputCount < start)
        return 0;
    BegunPoint = point; // at its start, or later when the probe was found late
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
    const std::size_t heard = Heard[0].size();
    const bool full = heard == Finder->RecordingFrames();
    if (heard < static_cast<std::size_t>(ProbeFrames) ||
        (heard - SoughtAt < static_cast<std::size_t>(Rate / 10) && !full))
        return;
    SoughtAt = heard;
    const int channel = Channels == 3u ? (HeardEnergy[1] > HeardEnergy[0] ? 1 : 0) : (Channels == 2u ? 1 : 0);
    const auto found = Finder->Find(Heard[channel]);
    // Only a probe heard whole counts: part of it (its low end only) places it less sharply.
    if (found && found->Lag + static_cast<double>(ProbeFrames) <= static_cast<double>(heard))
        Trip =
            static_cast<std::int64_t>(std::ceil(found->Lag)) - LeadFrames; // it left the output at LeadFrames
    else if (full)
        Missing = true;
}
