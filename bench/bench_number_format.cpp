// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/NumberFormat.h"

#include <benchmark/benchmark.h>

namespace {

// The result file's "%22.15e " field, as the writer formats every acquired value.
void BM_FormatScientific(benchmark::State& run)
{
    NumberFormat::SetDecimalSeparator(QLatin1Char(','));
    double value = -12.5;
    for (auto _ : run) {
        QString text = NumberFormat::Scientific(value, 22, 14);
        benchmark::DoNotOptimize(text);
        value = value * -1.0001 + 1e-3;
    }
    run.SetItemsProcessed(run.iterations());
    NumberFormat::SetDecimalSeparator(QChar());
}
BENCHMARK(BM_FormatScientific);

} // namespace
