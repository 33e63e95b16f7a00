// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/TransferFunction.h"
#include "audio/DeviceUnderTest.h"
#include "measure/TransferSignal.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

constexpr double Rate = 48000;

// One frame of both channels into the averages: two windowed transforms and the spectra. With frames
// half shared, a frame comes every size / 2 input frames: "realtime" says how many times faster than
// the card delivers them.
void BM_TransferFrame(benchmark::State& run)
{
    const auto size = static_cast<std::size_t>(run.range(0));
    TTransferEstimator estimate(size);
    estimate.SetWindow(TTransferEstimator::TWindow::Hann);
    estimate.SetAveraging(TTransferEstimator::TAveraging::Count, 16);
    std::vector<double> x(size), y(size);
    TNoise noise(3);
    for (std::size_t n = 0; n < size; ++n) {
        x[n] = noise.Gaussian();
        y[n] = 0.5 * x[n] + 0.1 * noise.Gaussian();
    }
    for (auto _ : run) {
        estimate.Add(x, y);
        benchmark::DoNotOptimize(estimate.Gxy()[1]);
    }
    run.counters["realtime"] = benchmark::Counter(
        static_cast<double>(run.iterations()) * double(size / 2) / Rate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TransferFrame)->Arg(4096)->Arg(65536)->Arg(131072);

// The curves the window draws from the averages at FFT 65536, smoothed over 1/6 octave.
void BM_TransferCurves(benchmark::State& run)
{
    constexpr std::size_t size = 65536;
    TTransferEstimator estimate(size);
    std::vector<double> x(size), y(size);
    TNoise noise(5);
    for (std::size_t n = 0; n < size; ++n) {
        x[n] = noise.Gaussian();
        y[n] = x[n] + 0.1 * noise.Gaussian();
    }
    estimate.Add(x, y);
    TTransferCurveMaker maker(estimate.Bins(), Rate);
    TTransferCurves curves;
    for (auto _ : run) {
        maker.Compute(estimate, 1e-4, 0, 6, curves);
        benchmark::DoNotOptimize(curves.MagnitudeDb.back());
    }
    run.SetItemsProcessed(run.iterations());
}
BENCHMARK(BM_TransferCurves);

// The periodic pink noise into the output's blocks, samples a second.
void BM_TransferSignalFill(benchmark::State& run)
{
    TTransferGenerator generator(TTransferSignal::Pink, 65536, Rate, -15);
    std::vector<float> block(4096);
    for (auto _ : run) {
        generator.Fill(block);
        benchmark::DoNotOptimize(block.data());
    }
    run.SetItemsProcessed(run.iterations() * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_TransferSignalFill);

} // namespace
