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

// What a point measured by synchronous detection holds beside its level. Values that were not measured
// (a harmonic above the frame rate's reach, distortion without a fundamental) have their bit clear.
struct TPointDetail
{
    static constexpr int HighestHarmonic = 9;
    static constexpr unsigned PhaseMeasured = 1u;
    static constexpr unsigned ThdMeasured = 2u;
    static constexpr unsigned ThdNMeasured = 4u;
    // Harmonic k (2..9) measured: bit HarmonicBit(k).
    static constexpr unsigned HarmonicBit(int k) { return 1u << (k + 6); }

    unsigned Measured = 0;
    bool Overloaded = false; // a sample at full scale in the point's window (or in its reference's)
    bool Unsettled = false;  // its tone had not settled within the longest settling time
    double Phase = 0;        // degrees, (-180, 180]
    std::array<double, HighestHarmonic - 1> Harmonics{}; // H2..H9, dB relative to the fundamental
    double Thd = 0, ThdN = 0;                            // percent

    bool Has(unsigned bit) const { return (Measured & bit) != 0; }
    double Harmonic(int k) const { return Harmonics[static_cast<std::size_t>(k - 2)]; }
    void SetHarmonic(int k, double db)
    {
        Harmonics[static_cast<std::size_t>(k - 2)] = db;
        Measured |= HarmonicBit(k);
    }
    bool operator==(const TPointDetail&) const = default;
};

// The points of one chart series, x kept in ascending order. Deleting the oldest point is O(1)
// (a sliding time window deletes one point a tick for hours), and the extremes are cached.
class TChartSeriesData
{
public:
    int Count() const { return static_cast<int>(Xs.size() - Start); }
    bool Empty() const { return Count() == 0; }
    double X(int i) const { return Xs[Start + static_cast<std::size_t>(i)]; }
    double Y(int i) const { return Ys[Start + static_cast<std::size_t>(i)]; }
    // The point's detail; nothing for a series measured without (its points carry none).
    const TPointDetail* Detail(int i) const
    {
        return Detailed ? &Details[Start + static_cast<std::size_t>(i)] : nullptr;
    }
    bool HasDetails() const { return Detailed; }

    // Returns the index the point landed at (the end, unless x is smaller than the last x). A series
    // keeps details once any point brings one; the points before it get empty ones.
    int Append(double x, double y, const TPointDetail* detail = nullptr);
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
    std::vector<TPointDetail> Details; // as long as Xs once Detailed
    bool Detailed = false;
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

    void Append(int series, double x, double y, const TPointDetail* detail = nullptr);
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
