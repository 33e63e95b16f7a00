// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

// Chart series indices: 0..7 the result series "Seria 1".."Seria 8", 8 the left and 9 the right channel.
constexpr int ResultSeriesCount = 8;
constexpr int ChartSeriesCount = 10;
constexpr int LeftChannelSeries = 8;
constexpr int RightChannelSeries = 9;

// The points of one chart series, x kept in ascending order. Deleting the oldest point is O(1)
// (a sliding time window deletes one point a tick for hours), and the extremes are cached.
class TChartSeriesData
{
public:
    int Count() const { return static_cast<int>(Xs.size() - Start); }
    bool Empty() const { return Count() == 0; }
    double X(int i) const { return Xs[Start + static_cast<std::size_t>(i)]; }
    double Y(int i) const { return Ys[Start + static_cast<std::size_t>(i)]; }

    // Returns the index the point landed at (the end, unless x is smaller than the last x).
    int Append(double x, double y);
    void DeleteFirst();
    void Clear();
    void AddToY(double dy);

    // Extremes of the points; 0 for an empty series.
    double MinX() const { return Empty() ? 0.0 : X(0); }
    double MaxX() const { return Empty() ? 0.0 : X(Count() - 1); }
    double MinY() const;
    double MaxY() const;

    std::size_t CapacityBytes() const { return (Xs.capacity() + Ys.capacity()) * sizeof(double); }

private:
    void RecomputeYExtremes() const;

    std::vector<double> Xs, Ys;
    std::size_t Start = 0; // points before Start are deleted; compacted now and then
    mutable double CachedMinY = 0.0, CachedMaxY = 0.0;
    mutable bool YExtremesValid = true;
};

// The extremes of the points of several series together.
struct TDataRange
{
    double MinX, MaxX, MinY, MaxY;
};

// Bit i of a series mask chooses series i.
constexpr unsigned SeriesBit(int series)
{
    return 1u << series;
}
constexpr unsigned ResultSeriesMask = (1u << ResultSeriesCount) - 1;

// The data of the chart's ten series, queried and changed by the engine without any widget;
// the chart view follows the signals incrementally.
class TChartModel : public QObject
{
    Q_OBJECT
public:
    explicit TChartModel(QObject* parent = nullptr);

    const TChartSeriesData& Series(int series) const { return Data[static_cast<std::size_t>(series)]; }

    void Append(int series, double x, double y);
    void DeleteFirst(int series);
    void Clear(int series);
    void ClearAll();
    void AddToY(int series, double dy);

    bool Visible(int series) const { return VisibleFlags[static_cast<std::size_t>(series)]; }
    void SetVisible(int series, bool visible);
    QString Title(int series) const { return Titles[static_cast<std::size_t>(series)]; }
    void SetTitle(int series, const QString& title);

    // The extremes over the chosen series that hold points (visible or not); nothing when none does.
    std::optional<TDataRange> DataRange(unsigned seriesMask) const;
    // The mask of the visible series among the chosen ones.
    unsigned VisibleOf(unsigned seriesMask) const;

signals:
    void PointAppended(int series, int index); // index < Count()-1 means it was inserted before others
    void FirstPointDeleted(int series);
    void SeriesCleared(int series);
    void SeriesReset(int series); // any other change of the points: re-read the whole series
    void VisibilityChanged(int series);
    void TitleChanged(int series);

private:
    std::array<TChartSeriesData, ChartSeriesCount> Data;
    std::array<bool, ChartSeriesCount> VisibleFlags{};
    std::array<QString, ChartSeriesCount> Titles;
};
