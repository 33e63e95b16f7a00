#include "analysis/FftSpectrum.h"
#include "analysis/OctaveFilterBank.h"

#include <QRandomGenerator>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

constexpr int Rate = 48000;
constexpr int BlockFrames = 1500;

// "realtime": how many times faster than the card delivers them the frames were processed.
void CountRealTime(benchmark::State& run, double framesPerIteration)
{
    run.SetItemsProcessed(
        static_cast<std::int64_t>(static_cast<double>(run.iterations()) * framesPerIteration));
    run.counters["realtime"] = benchmark::Counter(
        static_cast<double>(run.iterations()) * framesPerIteration / Rate, benchmark::Counter::kIsRate);
}

// Both channels of one block through the band filters of 1/b octave, with their time weighting.
void BM_OctaveFilterBank(benchmark::State& run)
{
    TOctaveFilterBank bank(static_cast<int>(run.range(0)), Rate, 0.125);
    std::vector<TStereo> block(BlockFrames);
    QRandomGenerator random(5);
    for (TStereo& frame : block)
        frame = TStereo{random.bounded(65536.0) - 32768, random.bounded(65536.0) - 32768};
    for (auto _ : run) {
        bank.Process(block);
        benchmark::DoNotOptimize(bank.TimeWeighted(0));
    }
    CountRealTime(run, BlockFrames);
}
BENCHMARK(BM_OctaveFilterBank)->Arg(1)->Arg(3)->Arg(24);

// One spectrum frame of one channel: window, transform, power, average and peak hold.
void BM_FftSpectrum(benchmark::State& run)
{
    const auto size = static_cast<std::size_t>(run.range(0));
    TFftSpectrum spectrum(size, TFftSpectrum::TWindow::FlatTop);
    spectrum.SetAveraging(TFftSpectrum::TAveraging::Exponential, 0.5);
    std::vector<double> frame(size);
    QRandomGenerator random(9);
    for (double& x : frame)
        x = random.bounded(65536.0) - 32768;
    for (auto _ : run) {
        spectrum.Add(frame);
        benchmark::DoNotOptimize(spectrum.Power()[1]);
    }
    run.SetItemsProcessed(run.iterations());
}
BENCHMARK(BM_FftSpectrum)->Arg(1024)->Arg(8192)->Arg(65536);

} // namespace
