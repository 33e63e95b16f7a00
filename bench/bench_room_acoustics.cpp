// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/RoomAnalysis.h"
#include "tests/SyntheticRooms.h"

#include <benchmark/benchmark.h>

namespace {

// A 4 s room response at 48 kHz (1.5 s of decay over noise 60 dB down), analysed as the window and
// tonvix-cli do it: octaves and thirds, each with the broadband results and the speech transmission
// index, the filters designed and the buffers allocated every time.
void BM_RoomOctavesAndThirds(benchmark::State& run)
{
    const TImpulseResponse response = ImpulseResponseOf(DecayingTones(1.5, 60, 48000, 4.0, 30), 48000);
    for (auto _ : run)
        for (const int bands : {1, 3}) {
            const TRoomFigures figures = AnalyseRoom(response, {bands, std::nullopt});
            benchmark::DoNotOptimize(figures.Sti.Value);
        }
}
BENCHMARK(BM_RoomOctavesAndThirds)->Unit(benchmark::kMillisecond);

// A long response as a large hall gives it: 10 s at 48 kHz (a 3 s decay), in thirds with the index, as
// the window's page works it out for one measurement.
void BM_RoomThirdsTenSeconds(benchmark::State& run)
{
    const TImpulseResponse response = ImpulseResponseOf(DecayingTones(3.0, 60, 48000, 10.0, 30), 48000);
    for (auto _ : run) {
        const TRoomFigures figures = AnalyseRoom(response, {3, std::nullopt});
        benchmark::DoNotOptimize(figures.Sti.Value);
    }
}
BENCHMARK(BM_RoomThirdsTenSeconds)->Unit(benchmark::kMillisecond);

} // namespace
