// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ImpulseResponse.h"
#include "analysis/LogSweep.h"
#include "analysis/SweepDeconvolution.h"
#include "audio/DeviceUnderTest.h"
#include "measure/ImpulseMeasurement.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

namespace {

constexpr double Rate = 48000;

// What a take leaves for the analysis: a 20 Hz .. 20 kHz sweep of 2^exponent frames through a
// loudspeaker-like filter and a delay, with its reference, in blocks sized as the measurement sizes them
// for the default tail of a second.
struct TTake
{
    explicit TTake(int exponent) : Sweep({20, 20000, 1 << exponent, Rate, -6})
    {
        const TTakeLayout layout = TakeLayout(Sweep, 1);
        Size = layout.Block;
        Tail = layout.Tail;
        Measured.resize(Size);
        Reference.resize(Size);
        TBiquad highPass, lowPass;
        highPass.HighPass(60, Rate);
        lowPass.LowPass(12000, Rate);
        for (std::size_t n = 0; n + 150 < Size; ++n) {
            const double x = n < Sweep.Length() ? Sweep.Samples()[n] : 0.0;
            Measured[n + 150] = 0.3 * lowPass.Process(highPass.Process(x));
            Reference[n] = 0.7 * x;
        }
    }
    TLogSweep Sweep;
    std::size_t Size = 0, Tail = 0;
    std::vector<double> Measured, Reference;
};

// From the recorded blocks to the curves the window draws: the deconvolution by the reference, the cut
// into the linear response and its harmonics, and their analysis (magnitude, four phases, group delay,
// distortion) with 1/6-octave smoothing. The deconvolution's transforms are planned once, as the
// measurement keeps them from take to take. Frames of sweep per second.
void BM_DeconvolutionAndAnalysis(benchmark::State& run)
{
    const TTake take(static_cast<int>(run.range(0)));
    TSweepDeconvolution deconvolution(take.Size, Rate, 20, 20000);
    for (auto _ : run) {
        std::vector<double> circular(take.Size);
        deconvolution.DeconvolveByReference(take.Measured, take.Reference, circular);
        const TImpulseResponse response = CutImpulseResponse(circular, take.Sweep, take.Tail);
        TImpulseAnalysis analysis(response);
        TResponseCurves curves;
        analysis.Compute({response.WholeGate(), 6, false}, curves);
        benchmark::DoNotOptimize(curves.MagnitudeDb.data());
    }
    run.SetItemsProcessed(run.iterations() * (1LL << run.range(0)));
}
BENCHMARK(BM_DeconvolutionAndAnalysis)->Arg(17)->Arg(20)->Unit(benchmark::kMillisecond);

// The analysis alone, as a dragged gate asks for it again.
void BM_GateAnalysis(benchmark::State& run)
{
    const TTake take(17);
    TSweepDeconvolution deconvolution(take.Size, Rate, 20, 20000);
    std::vector<double> circular(take.Size);
    deconvolution.DeconvolveByReference(take.Measured, take.Reference, circular);
    const TImpulseResponse response = CutImpulseResponse(circular, take.Sweep, take.Tail);
    TImpulseAnalysis analysis(response);
    TResponseCurves curves;
    for (auto _ : run) {
        analysis.Compute({response.WholeGate(), 6, false}, curves);
        benchmark::DoNotOptimize(curves.MagnitudeDb.data());
    }
}
BENCHMARK(BM_GateAnalysis)->Unit(benchmark::kMillisecond);

} // namespace
