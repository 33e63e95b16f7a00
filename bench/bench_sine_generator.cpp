// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SineGenerator.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

constexpr int BlockSamples = 1500;
constexpr int OutputRate = 48000;

// Samples per second; 60 times real time at 48000/s is 2.88e6.
void BM_FillOutputBlock(benchmark::State& run)
{
    TMeasurementState state;
    state.GeneratorFrequency = 1000;
    std::vector<float> block(BlockSamples);
    for (auto _ : run) {
        TSineGenerator::Fill(state, OutputRate, block.data(), static_cast<int>(block.size()));
        state.GeneratorFrequency = state.GeneratorFrequency < 20000 ? state.GeneratorFrequency * 1.01 : 100;
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    run.SetItemsProcessed(run.iterations() * BlockSamples);
    run.counters["x_real_time"] = benchmark::Counter(
        double(BlockSamples) / OutputRate * double(run.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FillOutputBlock);

} // namespace
