// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/MeasurementState.h"
#include "results/AcquisitionQueue.h"
#include "results/RecordingJournal.h"
#include "results/ResultFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <unistd.h>

// What keeping a recording's journal on the disk costs. The journal is written where
// TONVIX_BENCH_DIR says (a folder on the disk to measure), in the temporary folder otherwise.
namespace {

constexpr int DayOfTicks = 345'600; // 24 hours at 250 ms a tick
constexpr int TicksPerSync = TRecordingJournal::SyncIntervalMs / 250;

class TInput final : public IStreamInfo
{
public:
    bool Running() const override { return true; }
    int FrameRate() const override { return 44100; }
};

QTemporaryDir& Folder()
{
    static QTemporaryDir folder(qEnvironmentVariable("TONVIX_BENCH_DIR", QDir::tempPath()) +
                                QStringLiteral("/tonvix-bench-XXXXXX"));
    return folder;
}

// A day's recording through the journal as fast as it goes: the time of a tick on the meter's
// thread, which the syncs on the journal's own thread do not add to.
void BM_JournalTickOfADay(benchmark::State& run)
{
    TMeasurementState state;
    TInput input;
    for (auto _ : run) {
        TAcquisitionQueue queue;
        TRecordingJournal journal(queue, state, input);
        journal.ClaimFreePlace(Folder().path());
        for (int i = 0; i < DayOfTicks; ++i)
            for (double value : {i * 0.25, -40.0 - i % 7, -45.5 + i % 5})
                journal.Enqueue(value);
    }
    run.SetItemsProcessed(run.iterations() * DayOfTicks);
}
BENCHMARK(BM_JournalTickOfADay)->Unit(benchmark::kMillisecond)->Iterations(1);

// What the journal's thread does every SyncIntervalMs of a recording: the ticks of that time
// appended, then fdatasync. "disk_share" is the part of a recording's time it waits for the disk.
void BM_JournalSync(benchmark::State& run)
{
    QFile file(Folder().filePath(QStringLiteral("synchronizacja.lev")));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(ResultFile::SoundPressureHeader(QDateTime::currentDateTime(), {1, 44100}).toUtf8());
    const QByteArray line = ResultFile::SoundPressureLine(1234.25, -40.125, -45.5).toUtf8();
    double seconds = 0;
    for (auto _ : run) {
        for (int i = 0; i < TicksPerSync; ++i)
            file.write(line);
        file.flush();
        const auto start = std::chrono::steady_clock::now();
        fdatasync(file.handle());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    run.counters["sync_ms"] = 1000 * seconds / static_cast<double>(run.iterations());
    run.counters["disk_share"] =
        seconds / static_cast<double>(run.iterations()) / (TRecordingJournal::SyncIntervalMs / 1000.0);
}
BENCHMARK(BM_JournalSync)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace
