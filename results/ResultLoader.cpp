// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ResultLoader.h"

#include "results/AcquisitionQueue.h"

TResultLoader::TResultLoader(TSeriesStore& store, TChartModel& chart,
                             std::function<bool(TMeasurementKind)> selectKind,
                             std::function<void()> selectLeftChannel)
    : Store(store), Chart(chart), Select(std::move(selectKind)), SelectLeft(std::move(selectLeftChannel))
{
}

bool TResultLoader::SelectKind(TMeasurementKind kind)
{
    if (!Select(kind))
        return false;
    // The file's recording takes the place of the one shown, as soon as it has a tick to show: mixing
    // their times would make one line of two recordings, and a file without a tick that reads keeps
    // what is shown.
    ReplaceChannels = kind == TMeasurementKind::SoundPressure;
    return true;
}

void TResultLoader::ChannelPoint(double time, double left, double right)
{
    if (ReplaceChannels) {
        Chart.Clear(LeftChannelSeries);
        Chart.Clear(RightChannelSeries);
        ReplaceChannels = false;
    }
    Chart.Append(LeftChannelSeries, time, left);
    Chart.Append(RightChannelSeries, time, right);
    if (Queue != nullptr) {
        Queue->Enqueue(time);
        Queue->Enqueue(left);
        Queue->Enqueue(right);
    }
}

void TResultLoader::SeriesListed(const std::vector<int>& listedSlots)
{
    SelectLeft();
    Store.DeleteAll();
    // From the last to the first, so that the first listed slot ends active.
    for (auto slot = listedSlots.rbegin(); slot != listedSlots.rend(); ++slot) {
        Store.MakePresent(*slot);
        Store.SetSlotInUse(*slot, true);
    }
}

void TResultLoader::SeriesName(int slot, const QString& name)
{
    Store.SetSeriesName(slot, name);
}

void TResultLoader::SeriesConditions(int slot, int channel, double averagingTime, int frameRate)
{
    SeriesSlot& record = Store.Slot(slot);
    record.SlotChannel = static_cast<std::uint8_t>(channel);
    record.SlotAveragingTime = averagingTime;
    record.SlotFrameRate = frameRate;
    record.SlotMeasured = true;
}

void TResultLoader::SeriesPoint(int slot, double frequency, double level)
{
    Chart.Append(slot, frequency, level);
}

void TResultLoader::SeriesSynchronous(int slot, int reference)
{
    SeriesSlot& record = Store.Slot(slot);
    record.SlotSynchronous = true;
    record.SlotReference = static_cast<std::uint8_t>(reference);
}

void TResultLoader::SeriesDetailedPoint(int slot, double frequency, double level, const TPointDetail& detail)
{
    Chart.Append(slot, frequency, level, &detail);
}
