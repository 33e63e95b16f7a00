// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "results/ResultFile.h"

#include <QBuffer>
#include <array>
#include <map>
#include <vector>

// Keeps everything a result file hands over, for comparing with what was written.
class TRecordingSink final : public ResultFile::ISink
{
public:
    struct TSeries
    {
        QString Name;
        bool HasConditions = false;
        int Channel = -1, FrameRate = 0;
        double AveragingTime = 0;
        std::vector<std::pair<double, double>> Points;
    };

    bool AllowKind = true;
    std::optional<TMeasurementKind> Kind;
    std::vector<std::array<double, 3>> Ticks;
    std::vector<int> Listed;
    std::map<int, TSeries> Series;

    bool SelectKind(TMeasurementKind kind) override
    {
        Kind = kind;
        return AllowKind;
    }
    void ChannelPoint(double time, double left, double right) override
    {
        Ticks.push_back({time, left, right});
    }
    void SeriesListed(const std::vector<int>& listed) override
    {
        Listed = listed;
        for (int slot : listed)
            Series[slot];
    }
    void SeriesName(int slot, const QString& name) override { Series[slot].Name = name; }
    void SeriesConditions(int slot, int channel, double averagingTime, int frameRate) override
    {
        TSeries& series = Series[slot];
        series.HasConditions = true;
        series.Channel = channel;
        series.AveragingTime = averagingTime;
        series.FrameRate = frameRate;
    }
    void SeriesPoint(int slot, double frequency, double level) override
    {
        Series[slot].Points.emplace_back(frequency, level);
    }
};

inline ResultFile::TReadOutcome ReadBytes(const QByteArray& bytes, ResultFile::ISink& sink)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ResultFile::Read(buffer, sink);
}
