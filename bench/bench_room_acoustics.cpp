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

} // namespace
