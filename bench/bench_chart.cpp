// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ChartModel.h"
#include "ui/ChartView.h"

#include <benchmark/benchmark.h>
#include <cmath>

namespace {

// A full replot of the chart with ten long series, as after hours of recording or a dense sweep:
// it must fit in one screen frame (16 ms) for the chart to stay smooth. The lines are antialiased
// up to the chart's limit of points (the second case), drawn without beyond it (the first).
void BM_ChartReplot(benchmark::State& state)
{
    const auto PointsPerSeries = static_cast<int>(state.range(0));
    TChartModel model;
    for (int s = 0; s < ChartSeriesCount; ++s) {
        model.SetVisible(s, true);
        for (int i = 0; i < PointsPerSeries; ++i)
            model.Append(s, i * 0.01, -45 + 30 * std::sin(i * 0.001 * (s + 1)) + (i % 13) * 0.3 - s);
    }
    TChartView chart(model);
    chart.resize(1280, 800);
    chart.SetBottomRange(0, PointsPerSeries * 0.01);
    chart.SetLevelRange(-90, 0);
    chart.ReplotNow();
    for (auto _ : state)
        chart.replot();
    state.counters["points"] = ChartSeriesCount * PointsPerSeries;
}
BENCHMARK(BM_ChartReplot)
    ->Arg(100000)
    ->Arg(TChartView::AntialiasedPointLimit / ChartSeriesCount)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
