// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/RecordingJournal.h"

#include "results/AcquisitionQueue.h"
#include "results/ResultFile.h"
#include "results/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>
#include <unistd.h>

namespace {

constexpr int JournalPlaces = 16; // programs recording at once

QString PlacePath(const QString& folder, int place)
{
    return folder + QStringLiteral("/nagranie-%1.lev").arg(place);
}

// The place's lock, or nothing when a running program holds it.
std::unique_ptr<QLockFile> LockPlace(const QString& path)
{
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // a live program's lock is never taken over, however old
    return lock->tryLock(0) ? std::move(lock) : nullptr;
}

// Cuts an open file back to the end of its last complete line.
bool CutToLastLine(QFile& file)
{
    qint64 end = file.size();
    while (end > 0) {
        file.seek(end - 1);
        char last = 0;
        if (file.getChar(&last) && last == '\n')
            break;
        --end;
    }
    return file.resize(end);
}

} // namespace

// Puts what was written to the journal on the disk every SyncIntervalMs, on a thread of its own: a
// sync waits for the disk (a seek on a spinning disk, far longer on a network folder), which the
// meter's tick must never do. The descriptor stays open for as long as this object lives.
class TRecordingJournal::TDiskSync
{
public:
    explicit TDiskSync(int descriptor)
        : Descriptor(descriptor), Thread([this](std::stop_token stop) { Run(stop); })
    {
    }
    void Written() { Dirty.store(true, std::memory_order_release); }
    // The system's error number of a sync that failed; 0 while none has.
    int Error() const { return Failure.load(std::memory_order_acquire); }

private:
    void Run(const std::stop_token& stop)
    {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, stop, std::chrono::milliseconds(SyncIntervalMs),
                              [&] { return stop.stop_requested(); }))
            if (Dirty.exchange(false, std::memory_order_acq_rel) && fdatasync(Descriptor) != 0)
                Failure.store(errno, std::memory_order_release);
    }

    const int Descriptor;
    std::atomic<bool> Dirty{false};
    std::atomic<int> Failure{0};
    std::jthread Thread; // last: it starts once the members it uses exist, and stops first
};

TRecordingJournal::TRecordingJournal(TAcquisitionQueue& queue, const TMeasurementState& state,
                                     const IStreamInfo& input)
    : Queue(queue), State(state), Input(input)
{
}

TRecordingJournal::~TRecordingJournal()
{
    Discard();
}

QString TRecordingJournal::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

std::vector<TRecordingJournal::TLeftJournal> TRecordingJournal::FindLeft(const QString& folder)
{
    std::vector<TLeftJournal> left;
    for (int place = 1; place <= JournalPlaces; ++place) {
        const QString path = PlacePath(folder, place);
        const QFileInfo journal(path);
        if (journal.size() == 0)
            continue;
        if (auto lock = LockPlace(path))
            left.push_back({path, journal.lastModified(), std::move(lock)});
    }
    return left;
}

bool TRecordingJournal::ClaimFreePlace(const QString& folder)
{
    Unclaimed.clear();
    errno = 0;
    const int obstacle = !QDir().mkpath(folder) ? (errno != 0 ? errno : EACCES)
                         : access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0 ? errno
                                                                                           : 0;
    if (obstacle != 0) {
        Unclaimed = QStringLiteral("Nie można założyć kopii nagrania w folderze ") + folder +
                    QStringLiteral(": ") + FileErrorReason(obstacle) + QLatin1Char('.');
        return false;
    }
    for (int place = 1; place <= JournalPlaces; ++place) {
        const QString path = PlacePath(folder, place);
        auto lock = LockPlace(path);
        if (!lock || QFileInfo(path).size() > 0)
            continue; // a running program's place, or a journal left for the window's offer
        Lock = std::move(lock);
        Path = path;
        return true;
    }
    // A lock file that could not be written (a full disk) looks like a place taken.
    const int error = FolderWriteError(folder);
    Unclaimed = QStringLiteral("Nie można założyć kopii nagrania w folderze ") + folder +
                QStringLiteral(": ") +
                (error != 0 ? FileErrorReason(error)
                            : QStringLiteral("wszystkie %1 miejsc zajmują nagrania innych uruchomionych "
                                             "programów albo kopie czekające na otwarcie")
                                  .arg(JournalPlaces)) +
                QLatin1Char('.');
    return false;
}

bool TRecordingJournal::Adopt(TLeftJournal& left, QString& failure)
{
    QFile journal(left.Path);
    errno = 0;
    if (!journal.open(QIODevice::ReadWrite) || !CutToLastLine(journal)) {
        failure = QStringLiteral("Nie można dopisywać do kopii nagrania ") + left.Path +
                  QStringLiteral(": ") + FileErrorReason(errno) +
                  QStringLiteral(". Kopia zostaje na dysku bez zmian; to plik wyników, który można skopiować "
                                 "albo otworzyć poleceniem „Otwórz”.");
        return false;
    }
    journal.close();
    Close();
    if (!Path.isEmpty() && QFileInfo(Path).size() == 0)
        QFile::remove(Path); // the place taken at the start, given up
    Lock = std::move(left.Lock);
    Path = left.Path;
    Filled = 0;
    Broken = false;
    File.setFileName(Path);
    errno = 0;
    if (!File.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        Fail();
    else
        Sync = std::make_unique<TDiskSync>(File.handle());
    return true;
}

void TRecordingJournal::Release(const QString& folder)
{
    Close();
    Lock.reset();
    Path.clear();
    ClaimFreePlace(folder);
}

void TRecordingJournal::MarkOverload(unsigned channels)
{
    Queue.MarkOverload(channels); // the journal keeps the values only, as a result file does
}

void TRecordingJournal::Enqueue(double value)
{
    Queue.Enqueue(value);
    if (Broken || Path.isEmpty())
        return;
    Tick[Filled++] = value;
    if (Filled == Tick.size()) {
        Filled = 0;
        WriteTick();
    }
}

// Unbuffered, like every later write: each reaches the system at once, where its failure is seen.
bool TRecordingJournal::OpenFresh()
{
    File.setFileName(Path);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    Sync = std::make_unique<TDiskSync>(File.handle());
    const ResultFile::TRecordingConditions conditions{State.AveragingTime, Input.FrameRate()};
    const QByteArray header =
        ResultFile::SoundPressureHeader(QDateTime::currentDateTime(), conditions).toUtf8();
    if (File.write(header) == header.size())
        return true;
    const int error = errno;
    File.resize(0); // an empty place is no journal
    errno = error;
    return false;
}

void TRecordingJournal::WriteTick()
{
    errno = 0;
    if (!File.isOpen() && !OpenFresh()) {
        Fail();
        return;
    }
    if (const int error = Sync->Error()) {
        errno = error;
        Fail();
        return;
    }
    // Each tick reaches the system at once (a killed program loses nothing it has shown), and the disk
    // within SyncIntervalMs. A line written in part (a full disk) is cut off again: the journal keeps
    // whole ticks only.
    const qint64 end = File.pos();
    const QByteArray line = ResultFile::SoundPressureLine(Tick[0], Tick[1], Tick[2]).toUtf8();
    if (File.write(line) != line.size()) {
        const int error = errno;
        File.resize(end);
        errno = error;
        Fail();
        return;
    }
    Sync->Written();
}

void TRecordingJournal::Fail()
{
    const QString reason = FileErrorReason(errno);
    Broken = true;
    Close();
    if (OnFailure)
        OnFailure(QStringLiteral("Nie można zapisać kopii nagrania w pliku ") + Path + QStringLiteral(": ") +
                  reason + QStringLiteral(". Nagranie trwa dalej w pamięci."));
}

void TRecordingJournal::Close()
{
    Sync.reset(); // before the descriptor it syncs goes
    File.close();
}

void TRecordingJournal::Discard()
{
    Close();
    if (!Path.isEmpty())
        QFile::remove(Path);
    Filled = 0;
    Broken = false;
}

void TRecordingJournal::KeepForRecovery()
{
    if (File.isOpen())
        fdatasync(File.handle());
    Close();
    Lock.reset(); // a journal without a live lock is one left by an ended program
    Path.clear();
}

// Every tick written, and on the disk.
bool TRecordingJournal::Synced()
{
    return !Broken && File.isOpen() && Filled == 0 && Sync && Sync->Error() == 0 &&
           fdatasync(File.handle()) == 0;
}

std::optional<QString> TRecordingJournal::KeepWhole(QString& failure)
{
    const QString kept = Path;
    if (!Path.isEmpty() && Synced()) {
        KeepForRecovery();
        return kept;
    }
    if (Path.isEmpty() && !ClaimFreePlace(DefaultFolder())) {
        failure = Unclaimed;
        return std::nullopt;
    }
    Close();
    const ResultFile::TRecordingConditions conditions{State.AveragingTime, Input.FrameRate()};
    const bool written =
        ResultFile::WriteSoundPressure(Path, Queue, conditions, QDateTime::currentDateTime(), failure);
    const QString place = Path;
    KeepForRecovery(); // a part of the values is better than none at the next start
    if (!written)
        return std::nullopt;
    return place;
}
