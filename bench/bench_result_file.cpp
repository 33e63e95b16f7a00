// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ChartModel.h"
#include "measure/MeasurementState.h"
#include "results/AcquisitionQueue.h"
#include "results/ResultFile.h"
#include "results/ResultLoader.h"
#include "results/SeriesStore.h"
#include "ui/ChartView.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {

constexpr int DayOfTicks = 345'600; // 24 hours at 250 ms a tick

const QString& DayFile()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        TAcquisitionQueue queue;
        for (int i = 0; i < DayOfTicks; ++i)
            for (double value : {i * 0.25, -40 + 20 * std::sin(i * 1e-3), -45 + 10 * std::cos(i * 3e-4)})
                queue.Enqueue(value);
        const QString file = folder.filePath("doba.lev");
        QString failure;
        ResultFile::WriteSoundPressure(file, queue, {1, 44100}, QDateTime::currentDateTime(), failure);
        return file;
    }();
    return path;
}

// Resident memory figures of this process in bytes, "VmRSS" or "VmHWM" (the peak).
double MemoryFigure(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(name + ':', 0) == 0)
            return std::stod(line.substr(name.size() + 1)) * 1024;
    return 0;
}

// Freed memory goes back to the system first, so that the peak counts every byte the reading needs.
void ResetPeakMemory()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A day's recording written from the queue: under a second.
void BM_WriteSoundPressureFile(benchmark::State& run)
{
    TAcquisitionQueue queue;
    for (int i = 0; i < DayOfTicks; ++i)
        for (double value : {i * 0.25, -40 + 20 * std::sin(i * 1e-3), -45.0})
            queue.Enqueue(value);
    QTemporaryDir folder;
    QString failure;
    for (auto _ : run)
        ResultFile::WriteSoundPressure(folder.filePath("zapis.lev"), queue, {1, 44100},
                                       QDateTime::currentDateTime(), failure);
    run.counters["lines"] = DayOfTicks;
    run.counters["MB"] = QFileInfo(folder.filePath("zapis.lev")).size() / 1e6;
}
BENCHMARK(BM_WriteSoundPressureFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// A day's recording read onto a chart that is shown, as "Otwórz" does: under two seconds, with the
// memory it needs at its peak (chart data and all) under three times the file's size.
void BM_ReadSoundPressureFile(benchmark::State& run)
{
    const QString path = DayFile();
    double peak = 0;
    for (auto _ : run) {
        ResetPeakMemory();
        const double before = MemoryFigure("VmRSS");
        {
            TMeasurementState state;
            TChartModel chart;
            TSeriesStore store(state, chart);
            chart.SetVisible(LeftChannelSeries, true);
            chart.SetVisible(RightChannelSeries, true);
            TChartView view(chart);
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            TResultLoader loader(
                store, chart, [](TMeasurementKind) { return true; }, [] {});
            ResultFile::Read(file, loader);
            view.ReplotNow();
            benchmark::DoNotOptimize(chart.Series(LeftChannelSeries).Count());
            peak = std::max(peak, MemoryFigure("VmHWM") - before);
        }
    }
    run.counters["peak_memory_per_file_byte"] = peak / double(QFileInfo(path).size());
}
BENCHMARK(BM_ReadSoundPressureFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// The chart after a day's recording was opened: a replot within one screen frame (16 ms).
void BM_ReplotAfterOpeningADay(benchmark::State& run)
{
    TMeasurementState state;
    TChartModel chart;
    TSeriesStore store(state, chart);
    chart.SetVisible(LeftChannelSeries, true);
    chart.SetVisible(RightChannelSeries, true);
    TChartView view(chart);
    view.resize(1280, 800);
    QFile file(DayFile());
    file.open(QIODevice::ReadOnly);
    TResultLoader loader(
        store, chart, [](TMeasurementKind) { return true; }, [] {});
    ResultFile::Read(file, loader);
    view.SetBottomRange(0, DayOfTicks * 0.25);
    view.ReplotNow();
    for (auto _ : run)
        view.replot();
}
BENCHMARK(BM_ReplotAfterOpeningADay)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
