// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/ResultFile.h"

#include <functional>
#include <optional>

class TAcquisitionQueue;

// Puts what a result file holds onto the chart and into the series store: the ticks of a
// sound-pressure file on the two channel series (replacing what they showed, from its first tick on),
// the series of a frequency file into their listed slots (replacing every slot). The window lends the
// two steps that are its own: the kind switch with its prompts and the channel mode "Kanał L".
class TResultLoader final : public ResultFile::ISink
{
public:
    TResultLoader(TSeriesStore& store, TChartModel& chart, std::function<bool(TMeasurementKind)> selectKind,
                  std::function<void()> selectLeftChannel);

    // A recovered recording goes back into the acquisition queue as well, so that it can be saved.
    void RefillQueue(TAcquisitionQueue* queue) { Queue = queue; }

    // Line 4 of a sound-pressure file, when it said what the recording was measured with.
    std::optional<ResultFile::TRecordingConditions> Conditions() const { return Recorded; }

    bool SelectKind(TMeasurementKind kind) override;
    void RecordingConditions(const ResultFile::TRecordingConditions& conditions) override
    {
        Recorded = conditions;
    }
    void ChannelPoint(double time, double left, double right) override;
    void SeriesListed(const std::vector<int>& listedSlots) override;
    void SeriesName(int slot, const QString& name) override;
    void SeriesConditions(int slot, int channel, double averagingTime, int frameRate) override;
    void SeriesPoint(int slot, double frequency, double level) override;
    void SeriesSynchronous(int slot, int reference) override;
    void SeriesDetailedPoint(int slot, double frequency, double level, const TPointDetail& detail) override;

private:
    TSeriesStore& Store;
    TChartModel& Chart;
    std::function<bool(TMeasurementKind)> Select;
    std::function<void()> SelectLeft;
    TAcquisitionQueue* Queue = nullptr;
    bool ReplaceChannels = false;
    std::optional<ResultFile::TRecordingConditions> Recorded;
};
