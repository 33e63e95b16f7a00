// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioIO.h"
#include "measure/LevelMeter.h"

#include <QRandomGenerator>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr int BlockFrames = 1500;

std::vector<char> RandomBlock()
{
    std::vector<std::int16_t> samples(2 * BlockFrames);
    QRandomGenerator random(11);
    for (auto& s : samples)
        s = static_cast<std::int16_t>(random.bounded(65536) - 32768);
    std::vector<char> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// The straightforward block analysis: (a * a) / N added per sample in extended precision.
void AnalyseBlockReference(TMeasurementState& state, const char* buffer, int size, int frameRate)
{
    const int n = size / 4;
    long double left = 0, right = 0;
    std::int16_t first[2];
    std::memcpy(first, buffer, 4);
    double minL = first[0], maxL = first[0], minR = first[1], maxR = first[1];
    for (int i = 0; i < n; ++i) {
        std::int16_t frame[2];
        std::memcpy(frame, buffer + 4 * i, 4);
        const std::int32_t a = frame[0], b = frame[1];
        left += static_cast<long double>(a * a) / n;
        right += static_cast<long double>(b * b) / n;
        minL = std::min<double>(minL, a);
        maxL = std::max<double>(maxL, a);
        minR = std::min<double>(minR, b);
        maxR = std::max<double>(maxR, b);
    }
    state.PeakMinL = std::min(state.PeakMinL, minL);
    state.PeakMaxL = std::max(state.PeakMaxL, maxL);
    state.PeakMinR = std::min(state.PeakMinR, minR);
    state.PeakMaxR = std::max(state.PeakMaxR, maxR);
    state.BlockMeanSquareL = left;
    state.BlockMeanSquareR = right;
    const long double blocks = static_cast<long double>(frameRate) * state.AveragingTime / n;
    state.AveragedMeanSquareL = ((blocks - 1) * state.AveragedMeanSquareL + left) / blocks;
    state.AveragedMeanSquareR = ((blocks - 1) * state.AveragedMeanSquareR + right) / blocks;
}

// The program's block analysis of one random block, over and over, in the given state; "realtime"
// says how many times faster than a 48000 frames/s stream it runs. A float stream's block goes to
// the meter as it is; a 16-bit stream's is converted first, as the input does.
void AnalyseBlocks(benchmark::State& run, TMeasurementState& state,
                   TSampleFormat format = TSampleFormat::Float)
{
    TStandaloneMeterPorts ports;
    ports.StartEnabled = true;
    TChartModel chart;
    TLevelMeter meter(state, ports, chart, ports, ports);
    const std::vector<char> sixteenBit = RandomBlock();
    std::vector<float> block(2 * BlockFrames);
    IntegerToFloat(sixteenBit.data(), block.data(), 2 * BlockFrames, 16);
    int size = static_cast<int>(block.size());
    for (auto _ : run) {
        if (format == TSampleFormat::Integer)
            IntegerToFloat(sixteenBit.data(), block.data(), size, 16);
        meter.AnalyseBlock(block.data(), size);
        benchmark::DoNotOptimize(state.AveragedMeanSquareL);
        benchmark::ClobberMemory();
    }
    run.SetItemsProcessed(run.iterations() * BlockFrames);
    run.counters["realtime"] = benchmark::Counter(static_cast<double>(run.iterations()) * BlockFrames / 48000,
                                                  benchmark::Counter::kIsRate);
}

// Z with the S time weighting, sample by sample, and no statistics.
void BM_AnalyseBlock(benchmark::State& run)
{
    TMeasurementState state;
    AnalyseBlocks(run, state);
}
BENCHMARK(BM_AnalyseBlock);

// A recording's meter: F sample by sample, Lmax and Lmin, the 10 ms histogram and a log of one-second
// intervals, with the given weighting and blocks of the given stream.
template <TFrequencyWeighting Weighting, TSampleFormat Format> void BM_Recording(benchmark::State& run)
{
    TMeasurementState state;
    state.FrequencyWeighting = Weighting;
    state.AveragingTime = 0.125;
    state.Statistics.Collecting = true;
    state.Statistics.SetLogInterval(1);
    AnalyseBlocks(run, state, Format);
}
// The Z path, from a float and from a 16-bit stream.
BENCHMARK(BM_Recording<TFrequencyWeighting::Z, TSampleFormat::Float>)->Name("BM_AnalyseBlockZ");
BENCHMARK(BM_Recording<TFrequencyWeighting::Z, TSampleFormat::Integer>)->Name("BM_AnalyseBlockZ16Bit");
// A-weighted with the C-weighted peak: the meter's most expensive block.
BENCHMARK(BM_Recording<TFrequencyWeighting::A, TSampleFormat::Float>)->Name("BM_AnalyseBlockWeighted");
BENCHMARK(BM_Recording<TFrequencyWeighting::A, TSampleFormat::Integer>)->Name("BM_AnalyseBlockWeighted16Bit");

void BM_AnalyseBlockReference(benchmark::State& run)
{
    TMeasurementState state;
    std::vector<char> block = RandomBlock();
    for (auto _ : run) {
        AnalyseBlockReference(state, block.data(), static_cast<int>(block.size()), 48000);
        benchmark::DoNotOptimize(state.AveragedMeanSquareL);
        benchmark::ClobberMemory();
    }
    run.SetItemsProcessed(run.iterations() * BlockFrames);
}
BENCHMARK(BM_AnalyseBlockReference);

} // namespace
