// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SynchronousDetector.h"
#include "measure/SweepDetection.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr int Rate = 48000;

// One sweep point as the sweep measures it at the frequency given (Hz): both inputs of its shortest
// window (at least 10 periods and 20 ms), each fitted with harmonics 2 to 9 and its THD+N measured over
// 20 Hz to 20 kHz. "realtime" says how many times the point's own duration the detection takes less.
void BM_DetectPoint(benchmark::State& run)
{
    const double frequency = static_cast<double>(run.range(0));
    const TDetectionSettings settings;
    const int frames = TSweepDetection::ShortestPlan(frequency, Rate, settings).WindowFrames;
    const double step = TSweepDetection::ToneStep(frequency, Rate);
    std::vector<float> stereo(2 * static_cast<std::size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        const double tone = std::sin(step * n);
        stereo[2 * static_cast<std::size_t>(n)] = static_cast<float>(0.5 * (tone + 0.01 * tone * tone));
        stereo[2 * static_cast<std::size_t>(n) + 1] = static_cast<float>(0.5 * tone);
    }
    std::vector<std::unique_ptr<TSynchronousDetector>> detectors;
    for (int input = 0; input < 2; ++input)
        detectors.push_back(std::make_unique<TSynchronousDetector>(Rate, static_cast<std::size_t>(frames),
                                                                   settings.HighestHarmonic, settings.BandLow,
                                                                   settings.BandHigh));
    for (auto _ : run) {
        for (int input = 0; input < 2; ++input) {
            TSynchronousDetector& detector = *detectors[static_cast<std::size_t>(input)];
            detector.Begin(step, 0);
            detector.Add(std::span<const float>(stereo).subspan(static_cast<std::size_t>(input)), 2);
            benchmark::DoNotOptimize(detector.Finish().ThdN);
        }
        benchmark::ClobberMemory();
    }
    run.counters["point_ms"] = 1000.0 * frames / Rate;
    run.counters["realtime"] = benchmark::Counter(static_cast<double>(run.iterations()) * frames / Rate,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DetectPoint)->Arg(20)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);

} // namespace
