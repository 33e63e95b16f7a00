// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ResultSet.h"

std::vector<ResultFile::TSeriesColumn> TResultSet::Columns() const
{
    std::vector<ResultFile::TSeriesColumn> columns;
    for (int slot : Listed) {
        const auto at = static_cast<std::size_t>(slot);
        columns.push_back({slot, Names[at], Records[at], &Points[at]});
    }
    return columns;
}

bool TResultSet::SelectKind(TMeasurementKind kind)
{
    FileKind = kind;
    return true;
}

void TResultSet::RecordingConditions(const ResultFile::TRecordingConditions& conditions)
{
    Recording = conditions;
}

void TResultSet::ChannelPoint(double time, double left, double right)
{
    Values.Enqueue(time);
    Values.Enqueue(left);
    Values.Enqueue(right);
}

void TResultSet::SeriesListed(const std::vector<int>& listedSlots)
{
    Listed = listedSlots;
    for (int slot : Listed)
        Names[static_cast<std::size_t>(slot)] = TSeriesStore::DefaultName(slot);
}

void TResultSet::SeriesName(int slot, const QString& name)
{
    Names[static_cast<std::size_t>(slot)] = name;
    AnyName = true;
}

void TResultSet::SeriesConditions(int slot, int channel, double averagingTime, int frameRate)
{
    SeriesSlot& record = Records[static_cast<std::size_t>(slot)];
    record.SlotChannel = static_cast<std::uint8_t>(channel);
    record.SlotAveragingTime = averagingTime;
    record.SlotFrameRate = frameRate;
    record.SlotMeasured = true;
}

void TResultSet::SeriesPoint(int slot, double frequency, double level)
{
    Points[static_cast<std::size_t>(slot)].Append(frequency, level);
}

void TResultSet::SeriesMicrophoneCorrected(int slot)
{
    Records[static_cast<std::size_t>(slot)].SlotMicrophoneCorrected = true;
}

void TResultSet::SeriesSynchronous(int slot, int reference)
{
    SeriesSlot& record = Records[static_cast<std::size_t>(slot)];
    record.SlotSynchronous = true;
    record.SlotReference = static_cast<std::uint8_t>(reference);
}

void TResultSet::SeriesDetailedPoint(int slot, double frequency, double level, const TPointDetail& detail)
{
    Points[static_cast<std::size_t>(slot)].Append(frequency, level, &detail);
}
