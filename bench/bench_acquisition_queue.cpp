// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/AcquisitionQueue.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int Values = 1'000'000;

// A long recording's worth appended, then drained as a save does; bytes held per value at the peak.
void BM_AcquisitionQueue(benchmark::State& run)
{
    std::size_t peakBytes = 0;
    for (auto _ : run) {
        TAcquisitionQueue queue;
        for (int i = 0; i < Values; ++i)
            queue.Enqueue(i * 0.25);
        peakBytes = queue.AllocatedBytes();
        double sum = 0;
        while (!queue.Empty())
            sum += queue.Dequeue();
        benchmark::DoNotOptimize(sum);
    }
    run.SetItemsProcessed(run.iterations() * Values);
    run.counters["bytes_per_value"] = double(peakBytes) / Values;
}
BENCHMARK(BM_AcquisitionQueue)->Unit(benchmark::kMillisecond);

} // namespace
