// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/AcquisitionQueue.h"
#include "results/ResultFile.h"

#include <array>
#include <vector>

// Results held apart from any chart: what one file holds, ready to be written in any format. The
// command line converts files through it.
class TResultSet final : public ResultFile::ISink
{
public:
    TMeasurementKind Kind() const { return FileKind; }
    const ResultFile::TRecordingConditions& Conditions() const { return Recording; }
    const TAcquisitionQueue& Ticks() const { return Values; } // time, left, right a tick
    // The series of frequency results in file order.
    std::vector<ResultFile::TSeriesColumn> Columns() const;
    // Whether the file named its series (a frequency file saved with the legend hidden does not).
    bool Named() const { return AnyName; }

    bool SelectKind(TMeasurementKind kind) override;
    void RecordingConditions(const ResultFile::TRecordingConditions& conditions) override;
    void ChannelPoint(double time, double left, double right) override;
    void SeriesListed(const std::vector<int>& listedSlots) override;
    void SeriesName(int slot, const QString& name) override;
    void SeriesConditions(int slot, int channel, double averagingTime, int frameRate) override;
    void SeriesPoint(int slot, double frequency, double level) override;
    void SeriesMicrophoneCorrected(int slot) override;
    void SeriesSynchronous(int slot, int reference) override;
    void SeriesDetailedPoint(int slot, double frequency, double level, const TPointDetail& detail) override;

private:
    TMeasurementKind FileKind = TMeasurementKind::SoundPressure;
    ResultFile::TRecordingConditions Recording;
    TAcquisitionQueue Values;
    std::vector<int> Listed;
    std::array<TChartSeriesData, ResultSeriesCount> Points;
    std::array<QString, ResultSeriesCount> Names;
    std::array<SeriesSlot, ResultSeriesCount> Records{};
    bool AnyName = false;
};
