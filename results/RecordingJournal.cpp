#include "results/RecordingJournal.h"

#include "results/AcquisitionQueue.h"
#include "results/ResultFile.h"
#include "results/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>

namespace {
constexpr int JournalPlaces = 16; // programs recording at once
}

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

bool TRecordingJournal::Claim(const QString& folder)
{
    return TakePlace(folder, false) && QFileInfo(Path).size() > 0;
}

bool TRecordingJournal::ClaimFreePlace(const QString& folder)
{
    return TakePlace(folder, true);
}

bool TRecordingJournal::TakePlace(const QString& folder, bool freeOnly)
{
    if (!QDir().mkpath(folder))
        return false;
    for (int place = 1; place <= JournalPlaces; ++place) {
        const QString path = folder + QStringLiteral("/nagranie-%1.lev").arg(place);
        auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
        lock->setStaleLockTime(0); // a live program's lock is never taken over, however old
        if (!lock->tryLock(0))
            continue;
        if (freeOnly && QFileInfo(path).size() > 0)
            continue; // the lock goes with `lock`, the journal stays for the window
        Lock = std::move(lock);
        Path = path;
        return true;
    }
    return false; // every place taken: the program runs without a journal
}

bool TRecordingJournal::Adopt()
{
    File.close();
    File.setFileName(Path);
    if (!File.open(QIODevice::ReadWrite)) {
        Fail();
        return false;
    }
    // Cut back to the last complete line.
    qint64 end = File.size();
    while (end > 0) {
        File.seek(end - 1);
        char last = 0;
        if (File.getChar(&last) && last == '\n')
            break;
        --end;
    }
    if (!File.resize(end) || !File.seek(end)) {
        Fail();
        return false;
    }
    return true;
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

bool TRecordingJournal::OpenFresh()
{
    File.setFileName(Path);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const ResultFile::TRecordingConditions conditions{State.AveragingTime, Input.FrameRate()};
    return File.write(ResultFile::SoundPressureHeader(QDateTime::currentDateTime(), conditions).toUtf8()) >=
           0;
}

void TRecordingJournal::WriteTick()
{
    errno = 0;
    if (!File.isOpen() && !OpenFresh()) {
        Fail();
        return;
    }
    // Each tick reaches the system at once: a killed program loses nothing it has shown.
    const QByteArray line = ResultFile::SoundPressureLine(Tick[0], Tick[1], Tick[2]).toUtf8();
    if (File.write(line) != line.size() || !File.flush())
        Fail();
}

void TRecordingJournal::Fail()
{
    const QString reason = FileErrorReason(errno, File.errorString());
    Broken = true;
    File.close();
    if (OnFailure)
        OnFailure(QStringLiteral("Nie można zapisać kopii nagrania w pliku ") + Path + QStringLiteral(": ") +
                  reason + QStringLiteral(". Nagranie trwa dalej w pamięci."));
}

void TRecordingJournal::Discard()
{
    File.close();
    if (!Path.isEmpty())
        QFile::remove(Path);
    Filled = 0;
    Broken = false;
}

void TRecordingJournal::KeepForRecovery()
{
    File.close();
    Lock.reset(); // a journal without a live lock is one left by an ended program
    Path.clear();
}
