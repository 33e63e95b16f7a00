// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ChartModel.h"

#include <algorithm>

int TChartSeriesData::Append(double x, double y, const TPointDetail* detail)
{
    if (Empty()) {
        Xs.clear();
        Ys.clear();
        Details.clear();
        Start = 0;
        CachedMinY = CachedMaxY = y;
        YExtremesValid = true;
    } else if (YExtremesValid) {
        CachedMinY = std::min(CachedMinY, y);
        CachedMaxY = std::max(CachedMaxY, y);
    }
    if (detail && !Detailed) {
        Details.assign(Xs.size(), TPointDetail{});
        Detailed = true;
    }
    const TPointDetail kept = detail ? *detail : TPointDetail{};
    if (Empty() || x >= Xs.back()) {
        Xs.push_back(x);
        Ys.push_back(y);
        if (Detailed)
            Details.push_back(kept);
        return Count() - 1;
    }
    if (x < Xs[Start] && Start > 0) { // a point put in front of the first: reuse a deleted slot
        --Start;
        Xs[Start] = x;
        Ys[Start] = y;
        if (Detailed)
            Details[Start] = kept;
        return 0;
    }
    auto at = std::upper_bound(Xs.begin() + static_cast<std::ptrdiff_t>(Start), Xs.end(), x);
    const auto offset = at - Xs.begin();
    Xs.insert(at, x);
    Ys.insert(Ys.begin() + offset, y);
    if (Detailed)
        Details.insert(Details.begin() + offset, kept);
    return static_cast<int>(static_cast<std::size_t>(offset) - Start);
}

void TChartSeriesData::DeleteFirst()
{
    if (Empty())
        return;
    const double y = Ys[Start];
    ++Start;
    if (Empty()) {
        Clear();
        return;
    }
    if (YExtremesValid && (y <= CachedMinY || y >= CachedMaxY))
        YExtremesValid = false;
    // Compact once the deleted head outweighs the live points, so memory stays at the window's size.
    if (Start >= 1024 && Start * 2 >= Xs.size()) {
        Xs.erase(Xs.begin(), Xs.begin() + static_cast<std::ptrdiff_t>(Start));
        Ys.erase(Ys.begin(), Ys.begin() + static_cast<std::ptrdiff_t>(Start));
        if (Detailed)
            Details.erase(Details.begin(), Details.begin() + static_cast<std::ptrdiff_t>(Start));
        Start = 0;
    }
}

void TChartSeriesData::Clear()
{
    Xs.clear();
    Ys.clear();
    Details.clear();
    Detailed = false;
    Start = 0;
    CachedMinY = CachedMaxY = 0.0;
    YExtremesValid = true;
}

void TChartSeriesData::AddToY(double dy)
{
    for (std::size_t i = Start; i < Ys.size(); ++i)
        Ys[i] += dy;
    YExtremesValid = false;
}

void TChartSeriesData::RecomputeYExtremes() const
{
    if (Empty()) {
        CachedMinY = CachedMaxY = 0.0;
    } else {
        const auto [lo, hi] = std::minmax_element(Ys.begin() + static_cast<std::ptrdiff_t>(Start), Ys.end());
        CachedMinY = *lo;
        CachedMaxY = *hi;
    }
    YExtremesValid = true;
}

double TChartSeriesData::MinY() const
{
    if (!YExtremesValid)
        RecomputeYExtremes();
    return CachedMinY;
}

double TChartSeriesData::MaxY() const
{
    if (!YExtremesValid)
        RecomputeYExtremes();
    return CachedMaxY;
}

TChartModel::TChartModel(QObject* parent) : QObject(parent) {}

void TChartModel::Append(int series, double x, double y, const TPointDetail* detail)
{
    const int index = Data[static_cast<std::size_t>(series)].Append(x, y, detail);
    emit PointAppended(series, index);
}

void TChartModel::DeleteFirst(int series)
{
    auto& data = Data[static_cast<std::size_t>(series)];
    if (data.Empty())
        return;
    data.DeleteFirst();
    emit FirstPointDeleted(series);
}

void TChartModel::Clear(int series)
{
    Data[static_cast<std::size_t>(series)].Clear();
    emit SeriesCleared(series);
}

void TChartModel::ClearAll()
{
    for (int s = 0; s < ChartSeriesCount; ++s)
        Clear(s);
}

void TChartModel::AddToY(int series, double dy)
{
    Data[static_cast<std::size_t>(series)].AddToY(dy);
    emit SeriesReset(series);
}

void TChartModel::SetVisible(int series, bool visible)
{
    auto& flag = VisibleFlags[static_cast<std::size_t>(series)];
    if (flag == visible)
        return;
    flag = visible;
    emit VisibilityChanged(series);
}

void TChartModel::SetTitle(int series, const QString& title)
{
    auto& current = Titles[static_cast<std::size_t>(series)];
    if (current == title)
        return;
    current = title;
    emit TitleChanged(series);
}

std::optional<TDataRange> TChartModel::DataRange(unsigned seriesMask) const
{
    std::optional<TDataRange> range;
    for (int series = 0; series < ChartSeriesCount; ++series) {
        const TChartSeriesData& data = Series(series);
        if (!(seriesMask & SeriesBit(series)) || data.Empty())
            continue;
        const TDataRange own{data.MinX(), data.MaxX(), data.MinY(), data.MaxY()};
        if (!range) {
            range = own;
            continue;
        }
        range->MinX = std::min(range->MinX, own.MinX);
        range->MaxX = std::max(range->MaxX, own.MaxX);
        range->MinY = std::min(range->MinY, own.MinY);
        range->MaxY = std::max(range->MaxY, own.MaxY);
    }
    return range;
}

unsigned TChartModel::VisibleOf(unsigned seriesMask) const
{
    unsigned visible = 0;
    for (int series = 0; series < ChartSeriesCount; ++series)
        if ((seriesMask & SeriesBit(series)) && Visible(series))
            visible |= SeriesBit(series);
    return visible;
}
