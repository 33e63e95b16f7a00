// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/FftAnalyser.h"
#include "analysis/OctaveFilterBank.h"
#include "measure/RealTimeAnalyser.h"

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
void BM_FftAnalyser(benchmark::State& run)
{
    const auto size = static_cast<std::size_t>(run.range(0));
    TFftAnalyser spectrum(size, TFftAnalyser::TWindow::FlatTop);
    spectrum.SetAveraging(TFftAnalyser::TAveraging::Exponential, 0.5);
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
BENCHMARK(BM_FftAnalyser)->Arg(1024)->Arg(8192)->Arg(65536);

// The analyser's work per input block: both channels converted, A-weighted, through the 1/3-octave
// bank with F time weighting, and into the FFT history.
void BM_RealTimeAnalyserBlock(benchmark::State& run)
{
    TSpectrumSettings settings;
    settings.Weighting = TFrequencyWeighting::A;
    settings.FftSize = 65536;
    TRealTimeAnalyser analyser(Rate, settings);
    std::vector<float> block(2 * BlockFrames);
    QRandomGenerator random(13);
    for (float& sample : block)
        sample = static_cast<float>(random.bounded(2.0) - 1);
    for (auto _ : run) {
        analyser.AnalyseBlock(block.data(), BlockFrames);
        benchmark::DoNotOptimize(analyser.SecondsSinceReset());
    }
    CountRealTime(run, BlockFrames);
}
BENCHMARK(BM_RealTimeAnalyserBlock);

// One picture of the FFT view at 65536 points: the transforms of both channels, the averages, and the
// levels of the 2048 points drawn. At ten pictures a second, ten times this is the share of a core.
void BM_SpectrumPicture(benchmark::State& run)
{
    TSpectrumSettings settings;
    settings.BandsPerOctave = 0;
    settings.FftSize = 65536;
    TRealTimeAnalyser analyser(Rate, settings);
    std::vector<float> frames(2 * settings.FftSize);
    QRandomGenerator random(15);
    for (float& sample : frames)
        sample = static_cast<float>(random.bounded(2.0) - 1);
    analyser.AnalyseBlock(frames.data(), static_cast<int>(settings.FftSize));
    for (auto _ : run) {
        analyser.UpdateSpectrum();
        benchmark::DoNotOptimize(analyser.SpectrumReading({}, false, 2048).Level[0].back());
    }
    run.SetItemsProcessed(run.iterations());
}
BENCHMARK(BM_SpectrumPicture);

} // namespace
